#include "site/SiteEndpoints.h"

#include <algorithm>

#include "base/Settings.h"
#include "site/SiteProfile.h"
#include "text/TextTools.h"

namespace bexora::site {

namespace {

// A host setting left out of the settings file takes the profile's host.
std::string Host(const SettingDef& def, const CSiteProfile& profile, const char* profileKey) {
    std::string host = Settings().GetProfileString(def.section, def.key, "");
    return host.empty() ? profile.Get(profileKey) : host;
}

struct Fill {
    const char* name;
    std::string value;
};

// The profile's address template with its hosts and values filled in; the
// values are percent-encoded, the hosts go as configured.
std::string Expand(const char* addressKey, std::initializer_list<Fill> values) {
    const std::shared_ptr<const CSiteProfile> profile = CurrentProfile();
    const std::string& pattern = profile->Get(addressKey);
    std::string out;
    size_t at = 0;
    while (at < pattern.size()) {
        size_t open = pattern.find('{', at);
        size_t close = open == std::string::npos ? open : pattern.find('}', open);
        if (close == std::string::npos) {
            out.append(pattern, at, std::string::npos);
            break;
        }
        out.append(pattern, at, open - at);
        const std::string name = pattern.substr(open + 1, close - open - 1);
        at = close + 1;
        if (name == "item-host") out += Host(setting::SiteItemHost, *profile, "host.item");
        else if (name == "time-host") out += Host(setting::SiteTimeHost, *profile, "host.time");
        else if (name == "signin-host") out += Host(setting::SiteSignInHost, *profile, "host.signin");
        else if (name == "offer-host") out += Host(setting::SiteOfferHost, *profile, "host.offer");
        else if (name == "my-host") out += Host(setting::SiteMyHost, *profile, "host.my");
        else {
            bool known = false;
            for (const Fill& f : values)
                if (name == f.name) {
                    out += QueryValue(f.value);
                    known = true;
                }
            // Not one of ours: the braces belong to the address.
            if (!known) out += "{" + name + "}";
        }
    }
    return out;
}

}  // namespace

std::string SignInHost() { return Host(setting::SiteSignInHost, *CurrentProfile(), "host.signin"); }

std::string ItemViewUrl(const std::string& itemNumber) {
    return Expand("address.item", {{"item", itemNumber}});
}

std::string BidHistoryUrl(const std::string& itemNumber) {
    return Expand("address.bid-history", {{"item", itemNumber}});
}

std::string OfficialTimeUrl() { return Expand("address.time", {}); }

std::string SignInPageUrl() { return Expand("address.sign-in-page", {}); }

std::string SignInRequestUrl(const std::string& userId, const std::string& password) {
    return Expand("address.sign-in", {{"user", userId}, {"pass", password}});
}

bool IsSignInRequest(const std::string& url, const std::string& userId) {
    // Everything up to the password, wherever the profile puts it.
    static constexpr char kSlot[] = "BXPASSWORDSLOT";
    const std::string whole = SignInRequestUrl(userId, kSlot);
    const size_t at = whole.find(kSlot);
    return at != std::string::npos && url.compare(0, at, whole, 0, at) == 0;
}

std::string OfferFormUrl(const std::string& itemNumber, const std::string& maxBid) {
    return Expand("address.offer-form", {{"item", itemNumber}, {"bid", maxBid}});
}

std::string OfferConfirmUrl(const std::string& bid, const std::string& itemNumber,
                            const std::string& key, const std::string& userId,
                            const std::string& hiddenPass, const std::string& uiid) {
    return Expand("address.offer-confirm", {{"bid", bid},
                                            {"item", itemNumber},
                                            {"key", key},
                                            {"user", userId},
                                            {"pass", hiddenPass},
                                            {"uiid", uiid}});
}

std::string AccountPageUrl() { return Expand("address.account", {}); }

std::string MaskConfirmSecrets(std::string url) {
    const std::shared_ptr<const CSiteProfile> profile = CurrentProfile();
    const std::string& pattern = profile->Get("address.offer-confirm");
    for (const char* slot : {"{key}", "{pass}"}) {
        // The query name in front of the value: "&key=" in "...&key={key}&...".
        const size_t at = pattern.find(slot);
        if (at == std::string::npos) continue;
        const size_t from = pattern.find_last_of("?&;/", at == 0 ? 0 : at - 1);
        const std::string name = pattern.substr(from == std::string::npos ? 0 : from, at - (from == std::string::npos ? 0 : from));
        if (name.size() < 2) continue;
        for (size_t p = url.find(name); p != std::string::npos; p = url.find(name, p + 1)) {
            const size_t start = p + name.size();
            const size_t end = std::min(url.find('&', start), url.size());
            if (end > start) url.replace(start, end - start, "****");
        }
    }
    return url;
}

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
