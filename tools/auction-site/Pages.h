#pragma once
// The HTML the site serves. The client reads pages as text after turning
// every tag into a line break, and cuts values out by marker texts and fixed
// offsets, so each value here stands in its own cell right after its marker,
// and no marker text appears anywhere it could be found first.

#include <string>
#include <vector>

#include "Auction.h"

namespace bexora::auction {

struct PageContext {
    std::string httpHost;   // "127.0.0.1:PORT"
    std::string httpsHost;  // "127.0.0.1:PORT"
    std::string user;       // signed-in user, "" when none
    int layout = 1;         // 2: the redesigned pages and addresses (Pages2.cpp)
};

// Escapes &, < and > for element text (quotes stay: the client does not
// decode &quot;), and also " for attribute values.
std::string EscapeText(const std::string& s);
std::string EscapeAttr(const std::string& s);
// Percent-encodes everything but letters, digits and "-_.~" (for query values in links).
std::string UrlEncode(const std::string& s);
// A feedback rating as the pages show it: "99" or "99.5".
std::string Percent(double p);

std::string ItemPage(const Auction& a, double now, const PageContext& ctx, int highBidderFeedback);
std::string InvalidItemPage(const std::string& number, const PageContext& ctx);
// Each bid's time by the site clock, to the second; with fractions, to the
// millisecond ("Nov 11, 2006 14:23:45.250 PST"), for tests that time bids.
std::string BidHistoryPage(const Auction& a, double now, const PageContext& ctx,
                           bool fractions = false);
std::string TimePage(double now, const PageContext& ctx);

// The sign-in form. forBid: the form that a bid without a valid sign-in
// leads to ("Already an eBay user?"); otherwise the plain sign-in page
// ("Already an eBay member?"). notice is shown above the form (escaped).
std::string SignInPage(const PageContext& ctx, bool forBid, const std::string& notice = "");
std::string SignInRefusedPage(const PageContext& ctx);
std::string SignInWelcomePage(const PageContext& ctx, const std::string& user);

struct MyEbayEntry {
    const Auction* item;
    int64_t myMaxCents;
    bool leading;
    bool won;
};
std::string MyEbayPage(const PageContext& ctx, const std::vector<MyEbayEntry>& entries, double now);

// warnings: what the confirmation would refuse, shown above the form (the
// form is still given, as the site's review page does).
std::string OfferFormPage(const PageContext& ctx, const Auction& a, double now, int64_t maxCents,
                          const std::string& key, const std::string& pass, const std::string& uiid,
                          const std::vector<std::string>& warnings = {});
std::string OfferErrorPage(const PageContext& ctx, const std::vector<std::string>& reasons,
                           const std::string& title);

// The answers of the bid confirmation, each with its marker text.
std::string HighBidderPage(const PageContext& ctx, const Auction& a, double now, int64_t maxCents);
std::string OutbidPage(const PageContext& ctx, const Auction& a, double now, int64_t maxCents);
std::string TooLowPage(const PageContext& ctx, const Auction& a, int64_t maxCents);
std::string ReserveNotMetPage(const PageContext& ctx, const Auction& a, double now,
                              int64_t maxCents);
std::string AuctionEndedPage(const PageContext& ctx, const Auction& a);
std::string MultiItemPage(const PageContext& ctx, const Auction& a, int64_t maxCents);
std::string NotRegisteredPage(const PageContext& ctx, const std::string& user);
std::string PasswordInvalidPage(const PageContext& ctx);
std::string FixedPricePage(const PageContext& ctx, const Auction& a);
std::string BuyerRequirementsPage(const PageContext& ctx);
std::string BlockedPage(const PageContext& ctx);
std::string ActivityLimitsPage(const PageContext& ctx);
std::string VerifyPage(const PageContext& ctx);
std::string UnknownErrorPage(const PageContext& ctx);
std::string PurchasedPage(const PageContext& ctx, const Auction& a);

// A confirmation-style page for the control API's "answer" fault: a preset
// name ("blocked", "outbid", ...) gives that answer's page; any other text
// stands in a page of its own.
std::string AnswerPage(const PageContext& ctx, const std::string& answer);

// Listings: links carry "cmdZViewItem" and "item=", with the title, the
// price and the bid count in the cells after each link.
std::string ListingPage(const PageContext& ctx, const std::string& heading,
                        const std::vector<const Auction*>& items, double now,
                        const std::vector<std::pair<std::string, std::string>>& sideLinks);
std::string ItemLink(const std::string& number);

std::string NotFoundPage(const PageContext& ctx, const std::string& what);
std::string StatusPage(int status);

// The redesigned site: the same pages with new wording, a new field order
// and new addresses. The functions above hand over to these when
// ctx.layout is 2, so callers never choose.
namespace layout2 {
std::string ItemPage(const Auction& a, double now, const PageContext& ctx, int highBidderFeedback);
std::string InvalidItemPage(const std::string& number, const PageContext& ctx);
std::string BidHistoryPage(const Auction& a, const PageContext& ctx, bool fractions);
std::string TimePage(double now, const PageContext& ctx);
std::string SignInPage(const PageContext& ctx, bool forBid, const std::string& notice);
std::string SignInRefusedPage(const PageContext& ctx);
std::string SignInWelcomePage(const PageContext& ctx, const std::string& user);
std::string MyEbayPage(const PageContext& ctx, const std::vector<MyEbayEntry>& entries, double now);
std::string OfferFormPage(const PageContext& ctx, const Auction& a, double now, int64_t maxCents,
                          const std::string& key, const std::string& pass, const std::string& uiid,
                          const std::vector<std::string>& warnings);
std::string OfferErrorPage(const PageContext& ctx, const std::vector<std::string>& reasons,
                           const std::string& title);
std::string HighBidderPage(const PageContext& ctx, const Auction& a, double now, int64_t maxCents);
std::string OutbidPage(const PageContext& ctx, const Auction& a, double now, int64_t maxCents);
std::string TooLowPage(const PageContext& ctx, const Auction& a, int64_t maxCents);
std::string ReserveNotMetPage(const PageContext& ctx, const Auction& a, double now,
                              int64_t maxCents);
std::string AuctionEndedPage(const PageContext& ctx, const Auction& a);
std::string MultiItemPage(const PageContext& ctx, const Auction& a, int64_t maxCents);
std::string NotRegisteredPage(const PageContext& ctx, const std::string& user);
std::string PasswordInvalidPage(const PageContext& ctx);
std::string FixedPricePage(const PageContext& ctx, const Auction& a);
std::string BuyerRequirementsPage(const PageContext& ctx);
std::string BlockedPage(const PageContext& ctx);
std::string ActivityLimitsPage(const PageContext& ctx);
std::string VerifyPage(const PageContext& ctx);
std::string UnknownErrorPage(const PageContext& ctx);
std::string PurchasedPage(const PageContext& ctx, const Auction& a);
// Only the presets without a page function of their own ("higher_bid",
// free text); AnswerPage hands the others to the functions above.
std::string AnswerText(const PageContext& ctx, const std::string& answer);
std::string ListingPage(const PageContext& ctx, const std::string& heading,
                        const std::vector<const Auction*>& items, double now,
                        const std::vector<std::pair<std::string, std::string>>& sideLinks);
std::string ItemLink(const std::string& number);
std::string NotFoundPage(const PageContext& ctx, const std::string& what);
// What a layout-1 address answers once the site has moved (404).
std::string MovedPage();
// The texts the review page warns with, by what the confirmation would refuse.
std::string EndedWarning();
std::string BlockedWarning();
std::string LimitsWarning();
std::string RequirementsWarning();
std::string TooLowWarning(int64_t cents, int64_t minimumCents);
}  // namespace layout2

}  // namespace bexora::auction
