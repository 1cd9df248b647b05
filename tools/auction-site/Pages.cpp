#include "Pages.h"

#include <cctype>
#include <cmath>
#include <cstdio>

#include "SiteTime.h"

namespace bexora::auction {

std::string EscapeText(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string EscapeAttr(const std::string& s) {
    std::string out;
    for (char c : EscapeText(s)) {
        if (c == '"')
            out += "&quot;";
        else
            out += c;
    }
    return out;
}

std::string UrlEncode(const std::string& s) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string Percent(double p) {
    char buf[32];
    if (p == static_cast<int>(p))
        std::snprintf(buf, sizeof buf, "%d", static_cast<int>(p));
    else
        std::snprintf(buf, sizeof buf, "%.1f", p);
    return buf;
}

namespace {

std::string Row(const std::string& label, const std::string& valueHtml) {
    return "<tr><td class=\"label\">" + label + "</td><td>" + valueHtml + "</td></tr>\n";
}

// Page frame: head, the site's navigation bar and footer. None of the texts
// here may contain a marker that a reader looks for.
std::string Page(const PageContext& ctx, const std::string& title, const std::string& body) {
    std::string h;
    h.reserve(body.size() + 2048);
    h += "<html><head><title>" + title + "</title>\n";
    h += "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">\n";
    h += "<style>body{font-family:Arial,sans-serif;font-size:10pt}td.label{color:#666;"
         "padding-right:8px}table.listings td{padding:3px 6px}.nav a{margin-right:6px}"
         "</style>\n</head><body>\n";
    h += "<table width=\"100%\" class=\"nav\"><tr><td><a href=\"/\"><b>eBay</b></a></td><td>"
         "<a href=\"/\">home</a>|<a href=\"http://" +
         ctx.httpHost + "/ws/eBayISAPI.dll?MyeBay\">my eBay</a>|";
    if (ctx.user.empty())
        h += "<a href=\"https://" + ctx.httpsHost + "/ws/eBayISAPI.dll?SignIn\">sign in</a>";
    else
        h += "Hello, " + EscapeText(ctx.user) + "!";
    h +=
        "|<a href=\"http://" + ctx.httpHost +
        "/aw-cgi/eBayISAPI.dll?TimeShow\">official time</a></td><td align=\"right\">"
        "<form action=\"/search\" method=\"get\"><input type=\"text\" name=\"satitle\" size=\"30\">"
        "<input type=\"submit\" value=\"Search\"></form></td></tr></table>\n";
    h += body;
    h += "\n<hr><p><small>Copyright 1995-2006 Bexora local auction site. Designated trademarks "
         "and brands are the property of their respective owners.</small></p>\n</body></html>\n";
    return h;
}

std::string ItemUrl(const std::string& number) {
    return "/ws/eBayISAPI.dll?ViewItem&item=" + number + "&cmdZViewItem";
}

std::string Summary(const Auction& a, double now, int64_t maxCents) {
    Standing s = a.Compute();
    std::string t = "<table class=\"summary\">\n";
    t += Row("Item title:",
             "<a href=\"" + ItemUrl(a.m_number) + "\">" + EscapeText(a.m_title) + "</a>");
    t += Row("Item number:", a.m_number);
    t += Row("Current bid:", FormatUsd(s.priceCents));
    if (maxCents >= 0) t += Row("Your maximum bid:", FormatUsd(maxCents));
    t += Row("End time:", FormatLongDate(static_cast<int64_t>(a.m_endTime)));
    t += Row("Time left:", FormatTimeLeft(static_cast<int64_t>(a.m_endTime - now)));
    t += "</table>\n";
    return t;
}

std::string BidAgainForm(const Auction& a, int64_t minCents) {
    return "<form action=\"/ws/eBayISAPI.dll\" method=\"get\">"
           "<input type=\"hidden\" name=\"MfcISAPICommand\" value=\"MakeBid\">"
           "<input type=\"hidden\" name=\"uiid\" value=\"-519273846\">"
           "<input type=\"hidden\" name=\"item\" value=\"" +
           a.m_number +
           "\">"
           "<input type=\"text\" name=\"maxbid\" size=\"10\" value=\"" +
           EscapeAttr(FormatUsd(minCents)) +
           "\"><input type=\"submit\" value=\"Place Bid\"></form>\n";
}

std::string Confirmation(const PageContext& ctx, const std::string& body) {
    return Page(ctx, "eBay - Bid Confirmation", "<h2>Bid Confirmation</h2>\n" + body);
}

}  // namespace

std::string ItemLink(const std::string& number) {
    return ItemUrl(number);
}

std::string ItemPage(const Auction& a, double now, const PageContext& ctx, int highBidderFeedback) {
    if (ctx.layout == 2) return layout2::ItemPage(a, now, ctx, highBidderFeedback);
    Standing s = a.Compute();
    const bool ended = a.m_ended || now >= a.m_endTime;
    const int64_t end = static_cast<int64_t>(a.m_endTime);
    std::vector<std::string> winners = a.Winners();

    std::string b;
    b.reserve(8192);
    b += "<table><tr><td><a href=\"/\">Back to home page</a></td><td>Listed in category: "
         "<a href=\"/search?category=" +
         UrlEncode(a.m_category) + "\">" + EscapeText(a.m_category) + "</a></td></tr></table>\n";
    b += "<h1>" + EscapeText(a.m_title) + "</h1>\n";
    if (ended) {
        std::string what;
        if (a.m_kind == Kind::Fixed)
            what = winners.empty() ? "This item did not sell." : "This item has been sold.";
        else if (!winners.empty())
            what = a.IsMulti() ? "Winning bidders: " + std::to_string(winners.size())
                               : "Winning bidder: " + EscapeText(winners[0]);
        else if (s.bidCount > 0)
            what = "This item did not sell: the reserve was not reached.";
        else
            what = "This item did not receive any bids.";
        b += "<p><b>Bidding has ended for this item.</b> " + what + "</p>\n";
    }
    b += "<table class=\"itemInfo\">\n";
    b += Row("Item number:", a.m_number);
    if (a.m_kind == Kind::Live && !ended)
        b += "<tr><td colspan=\"2\"><b>Ready to Sign Up for Live Auction?</b> Register to bid "
             "live while the auction takes place on the floor.</td></tr>\n";

    std::string priceLabel;
    if (a.m_kind == Kind::Fixed)
        priceLabel = ended && s.bidCount > 0 ? "Sold for:" : "Buy It Now price:";
    else if (ended && !winners.empty())
        priceLabel = "Winning bid:";
    else
        priceLabel = s.bidCount > 0 ? "Current bid:" : "Starting bid:";
    b += Row(priceLabel, FormatUsd(s.priceCents));
    if (a.m_reserveCents && a.m_kind != Kind::Fixed && !a.IsMulti())
        b += Row("Reserve:", s.reserveMet ? "Reserve met" : "Reserve not met");
    if (!ended && a.m_kind != Kind::Fixed && a.m_kind != Kind::Live)
        b += Row("Your maximum bid:",
                 "<form action=\"/ws/eBayISAPI.dll\" method=\"get\">"
                 "<input type=\"hidden\" name=\"MfcISAPICommand\" value=\"MakeBid\">"
                 "<input type=\"hidden\" name=\"uiid\" value=\"-519273846\">"
                 "<input type=\"hidden\" name=\"item\" value=\"" +
                     a.m_number +
                     "\">"
                     "<input type=\"text\" name=\"maxbid\" size=\"10\" maxlength=\"12\"> (Enter " +
                     FormatUsd(s.minBidCents) +
                     " or more)<input type=\"submit\" value=\"Place Bid\"></form>");
    if (!ended && a.m_kind == Kind::Fixed)
        b += Row("Buy It Now:", "<a href=\"/ws/eBayISAPI.dll?BinConfirm&item=" + a.m_number +
                                    "\"><b>Buy It Now</b></a>");
    b += Row("End time:", FormatLongDate(end));
    b += Row("Time left:", FormatTimeLeft(static_cast<int64_t>(a.m_endTime - now)));
    b += Row("Start time:", FormatLongDate(static_cast<int64_t>(a.m_startTime)));
    if (a.m_kind == Kind::Fixed)
        b += Row("History:", "Purchases (" + std::to_string(s.bidCount) + ")");
    else if (a.m_kind == Kind::Auction)
        b += Row("History:", "<a href=\"/ws/eBayISAPI.dll?ViewBids&item=" + a.m_number + "\">" +
                                 std::to_string(s.bidCount) + (s.bidCount == 1 ? " bid" : " bids") +
                                 "</a>");
    if (a.m_kind != Kind::Fixed && !a.IsMulti()) {
        std::string high = "--";
        if (!s.highBidder.empty() && (!ended || !winners.empty()))
            high = EscapeText(s.highBidder) + " ( " + std::to_string(highBidderFeedback) + " )";
        b += Row("High bidder:", high);
    }
    if (a.m_quantity > 1 || a.m_kind == Kind::Fixed)
        b += Row("Quantity:", std::to_string(a.Remaining()) + " available");
    else
        b += Row("Quantity:", "1");
    b += Row("Item location:", EscapeText(a.m_location));
    if (a.m_shippingCents)
        b += Row("Shipping costs:",
                 FormatUsd(*a.m_shippingCents) + "<br>US Postal Service Priority Mail");
    else
        b += Row("Shipping costs:", "FREE<br>Standard Shipping");
    b += Row("Ships to:", "Worldwide");
    b += "</table>\n";

    const std::string sellerLink = "/search?seller=" + UrlEncode(a.m_seller);
    b += "<table class=\"seller\">\n<tr><td colspan=\"2\"><b>Meet the seller</b></td></tr>\n";
    b += "<tr><td class=\"label\">Seller:</td><td><a href=\"" + sellerLink + "\">" +
         EscapeText(a.m_seller) + "</a> (<a href=\"" + sellerLink + "\">" +
         std::to_string(a.m_feedback) + "</a>)</td></tr>\n";
    b += Row("Feedback:", Percent(a.m_percent) + "% Positive");
    b += Row("Member:", "since Mar-02-99 in United States");
    b += "<tr><td colspan=\"2\"><a href=\"" + sellerLink +
         "\">Read feedback comments</a></td></tr>\n";
    b += "<tr><td colspan=\"2\"><a href=\"" + sellerLink +
         "\">View seller's other items</a></td></tr>\n</table>\n";

    b += "<h2>Description</h2>\n<p>" + EscapeText(a.m_description) + "</p>\n";
    b += "<h2>Shipping, payment details and return policy</h2>\n<p>The seller ships within "
         "two business days of receiving cleared payment. Payment by PayPal, money order or "
         "personal check. Returns are accepted within 7 days.</p>\n";

    return Page(ctx,
                "eBay: " + EscapeText(a.m_title) + " (item " + a.m_number + " end time " +
                    FormatItemDate(end) + ")",
                b);
}

std::string InvalidItemPage(const std::string& number, const PageContext& ctx) {
    if (ctx.layout == 2) return layout2::InvalidItemPage(number, ctx);
    return Page(ctx, "eBay - Invalid Item",
                "<h2>Invalid Item</h2>\n<p>The item you requested (" + EscapeText(number) +
                    ") is invalid, still pending, or no longer in our database. Please try "
                    "again in a few minutes.</p>\n");
}

namespace {

std::string BidDate(double time, bool fractions) {
    const double second = std::floor(time);
    std::string text = FormatLongDate(static_cast<int64_t>(second));
    if (!fractions) return text;
    int ms = static_cast<int>((time - second) * 1000);
    if (ms > 999) ms = 999;
    char frac[16];
    std::snprintf(frac, sizeof frac, ".%03d", ms);
    return text.insert(text.size() - 4, frac);  // before " PST"
}

}  // namespace

std::string BidHistoryPage(const Auction& a, double /*now*/, const PageContext& ctx, bool fractions) {
    if (ctx.layout == 2) return layout2::BidHistoryPage(a, ctx, fractions);
    std::string b = "<h2>Bid History</h2>\n<p><a href=\"" + ItemUrl(a.m_number) + "\">" +
                    EscapeText(a.m_title) +
                    "</a></p>\n<table>\n"
                    "<tr><th>User ID</th><th>Bid Amount</th><th>Date of bid</th></tr>\n";
    for (auto it = a.m_history.rbegin(); it != a.m_history.rend(); ++it)
        b += "<tr><td>" + EscapeText(it->user) + "</td><td>" + FormatUsd(it->maxCents) +
             "</td><td>" + BidDate(it->time, fractions) + "</td></tr>\n";
    b += "</table>\n";
    return Page(ctx, "eBay - Bid History", b);
}

std::string TimePage(double now, const PageContext& ctx) {
    if (ctx.layout == 2) return layout2::TimePage(now, ctx);
    return Page(ctx, "eBay Official Time",
                "<h2>eBay Official Time</h2>\n<table><tr><td>The official eBay Time is now:</td>"
                "</tr>\n<tr><td><b>" +
                    FormatTimePageDate(static_cast<int64_t>(now)) +
                    "</b></td></tr></table>\n<p>The official time of the site is Pacific time; "
                    "every auction end time on the site is shown in it.</p>\n");
}

std::string SignInPage(const PageContext& ctx, bool forBid, const std::string& notice) {
    if (ctx.layout == 2) return layout2::SignInPage(ctx, forBid, notice);
    std::string b = "<h2>Sign In</h2>\n";
    if (!notice.empty())
        b += "<p><font color=\"red\"><b>" + EscapeText(notice) + "</b></font></p>\n";
    b += "<table><tr><td valign=\"top\"><b>New to eBay?</b><br>If you want to sign in, you'll "
         "need to register first.<br><a href=\"/\">Register</a></td><td valign=\"top\">";
    b += forBid ? "<b>Already an eBay user?</b><br>To place your bid, sign in first.<br>"
                : "<b>Already an eBay member?</b><br>Sign in to continue.<br>";
    b += "<form action=\"https://" + ctx.httpsHost +
         "/ws/eBayISAPI.dll\" method=\"get\">"
         "<input type=\"hidden\" name=\"co_partnerid\" value=\"2\">"
         "<input type=\"hidden\" name=\"siteid\" value=\"0\">"
         "<input type=\"hidden\" name=\"UsingSSL\" value=\"1\">"
         "<input type=\"hidden\" name=\"MfcISAPICommand\" value=\"SignInWelcome\">"
         "User ID<br><input type=\"text\" name=\"userid\" size=\"25\"><br>"
         "Password<br><input type=\"password\" name=\"pass\" size=\"25\"><br>"
         "<input type=\"submit\" value=\"Sign In Securely\"></form></td></tr></table>\n";
    return Page(ctx, "eBay - Sign In", b);
}

std::string SignInRefusedPage(const PageContext& ctx) {
    if (ctx.layout == 2) return layout2::SignInRefusedPage(ctx);
    return SignInPage(ctx, false,
                      "Your sign in information is not valid. Please try again or sign in "
                      "with a different User ID.");
}

std::string SignInWelcomePage(const PageContext& ctx, const std::string& user) {
    if (ctx.layout == 2) return layout2::SignInWelcomePage(ctx, user);
    return Page(ctx, "eBay - Welcome",
                "<h2>Welcome to eBay</h2>\n<p>Hello " + EscapeText(user) +
                    "! You are now signed in.</p>\n<p><a href=\"/\">Continue to the home "
                    "page</a> | <a href=\"http://" +
                    ctx.httpHost + "/ws/eBayISAPI.dll?MyeBay\">Go to My eBay</a></p>\n");
}

std::string MyEbayPage(const PageContext& ctx, const std::vector<MyEbayEntry>& entries,
                       double now) {
    if (ctx.layout == 2) return layout2::MyEbayPage(ctx, entries, now);
    std::string bidding, won, lost;
    for (const MyEbayEntry& e : entries) {
        const Auction& a = *e.item;
        bool ended = a.m_ended || now >= a.m_endTime;
        std::string row = "<tr><td><a href=\"" + ItemUrl(a.m_number) + "\">" +
                          EscapeText(a.m_title) + "</a></td><td>" +
                          FormatUsd(a.Compute().priceCents) + "</td><td>" +
                          FormatUsd(e.myMaxCents) + "</td><td>";
        if (!ended) {
            row += std::string(e.leading ? "Leading" : "Outbid") + "</td><td>" +
                   FormatTimeLeft(static_cast<int64_t>(a.m_endTime - now)) + "</td></tr>\n";
            bidding += row;
        } else {
            row += std::string(e.won ? "Won" : "Not won") + "</td><td>" +
                   FormatLongDate(static_cast<int64_t>(a.m_endTime)) + "</td></tr>\n";
            (e.won ? won : lost) += row;
        }
    }
    auto table = [](const std::string& heading, const std::string& rows) {
        return "<h3>" + heading +
               "</h3>\n<table class=\"listings\"><tr><th>Item</th><th>Price</th>"
               "<th>My max bid</th><th>Status</th><th>Time</th></tr>\n" +
               (rows.empty() ? std::string("<tr><td colspan=\"5\">None</td></tr>\n") : rows) +
               "</table>\n";
    };
    return Page(ctx, "eBay - My eBay Summary",
                "<h2>My eBay Summary</h2>\n<p>Hello, " + EscapeText(ctx.user) + "</p>\n" +
                    table("Items I'm Bidding On", bidding) + table("Items I've Won", won) +
                    table("Items I Didn't Win", lost));
}

std::string OfferFormPage(const PageContext& ctx, const Auction& a, double now, int64_t maxCents,
                          const std::string& key, const std::string& pass, const std::string& uiid,
                          const std::vector<std::string>& warnings) {
    if (ctx.layout == 2)
        return layout2::OfferFormPage(ctx, a, now, maxCents, key, pass, uiid, warnings);
    char amount[32];
    std::snprintf(amount, sizeof amount, "%lld.%02lld", (long long)(maxCents / 100),
                  (long long)(maxCents % 100));
    std::string b = "<h2>Review and Confirm Bid</h2>\n";
    for (const std::string& w : warnings)
        b += "<p class=\"warning\"><b>" + EscapeText(w) + "</b></p>\n";
    b += Summary(a, now, maxCents);
    b += "<form action=\"/ws/eBayISAPI.dll\" method=\"get\">\n"
         "<input type=\"hidden\" name=\"MfcISAPICommand\" value=\"MakeBid\">\n"
         "<input type=\"hidden\" name=\"javascriptenabled\" value=\"1\">\n"
         "<input type=\"hidden\" name=\"mode\" value=\"1\">\n"
         "<input type=\"hidden\" name=\"maxbid\" value=\"" +
         std::string(amount) +
         "\">\n"
         "<input type=\"hidden\" name=\"Item\" value=\"" +
         a.m_number +
         "\">\n"
         "<input type=\"hidden\" name=\"key\" value=\"" +
         key + "\">\n";
    if (!ctx.user.empty())
        b += "<input type=\"hidden\" name=\"user\" value=\"" + EscapeAttr(ctx.user) +
             "\">\n"
             "<input type=\"hidden\" name=\"pass\" value=\"" +
             pass + "\">\n";
    else
        b += "<p>User ID: <input type=\"text\" name=\"user\" size=\"20\"> Password: "
             "<input type=\"password\" name=\"pass\" size=\"20\"></p>\n";
    b += "<input type=\"hidden\" name=\"uiid\" value=\"" + uiid +
         "\">\n"
         "<input type=\"hidden\" name=\"quant\" value=\"1\">\n"
         "<p>By clicking on the button below, you commit to buy this item from the seller if "
         "you are the winning bidder.</p>\n<input type=\"submit\" value=\"Confirm Bid\">\n"
         "</form>\n";
    return Page(ctx, "eBay - Review and Confirm Bid", b);
}

std::string OfferErrorPage(const PageContext& ctx, const std::vector<std::string>& reasons,
                           const std::string& title) {
    if (ctx.layout == 2) return layout2::OfferErrorPage(ctx, reasons, title);
    std::string b =
        "<h2>Review Bid</h2>\n<p><b>The following must be corrected before "
        "continuing:</b></p>\n<ul>";
    for (const std::string& r : reasons) b += "<li>" + EscapeText(r) + "</li>";
    b += "</ul>\n<table class=\"summary\"><tr><td class=\"label\">Item title</td><td>" +
         EscapeText(title) + "</td></tr></table>\n";
    return Page(ctx, "eBay - Review Bid", b);
}

std::string HighBidderPage(const PageContext& ctx, const Auction& a, double now, int64_t maxCents) {
    if (ctx.layout == 2) return layout2::HighBidderPage(ctx, a, now, maxCents);
    return Confirmation(ctx,
                        "<p><b>You are the current high bidder</b> on this item.</p>\n"
                        "<p>Important: another user may still outbid you, so check this "
                        "item again before it ends.</p>\n" +
                            Summary(a, now, maxCents));
}

std::string OutbidPage(const PageContext& ctx, const Auction& a, double now, int64_t maxCents) {
    if (ctx.layout == 2) return layout2::OutbidPage(ctx, a, now, maxCents);
    // The site has used both wordings over the years; items alternate.
    bool shortForm = !a.m_number.empty() && (a.m_number.back() - '0') % 2 == 1;
    Standing s = a.Compute();
    return Confirmation(ctx, std::string("<p><b>") +
                                 (shortForm ? "You've been outbid by another bidder"
                                            : "You have been outbid by another bidder") +
                                 ".</b></p>\n<p>Another bidder placed a higher maximum bid "
                                 "earlier. To enter a higher maximum bid, please enter " +
                                 FormatUsd(s.minBidCents) + " or more below.</p>\n" +
                                 BidAgainForm(a, s.minBidCents) + Summary(a, now, maxCents));
}

std::string TooLowPage(const PageContext& ctx, const Auction& a, int64_t maxCents) {
    if (ctx.layout == 2) return layout2::TooLowPage(ctx, a, maxCents);
    Standing s = a.Compute();
    return Confirmation(ctx, "<p><b>Your bid of " + FormatUsd(maxCents) +
                                 " is less than the minimum bid.</b></p>\n<p>Please enter " +
                                 FormatUsd(s.minBidCents) + " or more.</p>\n" +
                                 BidAgainForm(a, s.minBidCents));
}

std::string ReserveNotMetPage(const PageContext& ctx, const Auction& a, double now,
                              int64_t maxCents) {
    if (ctx.layout == 2) return layout2::ReserveNotMetPage(ctx, a, now, maxCents);
    return Confirmation(ctx,
                        "<p><b>The reserve price has not been met.</b></p>\n<p>You are "
                        "currently the leading bidder, but the seller's reserve has not "
                        "been reached yet. To win the item you must raise your maximum "
                        "bid.</p>\n" +
                            Summary(a, now, maxCents));
}

std::string AuctionEndedPage(const PageContext& ctx, const Auction& a) {
    if (ctx.layout == 2) return layout2::AuctionEndedPage(ctx, a);
    return Confirmation(ctx, "<p><b>Auction ended.</b></p>\n<p>Bidding on <a href=\"" +
                                 ItemUrl(a.m_number) + "\">" + EscapeText(a.m_title) +
                                 "</a> is over; bids are no longer accepted.</p>\n");
}

std::string MultiItemPage(const PageContext& ctx, const Auction& a, int64_t maxCents) {
    if (ctx.layout == 2) return layout2::MultiItemPage(ctx, a, maxCents);
    return Confirmation(ctx,
                        "<p><b>You are bidding on this Multiple Item Auction.</b></p>\n<p>"
                        "Your bid of " +
                            FormatUsd(maxCents) +
                            " for 1 item was placed. All winning bidders pay the lowest "
                            "successful bid when the auction ends.</p>\n<p><a href=\"" +
                            ItemUrl(a.m_number) + "\">Back to the item</a></p>\n");
}

std::string NotRegisteredPage(const PageContext& ctx, const std::string& user) {
    if (ctx.layout == 2) return layout2::NotRegisteredPage(ctx, user);
    return Confirmation(ctx, "<p><b>" + EscapeText(user) +
                                 " is not a registered eBay user.</b> Please check the User ID "
                                 "and try again.</p>\n");
}

std::string PasswordInvalidPage(const PageContext& ctx) {
    if (ctx.layout == 2) return layout2::PasswordInvalidPage(ctx);
    return Confirmation(ctx,
                        "<p><b>Your User ID or password is not valid.</b> Please sign in "
                        "again.</p>\n");
}

std::string FixedPricePage(const PageContext& ctx, const Auction& a) {
    if (ctx.layout == 2) return layout2::FixedPricePage(ctx, a);
    return Confirmation(ctx, "<p><b>Unknown Error</b></p>\n<p>" + EscapeText(a.m_title) +
                                 " is a fixed price item and takes no bids. Use Buy It Now on "
                                 "<a href=\"" +
                                 ItemUrl(a.m_number) + "\">the item page</a>.</p>\n");
}

std::string BuyerRequirementsPage(const PageContext& ctx) {
    if (ctx.layout == 2) return layout2::BuyerRequirementsPage(ctx);
    return Confirmation(ctx,
                        "<p><b>This seller has set buyer requirements for this item</b> "
                        "and your account does not meet them.</p>\n");
}

std::string BlockedPage(const PageContext& ctx) {
    if (ctx.layout == 2) return layout2::BlockedPage(ctx);
    return Confirmation(ctx,
                        "<p><b>Transaction Blocked</b></p>\n<p>This transaction cannot be "
                        "completed. Please contact the seller.</p>\n");
}

std::string ActivityLimitsPage(const PageContext& ctx) {
    if (ctx.layout == 2) return layout2::ActivityLimitsPage(ctx);
    return Confirmation(ctx,
                        "<p><b>You have reached one or more buying activity limits.</b> "
                        "Please try again later.</p>\n");
}

std::string VerifyPage(const PageContext& ctx) {
    if (ctx.layout == 2) return layout2::VerifyPage(ctx);
    return Confirmation(ctx,
                        "<p><b>Bidding 15000.0 or more</b> requires that we verify your "
                        "identity first. Please add a credit card to your account.</p>\n");
}

std::string UnknownErrorPage(const PageContext& ctx) {
    if (ctx.layout == 2) return layout2::UnknownErrorPage(ctx);
    return Confirmation(ctx,
                        "<p><b>Unknown Error</b></p>\n<p>Your request could not be "
                        "processed. Please try again later.</p>\n");
}

std::string PurchasedPage(const PageContext& ctx, const Auction& a) {
    if (ctx.layout == 2) return layout2::PurchasedPage(ctx, a);
    return Page(ctx, "eBay - Purchase Confirmation",
                "<h2>Purchase Confirmation</h2>\n<p><b>Congratulations!</b> You committed to buy "
                "<a href=\"" +
                    ItemUrl(a.m_number) + "\">" + EscapeText(a.m_title) + "</a> for " +
                    FormatUsd(a.m_startCents) + ".</p>\n");
}

std::string AnswerPage(const PageContext& ctx, const std::string& answer) {
    Auction sample;
    sample.m_number = "0000000000";
    sample.m_title = "Item";
    sample.m_endTime = 0;
    if (answer == "blocked") return BlockedPage(ctx);
    if (answer == "buyer_requirements") return BuyerRequirementsPage(ctx);
    if (answer == "activity_limits") return ActivityLimitsPage(ctx);
    if (answer == "verify_15000") return VerifyPage(ctx);
    if (answer == "unknown_error") return UnknownErrorPage(ctx);
    if (answer == "already_user") return SignInPage(ctx, true);
    if (answer == "not_registered") return NotRegisteredPage(ctx, "user");
    if (answer == "password") return PasswordInvalidPage(ctx);
    if (answer == "too_low") return TooLowPage(ctx, sample, 0);
    if (answer == "ended") return AuctionEndedPage(ctx, sample);
    if (answer == "multi") return MultiItemPage(ctx, sample, 0);
    if (answer == "reserve") return ReserveNotMetPage(ctx, sample, 0, 0);
    if (answer == "high_bidder") return HighBidderPage(ctx, sample, 0, 0);
    if (answer == "outbid") return OutbidPage(ctx, sample, 0, 0);
    if (ctx.layout == 2) return layout2::AnswerText(ctx, answer);
    if (answer == "higher_bid")
        return Confirmation(ctx,
                            "<p>To enter a higher maximum bid, please enter an amount above "
                            "your current maximum.</p>\n");
    return Confirmation(ctx, "<p>" + EscapeText(answer) + "</p>\n");
}

std::string ListingPage(const PageContext& ctx, const std::string& heading,
                        const std::vector<const Auction*>& items, double now,
                        const std::vector<std::pair<std::string, std::string>>& sideLinks) {
    if (ctx.layout == 2) return layout2::ListingPage(ctx, heading, items, now, sideLinks);
    // Rows are written without white space between tags: a listing reader
    // takes every run of text between two tags as a line.
    std::string b = "<h2>" + EscapeText(heading) +
                    "</h2>\n<table width=\"100%\"><tr>"
                    "<td valign=\"top\" width=\"180\">";
    for (const auto& [href, text] : sideLinks)
        b += "<a href=\"" + EscapeAttr(href) + "\">" + EscapeText(text) + "</a><br>";
    b += "</td><td valign=\"top\">\n<p>" + std::to_string(items.size()) +
         " items found</p>\n<table class=\"listings\">\n<tr><th>Picture</th><th>Item Title</th>"
         "<th>Price</th><th>Bids</th><th>Time Left</th></tr>\n";
    for (const Auction* a : items) {
        Standing s = a->Compute();
        std::string link = ItemUrl(a->m_number);
        std::string bids = a->m_kind == Kind::Fixed  ? "Buy It Now"
                           : a->m_kind == Kind::Live ? "Live"
                                                     : std::to_string(s.bidCount);
        int64_t left = static_cast<int64_t>(a->m_endTime - now);
        std::string leftText;
        if (a->m_ended || left <= 0) {
            leftText = "Ended";
        } else {
            char buf[48];
            if (left >= 86400)
                std::snprintf(buf, sizeof buf, "%lldd %02lldh %02lldm", (long long)(left / 86400),
                              (long long)(left / 3600 % 24), (long long)(left / 60 % 60));
            else
                std::snprintf(buf, sizeof buf, "%lldh %02lldm %02llds", (long long)(left / 3600),
                              (long long)(left / 60 % 60), (long long)(left % 60));
            leftText = buf;
        }
        b += "<tr><td><a href=\"" + link +
             "\"><img src=\"/pics/thumb.gif\" width=\"64\" "
             "height=\"48\" border=\"0\" alt=\"\"></a></td><td><a href=\"" +
             link + "\">" + EscapeText(a->m_title) + "</a></td><td>" + FormatUsd(s.priceCents) +
             "</td><td>" + bids + "</td><td>" + leftText + "</td></tr>\n";
    }
    b += "</table>\n</td></tr></table>\n";
    return Page(ctx, "eBay - " + EscapeText(heading), b);
}

std::string NotFoundPage(const PageContext& ctx, const std::string& what) {
    if (ctx.layout == 2) return layout2::NotFoundPage(ctx, what);
    return Page(ctx, "eBay - Page Not Found",
                "<h2>Page Not Found</h2>\n<p>The page you requested (" + EscapeText(what) +
                    ") is not available.</p>\n");
}

std::string StatusPage(int status) {
    return "<html><head><title>" + std::to_string(status) + "</title></head><body><h1>HTTP " +
           std::to_string(status) +
           "</h1><p>The server could not answer this request.</p>"
           "</body></html>\n";
}

}  // namespace bexora::auction
