#include "site/SiteEndpoints.h"

#include "base/Settings.h"
#include "text/TextTools.h"

namespace bexora::site {

namespace {

const char kIsapi[] = "/ws/eBayISAPI.dll?";

std::string Host(const SettingDef& def) { return Settings().GetString(def); }

std::string Http(const SettingDef& host) { return "http://" + Host(host); }
std::string Https(const SettingDef& host) { return "https://" + Host(host); }

}  // namespace

std::string ItemViewUrl(const std::string& itemNumber) {
    return Http(setting::SiteItemHost) + kIsapi + "ViewItem&item=" + QueryValue(itemNumber);
}

std::string BidHistoryUrl(const std::string& itemNumber) {
    return Http(setting::SiteItemHost) + kIsapi + "ViewBids&item=" + QueryValue(itemNumber);
}

std::string OfficialTimeUrl() {
    return Http(setting::SiteTimeHost) + "/aw-cgi/eBayISAPI.dll?TimeShow";
}

std::string SignInPageUrl() { return Https(setting::SiteSignInHost) + kIsapi + "SignIn"; }

std::string SignInRequestUrl(const std::string& userId, const std::string& password) {
    return Https(setting::SiteSignInHost) + kIsapi +
           "co_partnerid=2&siteid=0&UsingSSL=1"
           "&MfcISAPICommand=SignInWelcome&ru=&pp=&pa1=&pa2=&pa3=&i1=-1&pageType=-1&userid=" +
           QueryValue(userId) + "&pass=" + QueryValue(password);
}

std::string OfferFormUrl(const std::string& itemNumber, const std::string& maxBid) {
    return Http(setting::SiteOfferHost) + kIsapi +
           "MfcISAPICommand=MakeBid&uiid=-519273846&co_partnerid=&item=" + QueryValue(itemNumber) +
           "&maxbid=" + QueryValue(maxBid);
}

std::string OfferConfirmUrl(const std::string& bid, const std::string& itemNumber,
                            const std::string& key, const std::string& userId,
                            const std::string& hiddenPass, const std::string& uiid) {
    return Http(setting::SiteOfferHost) + kIsapi +
           "MfcISAPICommand=MakeBid&javascriptenabled=1&mode=1&maxbid=" + QueryValue(bid) +
           "&Item=" + QueryValue(itemNumber) + "&key=" + QueryValue(key) +
           "&user=" + QueryValue(userId) + "&pass=" + QueryValue(hiddenPass) +
           "&uiid=" + QueryValue(uiid) + "&quant=1";
}

std::string AccountPageUrl() { return Http(setting::SiteMyHost) + kIsapi + "MyeBay"; }

std::string HomeUrl() { return Settings().GetString(setting::SiteHomeUrl); }

std::string Domain() { return Settings().GetString(setting::SiteDomain); }

std::string VendorUrl() {
    std::string url = Settings().GetString(setting::VendorSiteUrl);
    while (!url.empty() && url.back() == '/') url.pop_back();
    return url;
}

std::string UpdateBaseUrl() { return Settings().GetString(setting::UpdateUrl); }

std::string QueryValue(const std::string& value) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size());
    for (unsigned char c : value) {
        bool breaks = c <= 0x20 || c >= 0x7F || c == '&' || c == '#' || c == '%' || c == '+' ||
                      c == '=' || c == '?';
        if (!breaks) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string EncodeForQuery(const std::string& address) {
    std::string s = address;
    ReplaceAll(s, ":", "%3A");
    ReplaceAll(s, "?", "%3F");
    ReplaceAll(s, "&", "%26");
    ReplaceAll(s, "=", "%3D");
    ReplaceAll(s, "<", "%3c");
    ReplaceAll(s, ">", "%3e");
    ReplaceAll(s, "$", "%24");
    ReplaceAll(s, "/", "%2F");
    return s;
}

}  // namespace bexora::site
