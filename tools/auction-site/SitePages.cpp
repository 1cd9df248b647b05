#include "Site.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "SiteText.h"
#include "SiteTime.h"
#include "UpdateSigning.h"

namespace bexora::auction {

// The pages a browser and the client see: items, sign-in, the account page,
// the bid conversation, listings and the maker's update folder.

namespace {
constexpr size_t kKeyLimit = 20000;
}  // namespace

SiteReply Site::ViewItem(const SiteRequest& r) {
    Lock lock(m_mutex);
    double now = NowLocked();
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

SiteReply Site::ViewBids(const SiteRequest& r) {
    Lock lock(m_mutex);
    double now = NowLocked();
    AdvanceAll(now);
    auto it = m_items.find(r.ParamOr("item"));
    SiteReply reply;
    if (it == m_items.end())
        reply.body = InvalidItemPage(r.ParamOr("item"), Context(r));
    else
        reply.body = BidHistoryPage(*it->second, now, Context(r), m_bidFractions);
    return reply;
}

SiteReply Site::TimeShow(const SiteRequest& r) {
    Lock lock(m_mutex);
    SiteReply reply;
    reply.body = TimePage(NowLocked(), Context(r));
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
    double now = NowLocked();
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
    double now = NowLocked();
    AdvanceAll(now);
    PageContext ctx = Context(r);
    SiteReply reply;
    std::string number = Trimmed(r.ParamOr("item"));
    std::vector<std::string> reasons;
    auto it = m_items.find(number);
    const bool v2 = ctx.layout == 2;
    if (number.empty())
        reasons.push_back(v2 ? "Choose a lot first." : "Please enter an item number.");
    else if (it == m_items.end())
        reasons.push_back(v2 ? "There is no lot " + number + "."
                             : "The item number " + number +
                                   " is invalid, or the item no longer exists.");
    const std::string* bid = r.Param("maxbid");
    int64_t cents = bid ? ParseAmountCents(*bid) : -1;
    if (cents <= 0)
        reasons.push_back(v2 ? "Enter your offer in dollars, such as 12.50."
                             : "Please enter a valid maximum bid, such as 12.50.");
    if (!reasons.empty()) {
        reply.body = OfferErrorPage(ctx, reasons, it == m_items.end() ? "--" : it->second->m_title);
        return reply;
    }
    // The review page warns of what the confirmation would refuse; the
    // confirmation itself still decides.
    std::vector<std::string> warnings;
    Auction& a = *it->second;
    if (a.m_ended || now >= a.m_endTime)
        warnings.push_back(v2 ? layout2::EndedWarning() : "Auction ended.");
    if (const Account* account = ctx.user.empty() ? nullptr : FindAccount(ctx.user)) {
        if (account->blocked)
            warnings.push_back(v2 ? layout2::BlockedWarning()
                                  : "Transaction Blocked: please contact the seller.");
        if (account->limited)
            warnings.push_back(v2 ? layout2::LimitsWarning()
                                  : "You have reached one or more buying activity limits.");
    }
    if (a.m_buyerRequirements)
        warnings.push_back(v2 ? layout2::RequirementsWarning()
                              : "This seller has set buyer requirements for this item.");
    if (a.m_kind == Kind::Auction && !a.m_ended && now < a.m_endTime) {
        const int64_t minimum = a.Compute().minBidCents;
        if (cents < minimum)
            warnings.push_back(v2 ? layout2::TooLowWarning(cents, minimum)
                                  : "Your bid of " + FormatUsd(cents) +
                                        " is less than the minimum bid of " + FormatUsd(minimum) +
                                        ".");
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
    reply.body = OfferFormPage(ctx, a, now, cents, key, pass, uiid, warnings);
    return reply;
}

SiteReply Site::ConfirmBid(const SiteRequest& r) {
    Lock lock(m_mutex);
    double now = NowLocked();
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
    // An expired form is as good as none.
    if (key != m_keys.end() && m_keyTtl > 0 && now - key->second.time > m_keyTtl) {
        m_keys.erase(key);
        key = m_keys.end();
    }
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
    double now = NowLocked();
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
    double now = NowLocked();
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
    const bool v2 = ctx.layout == 2;
    std::vector<std::pair<std::string, std::string>> side;
    for (const auto& [name, count] : categories)
        side.emplace_back((v2 ? "/v2/search?category=" : "/search?category=") + UrlEncode(name),
                          name + " (" + std::to_string(count) + ")");
    std::string heading = home ? (v2 ? "Lots closing soon" : "Welcome to eBay: items ending soon")
                          : !category.empty() ? category
                          : !seller.empty()   ? (v2 ? "Lots from " : "Items for sale by ") + seller
                          : words.empty()     ? (v2 ? "All lots" : "All items")
                                              : (v2 ? "Lots matching " : "Search results for ") +
                                                r.ParamOr("satitle");
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
    std::vector<std::pair<std::string, std::string>> files;
    for (size_t i = 0; i < m_update.files.size(); ++i) {
        t += std::string("F") + digits[(i + 1) % 36] + "=" + m_update.files[i].name + "\n";
        files.emplace_back(m_update.files[i].name, m_update.files[i].content);
    }
    // After the names, where a reader that knows only the names stops.
    return t + TestChecksumLines(files);
}

SiteReply Site::Vendor(const SiteRequest& r) {
    Lock lock(m_mutex);
    SiteReply reply;
    std::string path = r.path;
    if (StartsWith(path, "/vendor")) path = path.substr(7);
    if (StartsWith(path, "/to-http/")) {
        // A folder that moved to plain http: the same path, redirected there.
        reply.status = 302;
        reply.headers.emplace_back("Location", "http://127.0.0.1:" + std::to_string(m_httpPort) +
                                                   "/vendor" + path.substr(8));
        return reply;
    }
    if (path == "/update.txt.sig") {
        reply.contentType = "text/plain";
        reply.body = TestUpdateSignature(UpdateText(r));
    } else if (path == "/update.txt") {
        reply.contentType = "text/plain";
        reply.body = UpdateText(r);
    } else if ((path == "/site.profile" || path == "/site.profile.sig") && m_update.profile) {
        reply.contentType = "text/plain";
        if (path == "/site.profile")
            reply.body = *m_update.profile;
        else
            reply.body = m_update.profileSignature ? *m_update.profileSignature
                                                   : TestUpdateSignature(*m_update.profile);
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

}  // namespace bexora::auction
