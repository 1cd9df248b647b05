#include "Site.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>

#include "SiteText.h"
#include "SiteTime.h"

namespace bexora::auction {

namespace {

constexpr size_t kLogLimit = 200000;
constexpr size_t kHopLimit = 1000;

const char* const kSellers[] = {
    "bargain_barn",  "vintage-finds", "camera.exchange",  "bookworm_books", "toy_chest_usa",
    "gadget-galaxy", "coin-corner",   "estate_treasures", "retro_rewind",   "timepiece_co"};
const char* const kBidders[] = {"bidhawk",  "mk_collects", "snipe_master", "lucky.penny",
                                "jwalker",  "rosebud",     "tk421",        "deal-hunter",
                                "ohio_ann", "maxbid_mike", "zephyr",       "c.m.burns"};

// A one-pixel GIF for listing thumbnails.
const unsigned char kGif[] = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80,
                              0x00, 0x00, 0xff, 0xff, 0xff, 0x00, 0x00, 0x00, 0x21, 0xf9, 0x04,
                              0x01, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x01,
                              0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3b};

}  // namespace

std::string PercentDecode(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() &&
            std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

SiteRequest ParseTarget(const std::string& target) {
    SiteRequest r;
    r.target = target;
    size_t q = target.find('?');
    r.path = PercentDecode(target.substr(0, q));
    if (q == std::string::npos) return r;
    std::string query = target.substr(q + 1);
    size_t pos = 0;
    while (pos <= query.size()) {
        size_t end = query.find('&', pos);
        if (end == std::string::npos) end = query.size();
        std::string part = query.substr(pos, end - pos);
        if (!part.empty()) {
            size_t eq = part.find('=');
            if (eq == std::string::npos)
                r.query.emplace_back(PercentDecode(part), "");
            else
                r.query.emplace_back(PercentDecode(part.substr(0, eq)),
                                     PercentDecode(part.substr(eq + 1)));
        }
        pos = end + 1;
    }
    return r;
}

const std::string* SiteRequest::Param(const std::string& key) const {
    for (const auto& [k, v] : query)
        if (IEquals(k, key)) return &v;
    return nullptr;
}

std::string SiteRequest::ParamOr(const std::string& key, const std::string& fallback) const {
    const std::string* v = Param(key);
    return v ? *v : fallback;
}

Site::Site(std::optional<uint64_t> seed) {
    m_rng.seed(seed ? *seed : std::random_device{}());
    std::random_device device;
    m_tokenRng.seed((static_cast<uint64_t>(device()) << 32) ^ device());
    Reset();
}

Site::~Site() {
    SetStopping();
}

void Site::SetPorts(int httpPort, int httpsPort) {
    Lock lock(m_mutex);
    m_httpPort = httpPort;
    m_httpsPort = httpsPort;
    m_stopping = false;
}

void Site::SetStopping() {
    {
        Lock lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
}

double Site::MachineNow() {
    using namespace std::chrono;
    return static_cast<double>(
               duration_cast<microseconds>(system_clock::now().time_since_epoch()).count()) /
           1e6;
}

double Site::SiteNow() const {
    Lock lock(m_mutex);
    return NowLocked();
}

void Site::SetSkew(double seconds) {
    Lock lock(m_mutex);
    m_skew = seconds;
}

std::string Site::RandomHex(size_t bytes) {
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < bytes; ++i) {
        unsigned v = static_cast<unsigned>(m_tokenRng() & 0xFF);
        out += hex[v >> 4];
        out += hex[v & 15];
    }
    return out;
}

std::string Site::NewItemNumber() {
    std::uniform_int_distribution<int64_t> dist(110000000000LL, 399999999999LL);
    for (;;) {
        std::string n = std::to_string(dist(m_rng));
        if (!m_items.count(n)) return n;
    }
}

void Site::Reset() {
    Lock lock(m_mutex);
    m_skew = 0;
    m_frozen.reset();
    m_bidFractions = false;
    m_items.clear();
    m_accounts.clear();
    m_sessions.clear();
    m_keys.clear();
    m_keyOrder.clear();
    m_keyTtl = 0;
    m_faults.clear();
    m_hops.clear();
    m_log.clear();
    m_update = UpdateFolder();
    m_update.firstRun =
        "<html><head><title>Welcome to Bexora</title></head><body><h1>Welcome to Bexora</h1>"
        "<p>Thank you for installing Bexora. Add items from the auction site with the "
        "\"Add Items to the list\" button, set a maximum bid and let Bexora place it "
        "seconds before the auction ends.</p></body></html>\n";
    m_update.whatsNew =
        "<html><head><title>What's new in Bexora</title></head><body><h1>What's new</h1>"
        "<p>This version brings faster page reading and more reliable bidding.</p>"
        "</body></html>\n";
}

Account* Site::FindAccount(const std::string& user) {
    auto it = m_accounts.find(Lower(user));
    return it == m_accounts.end() ? nullptr : &it->second;
}

int Site::FeedbackOf(const std::string& user) {
    if (Account* a = FindAccount(user); a && a->feedback > 0) return a->feedback;
    // Competitors without an account get a stable made-up score.
    unsigned h = 2166136261u;
    for (char c : Lower(user)) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    return static_cast<int>(h % 900) + 3;
}

void Site::AddAccount(const Account& account) {
    Lock lock(m_mutex);
    m_accounts[Lower(account.user)] = account;
}

void Site::AdvanceAll(double now) {
    for (auto& [number, item] : m_items) item->Advance(now);
}

void Site::MakeScript(Auction& a, int competitors) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<size_t> pick(0, std::size(kBidders) - 1);
    std::uniform_int_distribution<int> suffix(1, 99);
    const double span = std::max(1.0, a.m_endTime - a.m_startTime);
    for (int i = 0; i < competitors; ++i) {
        std::string user = std::string(kBidders[pick(m_rng)]) + std::to_string(suffix(m_rng));
        // Whole dollars, now and then fifty cents: what people type.
        double factor = 1.1 + unit(m_rng) * 2.4;
        int64_t max = static_cast<int64_t>(std::llround(a.m_startCents * factor / 50.0)) * 50;
        max = std::max(max, a.m_startCents);
        // Half bid early, some during the last day or so, and a few snipe in
        // the last minute and a half.
        double r = unit(m_rng), t;
        if (r < 0.5)
            t = a.m_startTime + span * 0.8 * unit(m_rng);
        else if (r < 0.8)
            t = a.m_endTime - 120 - unit(m_rng) * std::max(0.0, 0.2 * span - 120);
        else
            t = a.m_endTime - 2 - unit(m_rng) * 88;
        t = std::clamp(t, a.m_startTime, std::max(a.m_startTime, a.m_endTime - 1));
        a.m_script.push_back({t, user, max});
    }
    std::sort(a.m_script.begin(), a.m_script.end(),
              [](const ScriptBid& x, const ScriptBid& y) { return x.time < y.time; });
}

std::string Site::AddItem(const Json& description, std::string* error) {
    Lock lock(m_mutex);
    return AddItemLocked(description, error);
}

std::string Site::AddItemLocked(const Json& description, std::string* error) {
    auto fail = [&](const std::string& e) {
        if (error) *error = e;
        return std::string();
    };
    if (!description.IsObject()) return fail("the item must be a JSON object");
    const Json* title = description.Get("title");
    if (!title || !title->IsString() || title->AsString().empty())
        return fail("\"title\" is required");

    auto item = std::make_unique<Auction>();
    item->m_title = title->AsString();
    if (const Json* n = description.Get("number")) {
        std::string number = n->IsString()   ? n->AsString()
                             : n->IsNumber() ? std::to_string(static_cast<int64_t>(n->AsNumber()))
                                             : "";
        if ((number.size() != 10 && number.size() != 12) ||
            !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return fail("\"number\" must have 10 or 12 digits");
        if (m_items.count(number)) return fail("item " + number + " exists already");
        item->m_number = number;
    } else {
        item->m_number = NewItemNumber();
    }
    if (const Json* k = description.Get("kind")) {
        std::string kind = k->IsString() ? Lower(k->AsString()) : "";
        if (kind == "auction")
            item->m_kind = Kind::Auction;
        else if (kind == "fixed" || kind == "buy" || kind == "buy_it_now" || kind == "fixed_price")
            item->m_kind = Kind::Fixed;
        else if (kind == "live")
            item->m_kind = Kind::Live;
        else
            return fail("\"kind\" must be auction, fixed or live");
    }
    if (const Json* p = description.Get("price")) {
        item->m_startCents = CentsOf(p);
        if (item->m_startCents <= 0) return fail("\"price\" must be a positive amount");
    } else {
        item->m_startCents = 999;
    }
    if (const Json* q = description.Get("quantity")) {
        if (!q->IsNumber() || q->AsNumber() < 1 || q->AsNumber() > 100000)
            return fail("\"quantity\" must be a whole number of at least 1");
        item->m_quantity = static_cast<int>(q->AsNumber());
    }
    if (const Json* r = description.Get("reserve"); r && !r->IsNull()) {
        int64_t cents = CentsOf(r);
        if (cents <= 0) return fail("\"reserve\" must be a positive amount");
        item->m_reserveCents = cents;
    }
    if (const Json* s = description.Get("shipping"); s && !s->IsNull()) {
        if (s->IsString() && IEquals(Trimmed(s->AsString()), "FREE")) {
            item->m_shippingCents.reset();
        } else {
            int64_t cents = CentsOf(s);
            if (cents < 0) return fail("\"shipping\" must be an amount or \"FREE\"");
            if (cents > 0) item->m_shippingCents = cents;
        }
    }
    std::uniform_int_distribution<size_t> sellerPick(0, std::size(kSellers) - 1);
    std::uniform_int_distribution<int> feedbackPick(12, 25000);
    std::uniform_int_distribution<int> percentPick(970, 1000);
    item->m_seller = kSellers[sellerPick(m_rng)];
    item->m_feedback = feedbackPick(m_rng);
    item->m_percent = percentPick(m_rng) / 10.0;
    if (const Json* s = description.Get("seller")) {
        if (!s->IsString() || !ValidUserId(s->AsString()))
            return fail("\"seller\" must be a user ID (letters, digits, \"_\", \"-\", \".\")");
        item->m_seller = s->AsString();
    }
    if (const Json* f = description.Get("feedback")) {
        if (!f->IsNumber()) return fail("\"feedback\" must be a number");
        item->m_feedback = static_cast<int>(f->AsNumber());
    }
    if (const Json* p = description.Get("percent")) {
        if (!p->IsNumber() || p->AsNumber() < 0 || p->AsNumber() > 100)
            return fail("\"percent\" must be a number from 0 to 100");
        item->m_percent = std::round(p->AsNumber() * 10) / 10;
    }
    auto text = [&](const char* key, std::string& out) {
        if (const Json* v = description.Get(key); v && v->IsString()) out = v->AsString();
    };
    item->m_category = "Everything Else";
    text("category", item->m_category);
    item->m_description = "A fine " + item->m_title +
                          ". See the pictures for the condition; "
                          "please ask any questions before bidding.";
    text("description", item->m_description);
    text("location", item->m_location);
    if (const Json* b = description.Get("buyer_requirements"); b && b->IsBool())
        item->m_buyerRequirements = b->AsBool();

    double now = NowLocked();
    double endsIn = 3600;
    if (const Json* e = description.Get("ends_in")) {
        if (!e->IsNumber()) return fail("\"ends_in\" must be a number of seconds");
        endsIn = e->AsNumber();
    }
    double startedAgo = 0;
    if (const Json* s = description.Get("started_ago"); s && s->IsNumber())
        startedAgo = std::max(0.0, s->AsNumber());
    // Pages show whole seconds; an end on a whole second keeps them exact.
    item->m_endTime = std::floor(now + endsIn);
    item->m_startTime = std::floor(now - startedAgo);
    if (item->m_startTime > item->m_endTime) item->m_startTime = item->m_endTime;
    if (const Json* c = description.Get("competitors")) {
        if (!c->IsNumber() || c->AsNumber() < 0 || c->AsNumber() > 200)
            return fail("\"competitors\" must be a number from 0 to 200");
        if (item->m_kind != Kind::Fixed) MakeScript(*item, static_cast<int>(c->AsNumber()));
    }
    std::string number = item->m_number;
    item->Advance(now);
    m_items[number] = std::move(item);
    return number;
}

PageContext Site::Context(const SiteRequest& r) {
    PageContext ctx;
    ctx.httpHost = "127.0.0.1:" + std::to_string(m_httpPort);
    ctx.httpsHost = "127.0.0.1:" + std::to_string(m_httpsPort);
    ctx.layout = m_layout;
    auto it = r.cookies.find("s");
    if (it != r.cookies.end()) {
        auto s = m_sessions.find(it->second);
        if (s != m_sessions.end()) ctx.user = s->second;
    }
    return ctx;
}

// ---------------------------------------------------------------------------
// Requests

int Site::ControlRequestStatus(const std::string& host, const std::string& contentType,
                               const std::string& method, std::string& refusal) const {
    const std::string port = ":" + std::to_string(m_httpPort);
    const std::string h = Lower(host);
    if (h != "127.0.0.1" + port && h != "localhost" + port) {
        refusal = "the control API answers only requests for 127.0.0.1" + port;
        return 403;
    }
    if (method == "GET") return 200;
    std::string type = Lower(contentType.substr(0, contentType.find(';')));
    type.erase(0, type.find_first_not_of(" \t"));
    type.erase(type.find_last_not_of(" \t") + 1);
    if (type != "application/json") {
        refusal = "the control API takes only Content-Type: application/json";
        return 415;
    }
    return 200;
}

void Site::Handle(const httplib::Request& req, httplib::Response& res, bool https) {
    SiteRequest r = ParseTarget(req.target);
    r.https = https;
    r.method = req.method;
    r.host = req.get_header_value("Host");
    r.body = req.body;
    std::string cookieHeader = req.get_header_value("Cookie");
    r.cookies = ParseCookies(cookieHeader);

    if (StartsWith(r.path, "/_control")) {
        if (https) {
            res.status = 404;
            res.set_content("the control API answers on the HTTP port only\n", "text/plain");
            return;
        }
        // Only our own clients: a web page in a local browser can reach
        // 127.0.0.1 too, by a rebound DNS name (its Host is that name) or a
        // form post (never application/json, which a page can send only
        // after a preflight we do not answer).
        std::string refusal;
        int status = ControlRequestStatus(r.host, req.get_header_value("Content-Type"),
                                          r.method, refusal);
        if (status != 200) {
            res.status = status;
            res.set_content(ErrorJson(refusal).Dump() + "\n", "application/json");
            return;
        }
        Json answer = Control(r.method, r.path, r.body, status);
        res.status = status;
        res.set_content(answer.Dump() + "\n", "application/json");
        return;
    }

    // A latency fault is a round trip: half of it passes before the site
    // sees (and logs) the request, the rest before the answer leaves.
    std::optional<Fault> fault;
    int inMs = 0, outMs = 0;
    if (r.path != "/ping" && !StartsWith(r.path, "/_hop/")) {
        fault = TakeFault(r.target);
        if (fault && fault->latencyMs > 0) {
            inMs = fault->latencyMs / 2;
            outMs = fault->latencyMs - inMs;
            if (fault->jitterMs > 0) {
                thread_local std::mt19937 rng{std::random_device{}()};
                std::uniform_int_distribution<int> half(-fault->jitterMs / 2, fault->jitterMs / 2);
                inMs = std::max(0, inMs + half(rng));
                outMs = std::max(0, outMs + half(rng));
            }
            SleepMs(inMs);
        }
    }
    Log(r);
    if (r.path == "/ping") {
        res.set_content("pong\n", "text/plain");
        return;
    }
    if (StartsWith(r.path, "/_hop/")) {
        bool dispatchOriginal = false;
        SiteRequest original;
        SiteReply reply = HandleHop(r, dispatchOriginal, original);
        Deliver(dispatchOriginal ? Dispatch(original) : reply, res, nullptr);
        return;
    }

    if (!fault) {
        Deliver(Dispatch(r), res, nullptr);
        return;
    }

    SiteReply reply;
    if (!fault->redirects.empty() || fault->redirectLoop) {
        int id;
        {
            Lock lock(m_mutex);
            id = m_nextHop++;
            Hop hop;
            hop.statuses = fault->redirects;
            hop.loop = fault->redirectLoop;
            hop.lowerLocation = fault->lowerLocation;
            hop.noLocation = fault->noLocation;
            hop.target = r.target;
            m_hops[id] = hop;
            while (m_hops.size() > kHopLimit) m_hops.erase(m_hops.begin());
        }
        int first = fault->redirectLoop ? 302 : fault->redirects[0];
        reply = Redirect(r, first, id, 1, fault->lowerLocation, fault->noLocation);
    } else if (fault->answer) {
        PageContext ctx;
        {
            Lock lock(m_mutex);
            ctx = Context(r);
        }
        reply.body = AnswerPage(ctx, *fault->answer);
        if (fault->status) reply.status = fault->status;
    } else if (fault->empty) {
        reply.status = fault->status ? fault->status : 200;
    } else if (fault->status) {
        reply.status = fault->status;
        reply.body = StatusPage(fault->status);
    } else {
        reply = Dispatch(r);
    }
    if (fault->padBytes && reply.body.size() + 9 < *fault->padBytes) {
        // A comment is one tag to a reader, so the page reads the same.
        size_t fill = *fault->padBytes - reply.body.size() - 8;
        reply.body += "<!--";
        reply.body.append(fill, 'x');
        reply.body += "-->\n";
        reply.body.resize(*fault->padBytes, '\n');
    }
    if (outMs > 0) SleepMs(outMs);
    Deliver(reply, res, &*fault);
}

void Site::Log(const SiteRequest& r) {
    LogEntry e;
    e.time = MachineNow();
    e.scheme = r.https ? "https" : "http";
    e.method = r.method;
    e.host = r.host;
    e.target = r.target;
    std::string cookies;
    for (const auto& [k, v] : r.cookies) {
        if (!cookies.empty()) cookies += "; ";
        cookies += k + "=" + v;
    }
    e.cookies = cookies;
    Lock lock(m_mutex);
    e.siteTime = m_frozen ? *m_frozen : e.time + m_skew;
    m_log.push_back(std::move(e));
    while (m_log.size() > kLogLimit) m_log.pop_front();
}

std::optional<Fault> Site::TakeFault(const std::string& target) {
    Lock lock(m_mutex);
    for (auto it = m_faults.begin(); it != m_faults.end(); ++it) {
        if (!StartsWith(target, it->prefix)) continue;
        if (!it->contains.empty() && target.find(it->contains) == std::string::npos) continue;
        Fault f = *it;
        if (it->count > 0 && --it->count == 0) m_faults.erase(it);
        return f;
    }
    return std::nullopt;
}

void Site::SleepMs(int ms) {
    Lock lock(m_mutex);
    m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stopping; });
}

void Site::Deliver(const SiteReply& reply, httplib::Response& res, const Fault* fault) {
    res.status = reply.status;
    for (const auto& [k, v] : reply.headers) res.set_header(k, v);
    if (fault && (fault->dropAfterBytes || fault->stall)) {
        auto body = std::make_shared<std::string>(reply.body);
        size_t limit = fault->dropAfterBytes.value_or(0);
        bool stall = fault->stall;
        int stallMs = fault->stallMs;
        if (stall && limit == 0) SleepMs(stallMs);  // nothing at all goes out during the stall
        size_t length = std::max<size_t>(body->size(), 1);
        res.set_content_provider(
            length, reply.contentType,
            [this, body, limit, stall, stallMs](size_t offset, size_t len,
                                                httplib::DataSink& sink) {
                if (offset < limit && offset < body->size()) {
                    size_t n = std::min({len, limit - offset, body->size() - offset});
                    sink.write(body->data() + offset, n);
                    return true;
                }
                if (stall && limit > 0) SleepMs(stallMs);
                return false;  // the connection is dropped here
            });
        return;
    }
    if (reply.chunked) {
        auto body = std::make_shared<std::string>(reply.body);
        res.set_chunked_content_provider(
            reply.contentType, [body](size_t offset, httplib::DataSink& sink) {
                if (offset < body->size()) {
                    size_t n = std::min<size_t>(4096, body->size() - offset);
                    sink.write(body->data() + offset, n);
                }
                if (offset + 4096 >= body->size()) sink.done();
                return true;
            });
        return;
    }
    res.set_content(reply.body, reply.contentType);
}

SiteReply Site::Redirect(const SiteRequest& r, int status, int hopId, int step, bool lower,
                         bool noLocation) {
    SiteReply reply;
    reply.status = status;
    std::string host =
        r.host.empty() ? "127.0.0.1:" + std::to_string(r.https ? m_httpsPort : m_httpPort) : r.host;
    std::string url = std::string(r.https ? "https" : "http") + "://" + host + "/_hop/" +
                      std::to_string(hopId) + "/" + std::to_string(step);
    if (!noLocation) reply.headers.emplace_back(lower ? "location" : "Location", url);
    reply.headers.emplace_back("Set-Cookie", "hop=" + std::to_string(step) + "; path=/");
    reply.body = "<html><body>Document moved <a href=\"" + url + "\">here</a>.</body></html>\n";
    return reply;
}

SiteReply Site::HandleHop(const SiteRequest& r, bool& dispatchOriginal, SiteRequest& original) {
    int id = 0, step = 0;
    if (std::sscanf(r.path.c_str(), "/_hop/%d/%d", &id, &step) != 2) {
        SiteReply reply;
        reply.status = 404;
        reply.body = StatusPage(404);
        return reply;
    }
    Hop hop;
    {
        Lock lock(m_mutex);
        auto it = m_hops.find(id);
        if (it == m_hops.end()) {
            SiteReply reply;
            reply.status = 404;
            reply.body = StatusPage(404);
            return reply;
        }
        hop = it->second;
        if (!hop.loop && step >= static_cast<int>(hop.statuses.size())) m_hops.erase(it);
    }
    if (hop.loop) return Redirect(r, 302, id, step + 1, hop.lowerLocation, hop.noLocation);
    if (step < static_cast<int>(hop.statuses.size()))
        return Redirect(r, hop.statuses[step], id, step + 1, hop.lowerLocation, hop.noLocation);
    original = ParseTarget(hop.target);
    original.https = r.https;
    original.method = r.method;
    original.host = r.host;
    original.cookies = r.cookies;
    dispatchOriginal = true;
    return {};
}

SiteReply Site::Dispatch(const SiteRequest& r) {
    if (m_layout == 2) return DispatchLayout2(r);
    const std::string path = Lower(r.path);
    if (path == "/ws/ebayisapi.dll" || path == "/aw-cgi/ebayisapi.dll") {
        // Like the real site: the command is MfcISAPICommand when given,
        // otherwise the first word of the query.
        std::string command = r.ParamOr("MfcISAPICommand");
        if (command.empty() && !r.query.empty()) command = r.query[0].first;
        if (IEquals(command, "ViewItem")) return ViewItem(r);
        if (IEquals(command, "TimeShow")) return TimeShow(r);
        if (IEquals(command, "SignIn")) return SignIn(r);
        if (IEquals(command, "SignInWelcome")) return SignInWelcome(r);
        if (IEquals(command, "MyeBay")) return MyEbay(r);
        if (IEquals(command, "MakeBid"))
            return r.ParamOr("mode") == "1" ? ConfirmBid(r) : MakeBid(r);
        if (IEquals(command, "BinConfirm")) return BuyItNow(r);
        if (IEquals(command, "ViewBids")) return ViewBids(r);
        if (IEquals(command, "ListItems") || IEquals(command, "Search")) return Listing(r);
        Lock lock(m_mutex);
        SiteReply reply;
        reply.status = 404;
        reply.body = NotFoundPage(Context(r), "command " + command);
        return reply;
    }
    if (path == "/" || path == "/index.html" || path == "/search") return Listing(r);
    if (StartsWith(path, "/vendor") || path == "/firstrun.html" || path == "/whatsnew.html")
        return Vendor(r);
    if (path == "/pics/thumb.gif") {
        SiteReply reply;
        reply.contentType = "image/gif";
        reply.body.assign(reinterpret_cast<const char*>(kGif), sizeof kGif);
        return reply;
    }
    Lock lock(m_mutex);
    SiteReply reply;
    reply.status = 404;
    reply.body = NotFoundPage(Context(r), r.path);
    return reply;
}

SiteReply Site::DispatchLayout2(const SiteRequest& r) {
    const std::string path = Lower(r.path);
    // The handlers read the classic query names: a request of the new site
    // is handed on with its names translated, and any other name dropped,
    // so a classic query on a new address gets nowhere either.
    auto as = [&](std::initializer_list<std::pair<const char*, const char*>> names,
                  const char* classicPath = nullptr) {
        SiteRequest c = r;
        c.query.clear();
        for (const auto& [k, v] : r.query)
            for (const auto& [from, to] : names)
                if (IEquals(k, from)) c.query.emplace_back(to, v);
        if (classicPath) c.path = classicPath;
        return c;
    };
    if (path == "/v2/item") return ViewItem(as({{"id", "item"}}));
    if (path == "/v2/item/bids") return ViewBids(as({{"id", "item"}}));
    if (path == "/v2/item/buy") return BuyItNow(as({{"id", "item"}}));
    if (path == "/v2/clock") return TimeShow(r);
    if (path == "/v2/account/login") return SignIn(r);
    if (path == "/v2/account/session")
        return SignInWelcome(as({{"login", "userid"}, {"secret", "pass"}}));
    if (path == "/v2/account/summary") return MyEbay(r);
    if (path == "/v2/offer/review") return MakeBid(as({{"id", "item"}, {"amount", "maxbid"}}));
    if (path == "/v2/offer/place")
        return ConfirmBid(as({{"id", "Item"},
                              {"amount", "maxbid"},
                              {"token", "key"},
                              {"bidder", "user"},
                              {"auth", "pass"},
                              {"ref", "uiid"}}));
    if (path == "/v2/search")
        return Listing(as({{"q", "satitle"}, {"category", "category"}, {"seller", "seller"}},
                          "/search"));
    if (path == "/" || path == "/index.html") return Listing(as({}));
    if (StartsWith(path, "/vendor") || path == "/firstrun.html" || path == "/whatsnew.html")
        return Vendor(r);
    SiteReply reply;
    reply.status = 404;
    if (path == "/ws/ebayisapi.dll" || path == "/aw-cgi/ebayisapi.dll" || path == "/search") {
        // The classic addresses: nothing a reader of the old pages could take.
        reply.contentType = "text/plain";
        reply.body = layout2::MovedPage();
        return reply;
    }
    Lock lock(m_mutex);
    reply.body = NotFoundPage(Context(r), r.path);
    return reply;
}

}  // namespace bexora::auction
