// The redesigned site ("layout 2"): every page the client reads says things
// in new words, the item page's fields come in another order, and every
// address moved under /v2/. What stays is what a reader cannot be told by a
// profile: the date forms, the hidden-field HTML, "US $" amounts on the line
// after their label, the seller's score in parentheses and the "%" after the
// rating, and the heading's shape (marker, title, marker, number, marker,
// date, closing mark).

#include <cmath>
#include <cstdio>

#include "Pages.h"
#include "SiteTime.h"

namespace bexora::auction::layout2 {

namespace {

std::string Field(const std::string& label, const std::string& valueHtml) {
    return "<dt>" + label + "</dt><dd>" + valueHtml + "</dd>\n";
}

// Head, header bar and footer. None of these texts may hold a marker that a
// reader of this layout looks for.
std::string Page(const PageContext& ctx, const std::string& title, const std::string& body) {
    std::string h;
    h.reserve(body.size() + 2048);
    h += "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"windows-1252\"><title>" + title +
         "</title>\n<style>body{font:14px/1.4 Helvetica,sans-serif;margin:0}header,main,footer{"
         "padding:8px 16px}header{background:#234;color:#fff}header a{color:#fff;margin-right:"
         "10px}dt{float:left;clear:left;width:160px;color:#567}dd{margin-left:170px}</style>\n"
         "</head><body>\n";
    h += "<header><a href=\"/\"><b>Bexora Market</b></a><a href=\"/v2/search\">browse</a>"
         "<a href=\"http://" +
         ctx.httpHost + "/v2/account/summary\">your account</a>";
    if (ctx.user.empty())
        h += "<a href=\"https://" + ctx.httpsHost + "/v2/account/login\">log in</a>";
    else
        h += "<span>Hi " + EscapeText(ctx.user) + "</span>";
    h += "<a href=\"http://" + ctx.httpHost +
         "/v2/clock\">market clock</a><form action=\"/v2/search\" method=\"get\">"
         "<input type=\"search\" name=\"q\" size=\"30\"><button>Find</button></form></header>\n"
         "<main>\n";
    h += body;
    h += "</main>\n<footer><small>Bexora Market, the local auction site, redesigned "
         "edition.</small></footer>\n</body></html>\n";
    return h;
}

std::string Summary(const Auction& a, double now, int64_t maxCents) {
    Standing s = a.Compute();
    std::string t = "<dl class=\"summary\">\n";
    t += Field("Offer for:", "<a href=\"" + ItemLink(a.m_number) + "\">" + EscapeText(a.m_title) +
                                 "</a> (" + a.m_number + ")");
    t += Field("Price now:", FormatUsd(s.priceCents));
    if (maxCents >= 0) t += Field("You offered:", FormatUsd(maxCents));
    t += Field("Closing:", FormatLongDate(static_cast<int64_t>(a.m_endTime)));
    t += Field("Time to go:", FormatTimeLeft(static_cast<int64_t>(a.m_endTime - now)));
    t += "</dl>\n";
    return t;
}

std::string OfferAgainForm(const Auction& a, int64_t minCents) {
    return "<form action=\"/v2/offer/review\" method=\"get\">"
           "<input type=\"hidden\" name=\"id\" value=\"" +
           a.m_number + "\"><input type=\"text\" name=\"amount\" size=\"10\" value=\"" +
           EscapeAttr(FormatUsd(minCents)) + "\"><button>Offer again</button></form>\n";
}

std::string Answer(const PageContext& ctx, const std::string& body) {
    return Page(ctx, "Your offer - Bexora Market", "<h1>Your offer</h1>\n" + body);
}

}  // namespace

std::string ItemLink(const std::string& number) {
    return "/v2/item?id=" + number;
}

std::string ItemPage(const Auction& a, double now, const PageContext& ctx, int highBidderFeedback) {
    Standing s = a.Compute();
    const bool ended = a.m_ended || now >= a.m_endTime;
    const int64_t end = static_cast<int64_t>(a.m_endTime);
    std::vector<std::string> winners = a.Winners();
    const std::string sellerLink = "/v2/search?seller=" + UrlEncode(a.m_seller);

    std::string b;
    b.reserve(8192);
    b += "<nav class=\"crumbs\"><a href=\"/\">Market</a> / <a href=\"/v2/search?category=" +
         UrlEncode(a.m_category) + "\">" + EscapeText(a.m_category) + "</a></nav>\n";
    b += "<h1>" + EscapeText(a.m_title) + "</h1>\n";
    if (ended) {
        std::string what;
        if (a.m_kind == Kind::Fixed)
            what = winners.empty() ? "Nobody bought it." : "It was bought.";
        else if (!winners.empty())
            what = a.IsMulti() ? std::to_string(winners.size()) + " members won a unit."
                               : "Won by " + EscapeText(winners[0]) + ".";
        else if (s.bidCount > 0)
            what = "It did not sell: the seller's reserve was not reached.";
        else
            what = "Nobody made an offer.";
        b += "<p class=\"closed\"><b>Bidding on this lot is over.</b> " + what + "</p>\n";
    }

    // The seller first, then delivery and stock, then the bidding.
    b += "<section class=\"seller\"><h2>About the seller</h2><dl>\n";
    b += Field("Sold by:", "<a href=\"" + sellerLink + "\">" + EscapeText(a.m_seller) +
                               "</a> (<a href=\"" + sellerLink + "\">" +
                               std::to_string(a.m_feedback) + "</a>)");
    b += Field("Positive ratings:", Percent(a.m_percent) + "%");
    b += Field("Member since:", "March 1999, United States");
    b += "</dl></section>\n<section class=\"terms\"><dl>\n";
    if (a.m_shippingCents)
        b += Field("Delivery:", FormatUsd(*a.m_shippingCents) + "<br>Tracked parcel");
    else
        b += Field("Delivery:", "No charge<br>Standard parcel");
    b += Field("Ships from:", EscapeText(a.m_location));
    if (a.m_quantity > 1 || a.m_kind == Kind::Fixed)
        b += Field("Units:", std::to_string(a.Remaining()) + " in stock");
    else
        b += Field("Units:", "1");
    b += "</dl></section>\n<section class=\"bidding\"><dl>\n";
    b += Field("Reference:", a.m_number);
    if (a.m_kind == Kind::Live && !ended)
        b += "<p><b>Bid live from the auction floor</b>: join while the sale takes place in "
             "the room.</p>\n";
    if (a.m_kind != Kind::Fixed && !a.IsMulti()) {
        std::string high = "--";
        if (!s.highBidder.empty() && (!ended || !winners.empty()))
            high = EscapeText(s.highBidder) + " ( " + std::to_string(highBidderFeedback) + " )";
        b += Field("Leading bidder:", high);
    }
    if (a.m_kind == Kind::Fixed)
        b += Field("Offer count:", "buy now, no offers");
    else if (a.m_kind == Kind::Auction)
        b += Field("Offer count:", "<a href=\"/v2/item/bids?id=" + a.m_number + "\">" +
                                       std::to_string(s.bidCount) +
                                       (s.bidCount == 1 ? " offer" : " offers") + "</a>");
    std::string priceLabel;
    if (a.m_kind == Kind::Fixed)
        priceLabel = ended && s.bidCount > 0 ? "Sold at:" : "Fixed price:";
    else if (ended && !winners.empty())
        priceLabel = "Winning offer:";
    else
        priceLabel = s.bidCount > 0 ? "Highest offer:" : "Opening offer:";
    b += Field(priceLabel, FormatUsd(s.priceCents));
    if (a.m_reserveCents && a.m_kind != Kind::Fixed && !a.IsMulti())
        b += Field("Reserve:", s.reserveMet ? "reached" : "not reached yet");
    if (!ended && a.m_kind != Kind::Fixed && a.m_kind != Kind::Live)
        b += Field("Your top offer:",
                   "<form action=\"/v2/offer/review\" method=\"get\">"
                   "<input type=\"hidden\" name=\"id\" value=\"" +
                       a.m_number + "\"><input type=\"text\" name=\"amount\" size=\"10\"> (from " +
                       FormatUsd(s.minBidCents) + " upward)<button>Review offer</button></form>");
    if (!ended && a.m_kind == Kind::Fixed)
        b += Field("Buy now:", "<a href=\"/v2/item/buy?id=" + a.m_number + "\">Buy this lot</a>");
    b += Field("Closes at:", FormatLongDate(end));
    b += Field("Time to go:", FormatTimeLeft(static_cast<int64_t>(a.m_endTime - now)));
    b += Field("Opened:", FormatLongDate(static_cast<int64_t>(a.m_startTime)));
    b += "</dl></section>\n<p><a href=\"" + sellerLink + "\">Other lots from this seller</a></p>\n";

    b += "<h2>Description</h2>\n<p>" + EscapeText(a.m_description) + "</p>\n";
    b += "<h2>Payment and returns</h2>\n<p>Dispatched within two working days of payment. "
         "Returns within 14 days.</p>\n";

    return Page(ctx,
                "Lot: " + EscapeText(a.m_title) + " [no. " + a.m_number + ", closes " +
                    FormatItemDate(end) + "]",
                b);
}

std::string InvalidItemPage(const std::string& number, const PageContext& ctx) {
    return Page(ctx, "No such lot - Bexora Market",
                "<h1>No such lot</h1>\n<p>We have no lot " + EscapeText(number) +
                    ". It may have been withdrawn.</p>\n");
}

std::string BidHistoryPage(const Auction& a, const PageContext& ctx, bool fractions) {
    // Newest first; the date leads each row now, and amounts are "USD".
    std::string b = "<h1>Offers on this lot</h1>\n<p><a href=\"" + ItemLink(a.m_number) + "\">" +
                    EscapeText(a.m_title) +
                    "</a></p>\n<table>\n<tr><th>When</th><th>Member</th><th>Offer</th></tr>\n";
    for (auto it = a.m_history.rbegin(); it != a.m_history.rend(); ++it) {
        std::string when = FormatLongDate(static_cast<int64_t>(std::floor(it->time)));
        if (fractions) {
            int ms = std::min(999, static_cast<int>((it->time - std::floor(it->time)) * 1000));
            char frac[16];
            std::snprintf(frac, sizeof frac, ".%03d", ms);
            when.insert(when.size() - 4, frac);
        }
        std::string amount = FormatUsd(it->maxCents);  // "US $12.50"
        b += "<tr><td>" + when + "</td><td>" + EscapeText(it->user) + "</td><td>USD " +
             amount.substr(4) + "</td></tr>\n";
    }
    b += "</table>\n";
    return Page(ctx, "Offers - Bexora Market", b);
}

std::string TimePage(double now, const PageContext& ctx) {
    return Page(ctx, "Market clock - Bexora Market",
                "<h1>Market clock</h1>\n<p>Site time right now:</p>\n<p><time>" +
                    FormatTimePageDate(static_cast<int64_t>(now)) +
                    "</time></p>\n<p>Lots close by this clock, which keeps Pacific "
                    "time.</p>\n");
}

std::string SignInPage(const PageContext& ctx, bool forBid, const std::string& notice) {
    std::string b = "<h1>Log in</h1>\n";
    if (!notice.empty()) b += "<p class=\"error\"><b>" + EscapeText(notice) + "</b></p>\n";
    b += forBid ? "<p><b>Log in to confirm your offer.</b></p>\n"
                : "<p><b>Returning customer?</b> Log in below.</p>\n";
    b += "<form action=\"https://" + ctx.httpsHost +
         "/v2/account/session\" method=\"get\">"
         "<label>Login name <input type=\"text\" name=\"login\"></label>"
         "<label>Password <input type=\"password\" name=\"secret\"></label>"
         "<button>Log in securely</button></form>\n<p>New here? <a href=\"/\">Open an "
         "account</a>.</p>\n";
    return Page(ctx, "Log in - Bexora Market", b);
}

std::string SignInRefusedPage(const PageContext& ctx) {
    return layout2::SignInPage(
        ctx, false, "We could not log you in with that name and password. Please try again.");
}

std::string SignInWelcomePage(const PageContext& ctx, const std::string& user) {
    return Page(ctx, "Logged in - Bexora Market",
                "<h1>Logged in</h1>\n<p>Hi " + EscapeText(user) +
                    ", you are logged in.</p>\n<p><a href=\"/\">Browse the market</a> | <a "
                    "href=\"http://" +
                    ctx.httpHost + "/v2/account/summary\">Your account</a></p>\n");
}

std::string MyEbayPage(const PageContext& ctx, const std::vector<MyEbayEntry>& entries,
                       double now) {
    std::string rows;
    for (const MyEbayEntry& e : entries) {
        const Auction& a = *e.item;
        bool ended = a.m_ended || now >= a.m_endTime;
        std::string state = !ended ? (e.leading ? "leading" : "outbid") : e.won ? "won" : "lost";
        rows += "<tr><td>" + state + "</td><td><a href=\"" + ItemLink(a.m_number) + "\">" +
                EscapeText(a.m_title) + "</a></td><td>" + FormatUsd(e.myMaxCents) + "</td><td>" +
                FormatUsd(a.Compute().priceCents) + "</td><td>" +
                (ended ? FormatLongDate(static_cast<int64_t>(a.m_endTime))
                       : FormatTimeLeft(static_cast<int64_t>(a.m_endTime - now))) +
                "</td></tr>\n";
    }
    if (rows.empty()) rows = "<tr><td colspan=\"5\">No offers yet</td></tr>\n";
    return Page(ctx, "Your account - Bexora Market",
                "<h1>Your account</h1>\n<p>Logged in as " + EscapeText(ctx.user) +
                    "</p>\n<h2>Your offers</h2>\n<table><tr><th>State</th><th>Lot</th><th>Your "
                    "offer</th><th>Price now</th><th>Closing</th></tr>\n" +
                    rows + "</table>\n");
}

std::string OfferFormPage(const PageContext& ctx, const Auction& a, double now, int64_t maxCents,
                          const std::string& key, const std::string& pass, const std::string& uiid,
                          const std::vector<std::string>& warnings) {
    char amount[32];
    std::snprintf(amount, sizeof amount, "%lld.%02lld", (long long)(maxCents / 100),
                  (long long)(maxCents % 100));
    std::string b = "<h1>Check your offer</h1>\n";
    for (const std::string& w : warnings)
        b += "<p class=\"warning\"><b>" + EscapeText(w) + "</b></p>\n";
    b += Summary(a, now, maxCents);
    b += "<form action=\"/v2/offer/place\" method=\"get\">\n"
         "<input type=\"hidden\" name=\"id\" value=\"" +
         a.m_number +
         "\">\n"
         "<input type=\"hidden\" name=\"amount\" value=\"" +
         std::string(amount) +
         "\">\n"
         "<input type=\"hidden\" name=\"token\" value=\"" +
         key + "\">\n";
    if (!ctx.user.empty())
        b += "<input type=\"hidden\" name=\"bidder\" value=\"" + EscapeAttr(ctx.user) +
             "\">\n"
             "<input type=\"hidden\" name=\"auth\" value=\"" +
             pass + "\">\n";
    else
        b += "<p>Login name <input type=\"text\" name=\"bidder\"> Password "
             "<input type=\"password\" name=\"auth\"></p>\n";
    b += "<input type=\"hidden\" name=\"ref\" value=\"" + uiid +
         "\">\n<p>Confirming commits you to buy this lot if your offer wins.</p>\n"
         "<button>Confirm offer</button>\n</form>\n";
    return Page(ctx, "Check your offer - Bexora Market", b);
}

std::string OfferErrorPage(const PageContext& ctx, const std::vector<std::string>& reasons,
                           const std::string& title) {
    std::string b =
        "<h1>Check your offer</h1>\n<p><b>Please fix these problems first:</b></p>\n<ul>";
    for (const std::string& r : reasons) b += "<li>" + EscapeText(r) + "</li>";
    b += "</ul>\n<dl><dt>Lot name</dt><dd>" + EscapeText(title) + "</dd></dl>\n";
    return Page(ctx, "Check your offer - Bexora Market", b);
}

std::string HighBidderPage(const PageContext& ctx, const Auction& a, double now, int64_t maxCents) {
    return Answer(ctx,
                  "<p><b>Your offer is leading.</b> Someone may still offer more before the lot "
                  "closes, so look in again.</p>\n" +
                      Summary(a, now, maxCents));
}

std::string OutbidPage(const PageContext& ctx, const Auction& a, double now, int64_t maxCents) {
    // Two wordings, as on the classic pages: items alternate.
    bool odd = !a.m_number.empty() && (a.m_number.back() - '0') % 2 == 1;
    Standing s = a.Compute();
    return Answer(ctx,
                  std::string("<p><b>") +
                      (odd ? "Another member's offer is higher" : "Another member offered more") +
                      ".</b></p>\n<p>Their top offer came first. To raise your top offer, "
                      "offer " +
                      FormatUsd(s.minBidCents) + " or more below.</p>\n" +
                      OfferAgainForm(a, s.minBidCents) + Summary(a, now, maxCents));
}

std::string TooLowPage(const PageContext& ctx, const Auction& a, int64_t maxCents) {
    Standing s = a.Compute();
    return Answer(ctx, "<p><b>" + FormatUsd(maxCents) +
                           " is below the lowest accepted offer.</b></p>\n<p>Offer " +
                           FormatUsd(s.minBidCents) + " or more.</p>\n" +
                           OfferAgainForm(a, s.minBidCents));
}

std::string ReserveNotMetPage(const PageContext& ctx, const Auction& a, double now,
                              int64_t maxCents) {
    return Answer(ctx,
                  "<p><b>You lead, but the seller's reserve price is still not reached.</b> "
                  "Offer more to win the lot.</p>\n" +
                      Summary(a, now, maxCents));
}

std::string AuctionEndedPage(const PageContext& ctx, const Auction& a) {
    return Answer(ctx, "<p><b>This lot has closed.</b> <a href=\"" + ItemLink(a.m_number) + "\">" +
                           EscapeText(a.m_title) + "</a> takes no more offers.</p>\n");
}

std::string MultiItemPage(const PageContext& ctx, const Auction& a, int64_t maxCents) {
    return Answer(ctx, "<p><b>Your offer on this multi-unit lot is in.</b> " + FormatUsd(maxCents) +
                           " for one unit; every winner pays the lowest winning offer.</p>\n"
                           "<p><a href=\"" +
                           ItemLink(a.m_number) + "\">Back to the lot</a></p>\n");
}

std::string NotRegisteredPage(const PageContext& ctx, const std::string& user) {
    return Answer(ctx, "<p><b>" + EscapeText(user) +
                           " is not a known member name.</b> Check the spelling.</p>\n");
}

std::string PasswordInvalidPage(const PageContext& ctx) {
    return Answer(ctx,
                  "<p><b>That login name or password was not accepted.</b> Log in "
                  "again.</p>\n");
}

std::string FixedPricePage(const PageContext& ctx, const Auction& a) {
    return Answer(ctx, "<p><b>Something went wrong (code 2).</b></p>\n<p>" + EscapeText(a.m_title) +
                           " sells at a fixed price: use Buy now on <a href=\"" +
                           ItemLink(a.m_number) + "\">its page</a>.</p>\n");
}

std::string BuyerRequirementsPage(const PageContext& ctx) {
    return Answer(ctx,
                  "<p><b>The seller only accepts offers from qualified buyers</b>, and "
                  "your account is not one.</p>\n");
}

std::string BlockedPage(const PageContext& ctx) {
    return Answer(ctx,
                  "<p><b>Offer refused: account on hold.</b> Please contact the "
                  "seller.</p>\n");
}

std::string ActivityLimitsPage(const PageContext& ctx) {
    return Answer(ctx,
                  "<p><b>You have reached the offer limit for your account.</b> Try again "
                  "later.</p>\n");
}

std::string VerifyPage(const PageContext& ctx) {
    return Answer(ctx,
                  "<p><b>Offers of 15,000 dollars and above</b> need a verified "
                  "identity. Add a card to your account first.</p>\n");
}

std::string UnknownErrorPage(const PageContext& ctx) {
    return Answer(ctx, "<p><b>Something went wrong (code 2).</b> Try again later.</p>\n");
}

std::string PurchasedPage(const PageContext& ctx, const Auction& a) {
    return Page(ctx, "Bought - Bexora Market",
                "<h1>Bought</h1>\n<p>You bought <a href=\"" + ItemLink(a.m_number) + "\">" +
                    EscapeText(a.m_title) + "</a> for " + FormatUsd(a.m_startCents) + ".</p>\n");
}

std::string AnswerText(const PageContext& ctx, const std::string& answer) {
    if (answer == "higher_bid")
        return Answer(ctx, "<p>To raise your top offer, enter more than your last one.</p>\n");
    return Answer(ctx, "<p>" + EscapeText(answer) + "</p>\n");
}

std::string ListingPage(const PageContext& ctx, const std::string& heading,
                        const std::vector<const Auction*>& items, double now,
                        const std::vector<std::pair<std::string, std::string>>& sideLinks) {
    // No white space between tags here either: a listing reader takes every
    // run of text between two tags as a line.
    std::string b = "<h1>" + EscapeText(heading) + "</h1>\n<aside>";
    for (const auto& [href, text] : sideLinks)
        b += "<a href=\"" + EscapeAttr(href) + "\">" + EscapeText(text) + "</a><br>";
    b += "</aside>\n<p>" + std::to_string(items.size()) +
         " lots</p>\n<table class=\"lots\">\n<tr><th>Lot</th><th>Price</th><th>Offers</th>"
         "<th>Time to go</th></tr>\n";
    for (const Auction* a : items) {
        Standing s = a->Compute();
        std::string offers = a->m_kind == Kind::Fixed  ? "Fixed price"
                             : a->m_kind == Kind::Live ? "On the floor"
                                                       : std::to_string(s.bidCount);
        int64_t left = static_cast<int64_t>(a->m_endTime - now);
        b += "<tr><td><a href=\"" + ItemLink(a->m_number) + "&amp;from=list\">" +
             EscapeText(a->m_title) + "</a></td><td>" + FormatUsd(s.priceCents) + "</td><td>" +
             offers + "</td><td>" + (a->m_ended || left <= 0 ? "Closed" : FormatTimeLeft(left)) +
             "</td></tr>\n";
    }
    b += "</table>\n";
    return Page(ctx, EscapeText(heading) + " - Bexora Market", b);
}

std::string NotFoundPage(const PageContext& ctx, const std::string& what) {
    return Page(ctx, "Not found - Bexora Market",
                "<h1>Not found</h1>\n<p>Nothing here (" + EscapeText(what) + ").</p>\n");
}

std::string MovedPage() {
    return "404 Not Found\nThe market moved: this address is no longer served.\n";
}

std::string EndedWarning() {
    return "This lot has closed.";
}
std::string BlockedWarning() {
    return "Offer refused: account on hold. Please contact the seller.";
}
std::string LimitsWarning() {
    return "You have reached the offer limit for your account.";
}
std::string RequirementsWarning() {
    return "The seller only accepts offers from qualified buyers.";
}
std::string TooLowWarning(int64_t cents, int64_t minimumCents) {
    return FormatUsd(cents) + " is below the lowest accepted offer of " + FormatUsd(minimumCents) +
           ".";
}

}  // namespace bexora::auction::layout2
