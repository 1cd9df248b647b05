#include "Site.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "SiteText.h"
#include "SiteTime.h"

namespace bexora::auction {

// The control API under /_control/: tests set up items and accounts, move
// the clock, bid as competitors, inject faults and read the request log.

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
        AdvanceAll(NowLocked());
        Json list = Json::Array();
        for (const auto& [number, item] : m_items) list.Push(ItemJson(*item));
        return list;
    }
    if (StartsWith(path, "/_control/items/") && method == "GET") {
        Lock lock(m_mutex);
        AdvanceAll(NowLocked());
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
            j["user"] = a.user;  // never the password: a test knows what it set
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
        double now = NowLocked();
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
    // Offer-form keys: how long they are taken ("ttl" seconds, 0 for ever),
    // and "expire": drop every key issued so far (the forms go stale at once).
    if (path == "/_control/keys") {
        Lock lock(m_mutex);
        if (method == "POST") {
            if (const Json* t = in.Get("ttl"); t && t->IsNumber() && t->AsNumber() >= 0)
                m_keyTtl = t->AsNumber();
            if (const Json* e = in.Get("expire"); e && e->IsBool() && e->AsBool()) {
                m_keys.clear();
                m_keyOrder.clear();
            }
        }
        Json j = Json::Object();
        j["ttl"] = m_keyTtl;
        j["keys"] = static_cast<double>(m_keys.size());
        return j;
    }
    if (path == "/_control/clock") {
        Lock lock(m_mutex);
        if (method == "POST") {
            const double machine = MachineNow();
            // A held clock moves from where it stands.
            if (m_frozen) m_skew = *m_frozen - machine;
            if (const Json* s = in.Get("skew"); s && s->IsNumber()) m_skew = s->AsNumber();
            if (const Json* a = in.Get("advance"); a && a->IsNumber()) m_skew += a->AsNumber();
            if (const Json* t = in.Get("at"); t && t->IsNumber()) m_skew = t->AsNumber() - machine;
            if (const Json* f = in.Get("bid_fractions"); f && f->IsBool()) m_bidFractions = f->AsBool();
            bool freeze = flag("freeze", m_frozen.has_value());
            if (freeze)
                m_frozen = machine + m_skew;
            else
                m_frozen.reset();
        }
        double machine = MachineNow();
        double site = m_frozen ? *m_frozen : machine + m_skew;
        Json j = Json::Object();
        j["skew"] = m_skew;
        j["frozen"] = m_frozen.has_value();
        j["bid_fractions"] = m_bidFractions;
        j["machine_time"] = machine;
        j["site_time"] = site;
        j["site_text"] = FormatTimePageDate(static_cast<int64_t>(site));
        return j;
    }
    if (path == "/_control/layout") {
        if (method == "POST") {
            const Json* l = in.Get("layout");
            if (!l || !l->IsNumber() || (l->AsNumber() != 1 && l->AsNumber() != 2))
                return bad("\"layout\" must be 1 or 2");
            m_layout = static_cast<int>(l->AsNumber());
        }
        Json j = Json::Object();
        j["layout"] = m_layout.load();
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
        f.jitterMs = static_cast<int>(std::clamp(num("latency_jitter_ms", 0), 0.0, 600000.0));
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
        // A new profile is signed afresh; a signature given with it is
        // served instead (one that does not match, for tests).
        if (const Json* profile = in.Get("profile")) {
            next.profile = profile->IsString() ? std::optional<std::string>(profile->AsString())
                                               : std::nullopt;
            next.profileSignature.reset();
        }
        if (const Json* sig = in.Get("profile_signature"))
            next.profileSignature =
                sig->IsString() ? std::optional<std::string>(sig->AsString()) : std::nullopt;
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
