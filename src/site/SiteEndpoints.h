#pragma once
// Every address the program asks of the auction site and of its maker's
// site is built here, from the site profile's address patterns and the host
// names in the settings' "Site" section (the profile's hosts where a setting
// is not given), so no other code writes a host or a path of its own. Both
// are read on every call (an edit takes effect at the next request). The
// addresses below are the built-in profile's.

#include <string>

namespace bexora::site {

// http://SiteItemHost/ws/eBayISAPI.dll?ViewItem&item=ITEM
std::string ItemViewUrl(const std::string& itemNumber);
// http://SiteItemHost/ws/eBayISAPI.dll?ViewBids&item=ITEM
std::string BidHistoryUrl(const std::string& itemNumber);
// http://SiteTimeHost/aw-cgi/eBayISAPI.dll?TimeShow
std::string OfficialTimeUrl();
// https://SiteSignInHost/ws/eBayISAPI.dll?SignIn
std::string SignInPageUrl();
// SiteSignInHost as configured (the profile's sign-in host when not set):
// what the keyring files an account's password under.
std::string SignInHost();
// https://SiteSignInHost/ws/eBayISAPI.dll?co_partnerid=2&siteid=0&UsingSSL=1
//   &MfcISAPICommand=SignInWelcome&ru=&pp=&pa1=&pa2=&pa3=&i1=-1&pageType=-1
//   &userid=USER&pass=PASS
std::string SignInRequestUrl(const std::string& userId, const std::string& password);
// True when url is userId's sign-in request (it carries a password).
bool IsSignInRequest(const std::string& url, const std::string& userId);
// http://SiteOfferHost/ws/eBayISAPI.dll?MfcISAPICommand=MakeBid&uiid=-519273846
//   &co_partnerid=&item=ITEM&maxbid=BID
std::string OfferFormUrl(const std::string& itemNumber, const std::string& maxBid);
// http://SiteOfferHost/ws/eBayISAPI.dll?MfcISAPICommand=MakeBid&javascriptenabled=1
//   &mode=1&maxbid=BID&Item=ITEM&key=KEY&user=USER&pass=PASS&uiid=UIID&quant=1
std::string OfferConfirmUrl(const std::string& bid, const std::string& itemNumber,
                            const std::string& key, const std::string& userId,
                            const std::string& hiddenPass, const std::string& uiid);
// http://SiteMyHost/ws/eBayISAPI.dll?MyeBay
std::string AccountPageUrl();
// A confirmation address with its form key and pass token shown as ****
// (for lines that reach terminals and the journal).
std::string MaskConfirmSecrets(std::string url);
// SiteHomeUrl as configured.
std::string HomeUrl();
// SiteDomain as configured (used to recognise the site's own pages).
std::string Domain();
// VendorSiteUrl as configured, without a trailing "/".
std::string VendorUrl();
// The base address of the update instruction file ("Update"/"Update URL").
std::string UpdateBaseUrl();

// Percent-encodes the bytes of a query value that would break the query or
// the address: blanks and control bytes, bytes above 0x7E, and & # % + = ?.
// Everything else ("$", ",", ".", letters, digits) goes as typed, the way
// the site has always received bids and item numbers; a password holding
// "&" or a blank now reaches the site as typed instead of cutting the query.
std::string QueryValue(const std::string& value);

// The site's encoding of an address carried in its "ru" parameter:
// ":" "?" "&" "=" "<" ">" "$" "/" become %3A %3F %26 %3D %3c %3e %24 %2F.
std::string EncodeForQuery(const std::string& address);

}  // namespace bexora::site
