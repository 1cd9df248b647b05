#include "Site.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "SiteTime.h"

namespace bexora::auction {

namespace {

constexpr size_t kLogLimit = 200000;
constexpr size_t kKeyLimit = 20000;
constexpr size_t kHopLimit = 1000;

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool IEquals(const std::string& a, const std::string& b) {
    return Lower(a) == Lower(b);
}

bool StartsWith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

std::map<std::string, std::string> ParseCookies(const std::string& header) {
    std::map<std::string, std::string> out;
    size_t pos = 0;
    while (pos < header.size()) {
        size_t end = header.find(';', pos);
        if (end == std::string::npos) end = header.size();
        std::string part = header.substr(pos, end - pos);
        size_t b = part.find_first_not_of(' ');
        if (b != std::string::npos) {
            part = part.substr(b);
            size_t eq = part.find('=');
            if (eq != std::string::npos)
                out[part.substr(0, eq)] = part.substr(eq + 1);
            else
                out[part] = "";
        }
        pos = end + 1;
    }
    return out;
}

std::string Base64Decode(const std::string& in) {
    static const std::string alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned buffer = 0;
    int bits = 0;
    for (char c : in) {
        size_t v = alphabet.find(c);
        if (v == std::string::npos) continue;  // "=", line breaks
        buffer = (buffer << 6) | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((buffer >> bits) & 0xFF);
        }
    }
    return out;
}

// Amount in cents from a JSON number or a price text; -1 when unusable.
int64_t CentsOf(const Json* v) {
    if (!v) return -1;
    if (v->IsNumber()) {
        if (v->AsNumber() < 0 || v->AsNumber() > 1e10) return -1;
        return static_cast<int64_t>(std::llround(v->AsNumber() * 100));
    }
    if (v->IsString()) return ParseAmountCents(v->AsString());
    return -1;
}

double Dollars(int64_t cents) {
    return static_cast<double>(cents) / 100.0;
}

std::string Trimmed(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool ValidUserId(const std::string& u) {
    if (u.empty() || u.size() > 40) return false;
    for (unsigned char c : u)
        if (!std::isalnum(c) && c != '_' && c != '-' && c != '.' && c != '*') return false;
    return true;
}

Json ErrorJson(const std::string& text) {
    Json j = Json::Object();
    j["error"] = text;
    return j;
}

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
    return MachineNow() + m_skew;
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
    m_items.clear();
    m_accounts.clear();
    m_sessions.clear();
    m_keys.clear();
    m_keyOrder.clear();
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

std::string Site::AddItem(const Json& spec, std::string* error) {
    Lock lock(m_mutex);
    return AddItemLocked(spec, error);
}

std::string Site::AddItemLocked(const Json& spec, std::string* error) {
    auto fail = [&](const std::string& e) {
        if (error) *error = e;
        return std::string();
    };
    if (!spec.IsObject()) return fail("the item must be a JSON object");
    const Json* title = spec.Get("title");
    if (!title || !title->IsString() || title->AsString().empty())
        return fail("\"title\" is required");

    auto item = std::make_unique<Auction>();
    item->m_title = title->AsString();
    if (const Json* n = spec.Get("number")) {
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
    if (const Json* k = spec.Get("kind")) {
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
    if (const Json* p = spec.Get("price")) {
        item->m_startCents = CentsOf(p);
        if (item->m_startCents <= 0) return fail("\"price\" must be a positive amount");
    } else {
        item->m_startCents = 999;
    }
    if (const Json* q = spec.Get("quantity")) {
        if (!q->IsNumber() || q->AsNumber() < 1 || q->AsNumber() > 100000)
            return fail("\"quantity\" must be a whole number of at least 1");
        item->m_quantity = static_cast<int>(q->AsNumber());
    }
    if (const Json* r = spec.Get("reserve"); r && !r->IsNull()) {
        int64_t cents = CentsOf(r);
        if (cents <= 0) return fail("\"reserve\" must be a positive amount");
        item->m_reserveCents = cents;
    }
    if (const Json* s = spec.Get("shipping"); s && !s->IsNull()) {
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
    if (const Json* s = spec.Get("seller")) {
        if (!s->IsString() || !ValidUserId(s->AsString()))
            return fail("\"seller\" must be a user ID (letters, digits, \"_\", \"-\", \".\")");
        item->m_seller = s->AsString();
    }
    if (const Json* f = spec.Get("feedback")) {
        if (!f->IsNumber()) return fail("\"feedback\" must be a number");
        item->m_feedback = static_cast<int>(f->AsNumber());
    }
    if (const Json* p = spec.Get("percent")) {
        if (!p->IsNumber() || p->AsNumber() < 0 || p->AsNumber() > 100)
            return fail("\"percent\" must be a number from 0 to 100");
        item->m_percent = std::round(p->AsNumber() * 10) / 10;
    }
    auto text = [&](const char* key, std::string& out) {
        if (const Json* v = spec.Get(key); v && v->IsString()) out = v->AsString();
    };
    item->m_category = "Everything Else";
    text("category", item->m_category);
    item->m_description = "A fine " + item->m_title +
                          ". See the pictures for the condition; "
                          "please ask any questions before bidding.";
    text("description", item->m_description);
    text("location", item->m_location);
    if (const Json* b = spec.Get("buyer_requirements"); b && b->IsBool())
        item->m_buyerRequirements = b->AsBool();

    double now = MachineNow() + m_skew;
    double endsIn = 3600;
    if (const Json* e = spec.Get("ends_in")) {
        if (!e->IsNumber()) return fail("\"ends_in\" must be a number of seconds");
        endsIn = e->AsNumber();
    }
    double startedAgo = 0;
    if (const Json* s = spec.Get("started_ago"); s && s->IsNumber())
        startedAgo = std::max(0.0, s->AsNumber());
    // Pages show whole seconds; an end on a whole second keeps them exact.
    item->m_endTime = std::floor(now + endsIn);
    item->m_startTime = std::floor(now - startedAgo);
    if (item->m_startTime > item->m_endTime) item->m_startTime = item->m_endTime;
    if (const Json* c = spec.Get("competitors")) {
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
    auto it = r.cookies.find("s");
    if (it != r.cookies.end()) {
        auto s = m_sessions.find(it->second);
        if (s != m_sessions.end()) ctx.user = s->second;
    }
    return ctx;
}

// ---------------------------------------------------------------------------
// Requests

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
        int status = 200;
        Json answer = Control(r.method, r.path, r.body, status);
        res.status = status;
        res.set_content(answer.Dump() + "\n", "application/json");
        return;
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

    std::optional<Fault> fault = TakeFault(r.target);
    if (!fault) {
        Deliver(Dispatch(r), res, nullptr);
        return;
    }
    if (fault->latencyMs > 0) SleepMs(fault->latencyMs);

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
    e.siteTime = e.time + m_skew;
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
    const std::string path = Lower(r.path);
    if (path == "/ws/ebayisapi.dll" || path == "/aw-cgi/ebayisapi.dll") {
        // Like the real site: the command is MfcISAPICommand when given,
        // otherwise the first word of the query.
        std::string command = r.ParamOr("MfcISAPICommand");
        if (command.empty() && !r.query.empty()) command = r.query[0].first;
        if (IEquals(command, "ViewItem")) return ViewItem(r);
        if (IEquals(command, "TimeShow")) {
            Lock lock(m_mutex);
            SiteReply reply;
            reply.body = TimePage(MachineNow() + m_skew, Context(r));
            return reply;
        }
        if (IEquals(command, "SignIn")) return SignIn(r);
        if (IEquals(command, "SignInWelcome")) return SignInWelcome(r);
        if (IEquals(command, "MyeBay")) return MyEbay(r);
        if (IEquals(command, "MakeBid"))
            return r.ParamOr("mode") == "1" ? ConfirmBid(r) : MakeBid(r);
        if (IEquals(command, "BinConfirm")) return BuyItNow(r);
        if (IEquals(command, "ViewBids")) {
            Lock lock(m_mutex);
            double now = MachineNow() + m_skew;
            AdvanceAll(now);
            auto it = m_items.find(r.ParamOr("item"));
            SiteReply reply;
            if (it == m_items.end())
                reply.body = InvalidItemPage(r.ParamOr("item"), Context(r));
            else
                reply.body = BidHistoryPage(*it->second, now, Context(r));
            return reply;
        }
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

SiteReply Site::ViewItem(const SiteRequest& r) {
    Lock lock(m_mutex);
    double now = MachineNow() + m_skew;
    AdvanceAll(now);
    SiteReply reply;
    std::string number = r.ParamOr("item");
    auto it = m_items.find(number);
    if (it == m_items.end()) {
        reply.body = InvalidItemPage(number, Context(r));
        return reply;
    }
    const Auction& a = *it->second;
    std::string high = a.Compute().highBidder;
    reply.body = ItemPage(a, now, Context(r), high.empty() ? 0 : FeedbackOf(high));
    return reply;
}

SiteReply Site::SignIn(const SiteRequest& r) {
    Lock lock(m_mutex);
    SiteReply reply;
    if (!r.cookies.count("nonsession"))
        reply.headers.emplace_back(
            "Set-Cookie",
            "nonsession=" + RandomHex(12) + "; expires=Fri, 01-Jan-2038 00:00:00 GMT; path=/");
    reply.body = SignInPage(Context(r), false);
    return reply;
}

SiteReply Site::SignInWelcome(const SiteRequest& r) {
    Lock lock(m_mutex);
    SiteReply reply;
    std::string user = r.ParamOr("userid");
    std::string pass = r.ParamOr("pass");
    Account* account = FindAccount(user);
    PageContext ctx = Context(r);
    if (!account || account->password != pass) {
        // A failed sign-in also ends the sign-in that the browser had.
        auto it = r.cookies.find("s");
        if (it != r.cookies.end()) m_sessions.erase(it->second);
        reply.headers.emplace_back("Set-Cookie",
                                   "s=; expires=Thu, 01-Jan-1970 00:00:00 GMT; path=/");
        reply.headers.emplace_back("Set-Cookie", "ebaysignin=out; path=/");
        ctx.user.clear();
        reply.body = SignInRefusedPage(ctx);
        return reply;
    }
    std::string token = RandomHex(16);
    m_sessions[token] = account->user;
    reply.headers.emplace_back("Set-Cookie", "s=" + token + "; path=/");
    reply.headers.emplace_back("Set-Cookie", "ebaysignin=in; path=/");
    ctx.user = account->user;
    reply.body = SignInWelcomePage(ctx, account->user);
    return reply;
}

SiteReply Site::MyEbay(const SiteRequest& r) {
    Lock lock(m_mutex);
    double now = MachineNow() + m_skew;
    AdvanceAll(now);
    PageContext ctx = Context(r);
    SiteReply reply;
    if (ctx.user.empty()) {
        reply.body = SignInPage(ctx, false);
        return reply;
    }
    std::vector<MyEbayEntry> entries;
    for (const auto& [number, item] : m_items) {
        int64_t mine = item->MaxOf(ctx.user);
        if (mine <= 0) continue;
        std::vector<std::string> leaders = item->Compute().winners;
        std::vector<std::string> winners = item->Winners();
        auto has = [&](const std::vector<std::string>& v) {
            return std::any_of(v.begin(), v.end(),
                               [&](const std::string& u) { return IEquals(u, ctx.user); });
        };
        entries.push_back({item.get(), mine, has(leaders), has(winners)});
    }
    std::sort(entries.begin(), entries.end(), [](const MyEbayEntry& a, const MyEbayEntry& b) {
        return a.item->m_endTime < b.item->m_endTime;
    });
    reply.body = MyEbayPage(ctx, entries, now);
    return reply;
}

SiteReply Site::MakeBid(const SiteRequest& r) {
    Lock lock(m_mutex);
    double now = MachineNow() + m_skew;
    AdvanceAll(now);
    PageContext ctx = Context(r);
    SiteReply reply;
    std::string number = Trimmed(r.ParamOr("item"));
    std::vector<std::string> reasons;
    auto it = m_items.find(number);
    if (number.empty())
        reasons.push_back("Please enter an item number.");
    else if (it == m_items.end())
        reasons.push_back("The item number " + number +
                          " is invalid, or the item no longer exists.");
    const std::string* bid = r.Param("maxbid");
    int64_t cents = bid ? ParseAmountCents(*bid) : -1;
    if (cents <= 0) reasons.push_back("Please enter a valid maximum bid, such as 12.50.");
    if (!reasons.empty()) {
        reply.body = OfferErrorPage(ctx, reasons, it == m_items.end() ? "--" : it->second->m_title);
        return reply;
    }
    std::string key = RandomHex(16);
    std::string pass = ctx.user.empty() ? "" : RandomHex(12);
    std::string uiid =
        std::to_string(std::uniform_int_distribution<int64_t>(100000000, 999999999)(m_tokenRng));
    m_keys[key] = {number, ctx.user, pass, now};
    m_keyOrder.push_back(key);
    while (m_keyOrder.size() > kKeyLimit) {
        m_keys.erase(m_keyOrder.front());
        m_keyOrder.pop_front();
    }
    reply.body = OfferFormPage(ctx, *it->second, now, cents, key, pass, uiid);
    return reply;
}

SiteReply Site::ConfirmBid(const SiteRequest& r) {
    Lock lock(m_mutex);
    double now = MachineNow() + m_skew;
    AdvanceAll(now);
    PageContext ctx = Context(r);
    SiteReply reply;
    const std::string user = r.ParamOr("user");
    const std::string pass = r.ParamOr("pass");
    const std::string number = Trimmed(r.ParamOr("Item"));
    Account* account = FindAccount(user);
    if (!account) {
        reply.body = NotRegisteredPage(ctx, user);
        return reply;
    }
    auto key = m_keys.find(r.ParamOr("key"));
    if (key == m_keys.end()) {
        // No form was issued under this key (or it was dropped): sign in again.
        reply.body = SignInPage(ctx, true);
        return reply;
    }
    auto it = m_items.find(number);
    if (key->second.item != number || it == m_items.end()) {
        reply.body = UnknownErrorPage(ctx);
        return reply;
    }
    // The form's pass token belongs to the user who was signed in when the
    // form was made; a user who was not signed in types the password instead.
    bool passOk = (!key->second.pass.empty() && pass == key->second.pass &&
                   IEquals(key->second.user, account->user)) ||
                  (!pass.empty() && pass == account->password);
    if (!passOk) {
        reply.body = PasswordInvalidPage(ctx);
        return reply;
    }
    Auction& a = *it->second;
    int64_t cents = ParseAmountCents(r.ParamOr("maxbid"));
    if (account->blocked)
        reply.body = BlockedPage(ctx);
    else if (account->limited)
        reply.body = ActivityLimitsPage(ctx);
    else if (a.m_buyerRequirements)
        reply.body = BuyerRequirementsPage(ctx);
    else if (cents <= 0)
        reply.body = UnknownErrorPage(ctx);
    else if (cents >= 1500000 && !account->verified)
        reply.body = VerifyPage(ctx);
    else if (a.m_kind == Kind::Fixed)
        reply.body = FixedPricePage(ctx, a);
    else {
        BidResult result = a.PlaceBid(account->user, cents, now);
        switch (result) {
            case BidResult::HighBidder:
                reply.body = HighBidderPage(ctx, a, now, cents);
                break;
            case BidResult::ReserveNotMet:
                reply.body = ReserveNotMetPage(ctx, a, now, cents);
                break;
            case BidResult::Outbid:
                reply.body = OutbidPage(ctx, a, now, cents);
                break;
            case BidResult::TooLow:
                reply.body = TooLowPage(ctx, a, cents);
                break;
            case BidResult::Ended:
                reply.body = AuctionEndedPage(ctx, a);
                break;
            case BidResult::Multi:
                reply.body = MultiItemPage(ctx, a, cents);
                break;
            case BidResult::Purchased:
            case BidResult::NotAllowed:
                reply.body = FixedPricePage(ctx, a);
                break;
        }
    }
    return reply;
}

SiteReply Site::BuyItNow(const SiteRequest& r) {
    Lock lock(m_mutex);
    double now = MachineNow() + m_skew;
    AdvanceAll(now);
    PageContext ctx = Context(r);
    SiteReply reply;
    auto it = m_items.find(r.ParamOr("item"));
    if (it == m_items.end()) {
        reply.body = InvalidItemPage(r.ParamOr("item"), ctx);
        return reply;
    }
    if (ctx.user.empty()) {
        reply.body = SignInPage(ctx, true);
        return reply;
    }
    Auction& a = *it->second;
    if (a.m_kind != Kind::Fixed) {
        reply.body = UnknownErrorPage(ctx);
        return reply;
    }
    BidResult result = a.PlaceBid(ctx.user, a.m_startCents, now);
    reply.body = result == BidResult::Purchased ? PurchasedPage(ctx, a) : AuctionEndedPage(ctx, a);
    return reply;
}

SiteReply Site::Listing(const SiteRequest& r) {
    Lock lock(m_mutex);
    double now = MachineNow() + m_skew;
    AdvanceAll(now);
    PageContext ctx = Context(r);
    const std::string words = Lower(r.ParamOr("satitle"));
    const std::string category = r.ParamOr("category");
    const std::string seller = r.ParamOr("seller");
    const bool home = r.query.empty() && r.path != "/search";

    std::vector<const Auction*> found;
    std::map<std::string, int> categories;
    for (const auto& [number, item] : m_items) {
        bool running = !item->m_ended && now < item->m_endTime;
        if (running) ++categories[item->m_category];
        if (!running) continue;
        if (!category.empty() && !IEquals(item->m_category, category)) continue;
        if (!seller.empty() && !IEquals(item->m_seller, seller)) continue;
        if (!words.empty()) {
            std::string title = Lower(item->m_title);
            bool all = true;
            size_t pos = 0;
            while (pos < words.size()) {
                size_t end = words.find(' ', pos);
                if (end == std::string::npos) end = words.size();
                std::string w = words.substr(pos, end - pos);
                if (!w.empty() && title.find(w) == std::string::npos) all = false;
                pos = end + 1;
            }
            if (!all) continue;
        }
        found.push_back(item.get());
    }
    std::sort(found.begin(), found.end(),
              [](const Auction* a, const Auction* b) { return a->m_endTime < b->m_endTime; });
    std::vector<std::pair<std::string, std::string>> side;
    for (const auto& [name, count] : categories)
        side.emplace_back("/search?category=" + UrlEncode(name),
                          name + " (" + std::to_string(count) + ")");
    std::string heading = home                ? "Welcome to eBay: items ending soon"
                          : !category.empty() ? category
                          : !seller.empty()   ? "Items for sale by " + seller
                          : words.empty()     ? "All items"
                                              : "Search results for " + r.ParamOr("satitle");
    if (home && found.size() > 25) found.resize(25);
    SiteReply reply;
    reply.body = ListingPage(ctx, heading, found, now, side);
    return reply;
}

std::string Site::UpdateText(const SiteRequest& r) {
    if (m_update.raw) return *m_update.raw;
    std::string base = m_update.base;
    if (base.empty()) {
        std::string host = r.host.empty()
                               ? "127.0.0.1:" + std::to_string(r.https ? m_httpsPort : m_httpPort)
                               : r.host;
        base = std::string(r.https ? "https" : "http") + "://" + host + "/vendor/files/";
    }
    // Keys are never read, only their lengths count: 8, any, 5, 14, then 3.
    std::string t = "[update]\nVersion=" + m_update.version + "\nNotes=" + m_update.notes +
                    "\nBase=" + base + "\nNumberOfFiles=" + std::to_string(m_update.files.size()) +
                    "\n";
    static const char* digits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (size_t i = 0; i < m_update.files.size(); ++i)
        t += std::string("F") + digits[(i + 1) % 36] + "=" + m_update.files[i].name + "\n";
    return t;
}

SiteReply Site::Vendor(const SiteRequest& r) {
    Lock lock(m_mutex);
    SiteReply reply;
    std::string path = r.path;
    if (StartsWith(path, "/vendor")) path = path.substr(7);
    if (path == "/update.txt") {
        reply.contentType = "text/plain";
        reply.body = UpdateText(r);
    } else if (StartsWith(path, "/files/")) {
        std::string name = path.substr(7);
        auto it = std::find_if(m_update.files.begin(), m_update.files.end(),
                               [&](const UpdateFile& f) { return f.name == name; });
        if (it == m_update.files.end()) {
            reply.status = 404;
            reply.body = StatusPage(404);
        } else {
            reply.contentType = "application/octet-stream";
            reply.body = it->content;
            reply.chunked = it->chunked;
        }
    } else if (path == "/firstrun.html") {
        reply.body = m_update.firstRun;
    } else if (path == "/whatsnew.html") {
        reply.body = m_update.whatsNew;
    } else if (path.empty() || path == "/") {
        reply.body =
            "<html><head><title>Bexora</title></head><body><h1>Bexora</h1><p>The "
            "sniping client for auction sites. <a href=\"update.txt\">Current version"
            "</a>.</p></body></html>\n";
    } else {
        reply.status = 404;
        reply.body = StatusPage(404);
    }
    return reply;
}

// ---------------------------------------------------------------------------
// Control API

Json Site::ItemJson(const Auction& a) {
    Standing s = a.Compute();
    std::vector<std::string> winners = a.Winners();
    Json j = Json::Object();
    j["number"] = a.m_number;
    j["title"] = a.m_title;
    j["kind"] = a.m_kind == Kind::Fixed ? "fixed" : a.m_kind == Kind::Live ? "live" : "auction";
    j["price"] = Dollars(s.priceCents);
    j["start_price"] = Dollars(a.m_startCents);
    j["min_bid"] = Dollars(s.minBidCents);
    j["bids"] = s.bidCount;
    j["quantity"] = a.m_quantity;
    j["remaining"] = a.Remaining();
    j["high_bidder"] = s.highBidder;
    j["reserve"] = a.m_reserveCents ? Json(Dollars(*a.m_reserveCents)) : Json();
    j["reserve_met"] = s.reserveMet;
    j["shipping"] = a.m_shippingCents ? Json(Dollars(*a.m_shippingCents)) : Json("FREE");
    j["seller"] = a.m_seller;
    j["feedback"] = a.m_feedback;
    j["percent"] = a.m_percent;
    j["category"] = a.m_category;
    j["start_time"] = a.m_startTime;
    j["end_time"] = a.m_endTime;
    j["end_text"] = FormatItemDate(static_cast<int64_t>(a.m_endTime));
    j["ended"] = a.m_ended;
    j["winner"] =
        winners.empty() || a.IsMulti() || a.m_kind == Kind::Fixed ? Json() : Json(winners[0]);
    Json w = Json::Array();
    for (const std::string& u : winners) w.Push(u);
    j["winners"] = w;
    Json h = Json::Array();
    for (const Bid& b : a.m_history) {
        Json e = Json::Object();
        e["user"] = b.user;
        e["max"] = Dollars(b.maxCents);
        e["time"] = b.time;
        h.Push(e);
    }
    j["history"] = h;
    j["script_pending"] = static_cast<int64_t>(a.m_script.size() - a.m_scriptNext);
    return j;
}

Json Site::Control(const std::string& method, const std::string& path, const std::string& body,
                   int& status) {
    status = 200;
    Json in = Json::Object();
    if (!Trimmed(body).empty()) {
        std::string error;
        auto parsed = Json::Parse(body, &error);
        if (!parsed) {
            status = 400;
            return ErrorJson("bad JSON: " + error);
        }
        in = *parsed;
    }
    auto bad = [&](const std::string& text) {
        status = 400;
        return ErrorJson(text);
    };
    auto num = [&](const char* key, double fallback) {
        const Json* v = in.Get(key);
        return v && v->IsNumber() ? v->AsNumber() : fallback;
    };
    auto flag = [&](const char* key, bool fallback) {
        const Json* v = in.Get(key);
        return v && v->IsBool() ? v->AsBool() : fallback;
    };
    auto str = [&](const char* key) {
        const Json* v = in.Get(key);
        return v && v->IsString() ? v->AsString() : std::string();
    };

    if (path == "/_control/items" && method == "POST") {
        std::string error;
        std::string number = AddItem(in, &error);
        if (number.empty()) return bad(error);
        Json j = Json::Object();
        j["number"] = number;
        return j;
    }
    if (path == "/_control/items" && method == "GET") {
        Lock lock(m_mutex);
        AdvanceAll(MachineNow() + m_skew);
        Json list = Json::Array();
        for (const auto& [number, item] : m_items) list.Push(ItemJson(*item));
        return list;
    }
    if (StartsWith(path, "/_control/items/") && method == "GET") {
        Lock lock(m_mutex);
        AdvanceAll(MachineNow() + m_skew);
        auto it = m_items.find(path.substr(16));
        if (it == m_items.end()) {
            status = 404;
            return ErrorJson("no such item");
        }
        return ItemJson(*it->second);
    }
    if (path == "/_control/accounts" && method == "POST") {
        Account a;
        a.user = str("user");
        a.password = str("password");
        if (!ValidUserId(a.user))
            return bad("\"user\" must be a user ID (letters, digits, \"_\", \"-\", \".\")");
        a.verified = flag("verified", false);
        a.blocked = flag("blocked", false);
        a.limited = flag("limited", false);
        a.feedback = static_cast<int>(num("feedback", 0));
        AddAccount(a);
        Json j = Json::Object();
        j["user"] = a.user;
        return j;
    }
    if (path == "/_control/accounts" && method == "GET") {
        Lock lock(m_mutex);
        Json list = Json::Array();
        for (const auto& [key, a] : m_accounts) {
            Json j = Json::Object();
            j["user"] = a.user;
            j["password"] = a.password;
            j["verified"] = a.verified;
            j["blocked"] = a.blocked;
            j["limited"] = a.limited;
            list.Push(j);
        }
        return list;
    }
    if (path == "/_control/bid" && method == "POST") {
        std::string item = str("item");
        if (const Json* v = in.Get("item"); v && v->IsNumber())
            item = std::to_string(static_cast<int64_t>(v->AsNumber()));
        std::string user = str("user");
        int64_t cents = CentsOf(in.Get("max"));
        if (!ValidUserId(user)) return bad("\"user\" must be a user ID");
        if (cents <= 0) return bad("\"max\" must be a positive amount");
        Lock lock(m_mutex);
        double now = MachineNow() + m_skew;
        AdvanceAll(now);
        auto it = m_items.find(item);
        if (it == m_items.end()) {
            status = 404;
            return ErrorJson("no such item");
        }
        BidResult result = it->second->PlaceBid(user, cents, now);
        Json j = ItemJson(*it->second);
        j["result"] = BidResultName(result);
        return j;
    }
    if (path == "/_control/clock") {
        Lock lock(m_mutex);
        if (method == "POST") {
            if (const Json* s = in.Get("skew"); s && s->IsNumber()) m_skew = s->AsNumber();
            if (const Json* a = in.Get("advance"); a && a->IsNumber()) m_skew += a->AsNumber();
        }
        double machine = MachineNow();
        Json j = Json::Object();
        j["skew"] = m_skew;
        j["machine_time"] = machine;
        j["site_time"] = machine + m_skew;
        j["site_text"] = FormatTimePageDate(static_cast<int64_t>(machine + m_skew));
        return j;
    }
    if (path == "/_control/faults") {
        Lock lock(m_mutex);
        if (method == "DELETE") {
            m_faults.clear();
            return Json::Object();
        }
        if (method == "GET") {
            Json list = Json::Array();
            for (const Fault& f : m_faults) {
                Json j = Json::Object();
                j["id"] = f.id;
                j["path"] = f.prefix;
                j["count"] = f.count;
                list.Push(j);
            }
            return list;
        }
        Fault f;
        f.id = m_nextFaultId++;
        f.prefix = str("path");
        f.contains = str("contains");
        f.count = static_cast<int>(num("count", -1));
        if (f.count == 0) return bad("\"count\" must be at least 1 (or absent for every request)");
        f.latencyMs = static_cast<int>(std::clamp(num("latency_ms", 0), 0.0, 600000.0));
        f.status = static_cast<int>(num("status", 0));
        if (f.status != 0 && (f.status < 100 || f.status > 599))
            return bad("\"status\" must be an HTTP status");
        if (const Json* d = in.Get("drop_after_bytes"); d && d->IsNumber() && d->AsNumber() >= 0)
            f.dropAfterBytes = static_cast<size_t>(d->AsNumber());
        f.stall = flag("stall", false);
        f.stallMs = static_cast<int>(std::clamp(num("stall_ms", 30000), 0.0, 600000.0));
        if (const Json* rd = in.Get("redirects"); rd && rd->IsArray()) {
            for (const Json& s : rd->Items()) {
                if (!s.IsNumber() || s.AsNumber() < 300 || s.AsNumber() > 399)
                    return bad("\"redirects\" must list 3xx statuses");
                f.redirects.push_back(static_cast<int>(s.AsNumber()));
            }
        }
        f.redirectLoop = flag("redirect_loop", false);
        f.lowerLocation = flag("lower_location", false);
        f.noLocation = flag("no_location", false);
        f.empty = flag("empty", false);
        if (const Json* a = in.Get("answer"); a && a->IsString()) f.answer = a->AsString();
        if (const Json* p = in.Get("pad_bytes"); p && p->IsNumber() && p->AsNumber() > 0) {
            if (p->AsNumber() > 512.0 * 1024 * 1024)
                return bad("\"pad_bytes\" is limited to 512 MB");
            f.padBytes = static_cast<size_t>(p->AsNumber());
        }
        m_faults.push_back(f);
        Json j = Json::Object();
        j["id"] = f.id;
        return j;
    }
    if (path == "/_control/log") {
        Lock lock(m_mutex);
        if (method == "DELETE") {
            m_log.clear();
            return Json::Object();
        }
        Json list = Json::Array();
        for (const LogEntry& e : m_log) {
            Json j = Json::Object();
            j["time"] = e.time;
            j["site_time"] = e.siteTime;
            j["scheme"] = e.scheme;
            j["method"] = e.method;
            j["host"] = e.host;
            j["target"] = e.target;
            j["cookies"] = e.cookies;
            list.Push(j);
        }
        return list;
    }
    if (path == "/_control/reset" && method == "POST") {
        Reset();
        if (flag("demo", false)) LoadDemo();
        return Json::Object();
    }
    if (path == "/_control/update" && method == "POST") {
        Lock lock(m_mutex);
        UpdateFolder next = m_update;
        if (in.Get("version")) next.version = str("version");
        if (in.Get("notes")) next.notes = str("notes");
        if (in.Get("base")) next.base = str("base");
        if (const Json* raw = in.Get("raw"))
            next.raw = raw->IsString() ? std::optional<std::string>(raw->AsString()) : std::nullopt;
        if (in.Get("firstrun")) next.firstRun = str("firstrun");
        if (in.Get("whatsnew")) next.whatsNew = str("whatsnew");
        if (const Json* files = in.Get("files")) {
            if (!files->IsArray() || files->Items().size() > 35)
                return bad("\"files\" must be a list of at most 35 files");
            next.files.clear();
            for (const Json& f : files->Items()) {
                UpdateFile file;
                if (const Json* n = f.Get("name"); n && n->IsString()) file.name = n->AsString();
                if (file.name.empty() || file.name.size() > 100 ||
                    file.name.find_first_of("/\\\n\r") != std::string::npos || file.name == "..")
                    return bad("a file needs a plain \"name\" (no folders)");
                if (const Json* c = f.Get("content"); c && c->IsString())
                    file.content = c->AsString();
                if (const Json* c = f.Get("base64"); c && c->IsString())
                    file.content = Base64Decode(c->AsString());
                if (const Json* c = f.Get("chunked"); c && c->IsBool()) file.chunked = c->AsBool();
                next.files.push_back(std::move(file));
            }
        }
        m_update = std::move(next);
        Json j = Json::Object();
        SiteRequest r;
        r.host = "127.0.0.1:" + std::to_string(m_httpPort);
        j["update.txt"] = UpdateText(r);
        return j;
    }
    status = 404;
    return ErrorJson("unknown control request " + method + " " + path);
}

}  // namespace bexora::auction
