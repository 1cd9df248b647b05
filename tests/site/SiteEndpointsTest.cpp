// Every site address comes from the "Site" section of the settings.

#include "site/SiteEndpoints.h"

#include <gtest/gtest.h>

#include "base/Settings.h"
#include "support/TempDir.h"

using namespace bexora;

TEST(SiteEndpoints, AddressesFollowTheConfiguredHosts) {
    test::TempDir dir;
    SetSettingsPath(dir.File("s.ini"));
    // The real site's hosts until told otherwise.
    EXPECT_EQ(site::ItemViewUrl("123456789012"),
              "http://cgi.ebay.com/ws/eBayISAPI.dll?ViewItem&item=123456789012");

    WriteProfileString("Site", "SiteItemHost", "127.0.0.1:8080");
    WriteProfileString("site", "SITETIMEHOST", "127.0.0.1:8081");
    WriteProfileString("Site", "SiteSignInHost", "127.0.0.1:8443");
    WriteProfileString("Site", "SiteOfferHost", "offer.local");
    WriteProfileString("Site", "SiteMyHost", "my.local");
    EXPECT_EQ(site::ItemViewUrl("1234567890"),
              "http://127.0.0.1:8080/ws/eBayISAPI.dll?ViewItem&item=1234567890");
    EXPECT_EQ(site::OfficialTimeUrl(), "http://127.0.0.1:8081/aw-cgi/eBayISAPI.dll?TimeShow");
    EXPECT_EQ(site::SignInPageUrl(), "https://127.0.0.1:8443/ws/eBayISAPI.dll?SignIn");
    EXPECT_EQ(site::SignInRequestUrl("jo", "pw"),
              "https://127.0.0.1:8443/ws/eBayISAPI.dll?co_partnerid=2&siteid=0&UsingSSL=1"
              "&MfcISAPICommand=SignInWelcome&ru=&pp=&pa1=&pa2=&pa3=&i1=-1&pageType=-1"
              "&userid=jo&pass=pw");
    EXPECT_EQ(site::OfferFormUrl("1234567890", "12.50"),
              "http://offer.local/ws/eBayISAPI.dll?MfcISAPICommand=MakeBid&uiid=-519273846"
              "&co_partnerid=&item=1234567890&maxbid=12.50");
    EXPECT_EQ(site::OfferConfirmUrl("12.50", "1234567890", "k", "jo", "hp", "u"),
              "http://offer.local/ws/eBayISAPI.dll?MfcISAPICommand=MakeBid&javascriptenabled=1"
              "&mode=1&maxbid=12.50&Item=1234567890&key=k&user=jo&pass=hp&uiid=u&quant=1");
    EXPECT_EQ(site::AccountPageUrl(), "http://my.local/ws/eBayISAPI.dll?MyeBay");

    WriteProfileString("Site", "VendorSiteUrl", "https://vendor.local/bexora/");
    EXPECT_EQ(site::VendorUrl(), "https://vendor.local/bexora");
}

TEST(SiteEndpoints, ValuesAreEncodedSoTheyArriveAsTyped) {
    // A password with query syntax in it must not cut the query short.
    EXPECT_EQ(site::QueryValue("a&b=c d#e+f%"), "a%26b%3Dc%20d%23e%2Bf%25");
    EXPECT_EQ(site::QueryValue("US $12.50"), "US%20$12.50");
    EXPECT_EQ(site::QueryValue("$1,234.50"), "$1,234.50");
    EXPECT_EQ(site::QueryValue(std::string("\xe9", 1)), "%E9");
    EXPECT_EQ(site::EncodeForQuery("http://h/ws/eBayISAPI.dll?ViewItem&item=1"),
              "http%3A%2F%2Fh%2Fws%2FeBayISAPI.dll%3FViewItem%26item%3D1");
    EXPECT_EQ(site::EncodeForQuery("<$>"), "%3c%24%3e");
}
