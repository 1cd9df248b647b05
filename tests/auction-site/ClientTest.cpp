// The program's own site access against the running local site: HTTPS with
// the site's certificate, item refreshes of every kind of listing with the
// site clock skewed, and bexora-cli refreshing a saved list.

#include <gtest/gtest.h>

#include <cstdio>

#include "SiteFixture.h"
#include "base/Clock.h"
#include "model/ebayDoc.h"
#include "site/PageFetch.h"
#include "site/SiteEndpoints.h"
#include "site/SiteTime.h"
#include "support/RunProcess.h"

using namespace bexora;

namespace {

class ClientTest : public SiteTest {
protected:
    void SetUp() override {
        SiteTest::SetUp();
        ForgetClockOffset();
    }
    void TearDown() override {
        ForgetClockOffset();
        SiteTest::TearDown();
    }
    // Refreshes an item with the given number the way the list does.
    CItem Refresh(const std::string& number, bool* ok = nullptr) {
        CItem item;
        item.m_strItemNumber = number;
        bool result = item.UpdateFromSite();
        if (ok) *ok = result;
        return item;
    }
};

}  // namespace

TEST_F(ClientTest, SignInPageOverHttpsWithTheSitesCertificate) {
    std::string page;
    EXPECT_EQ(FetchPage(site::SignInPageUrl(), page), site::SignInPageUrl());
    EXPECT_NE(page.find("Sign"), std::string::npos);

    // Without the CA file the certificate is not trusted: nothing is read.
    Settings().WriteString(setting::SiteCaFile, "");
    page.clear();
    EXPECT_EQ(FetchPage(site::SignInPageUrl(), page), site::SignInPageUrl());
    EXPECT_TRUE(page.empty());
}

TEST_F(ClientTest, CaFileIsTrustedBesidesTheSystemCertificates) {
    // A second site stands for the public web: its certificate is the only
    // one in this system's bundle file.
    bx::Site publicSite(std::nullopt);
    bx::Server publicServer(publicSite);
    bx::ServerOptions o;
    o.threads = 4;
    std::string error;
    ASSERT_TRUE(publicServer.Start(o, &error)) << error;
    SetSystemCaLocations(publicServer.CertPath(), "");
    const std::string publicPage = publicServer.HttpsBase() + "/ws/eBayISAPI.dll?SignIn";

    // With the local site's CA file set, both are trusted.
    std::string page;
    EXPECT_EQ(FetchPage(publicPage, page), publicPage);
    EXPECT_NE(page.find("Sign"), std::string::npos);
    page.clear();
    EXPECT_EQ(FetchPage(site::SignInPageUrl(), page), site::SignInPageUrl());
    EXPECT_NE(page.find("Sign"), std::string::npos);

    // Without it only the system's.
    Settings().WriteString(setting::SiteCaFile, "");
    page.clear();
    FetchPage(publicPage, page);
    EXPECT_NE(page.find("Sign"), std::string::npos);
    page.clear();
    FetchPage(site::SignInPageUrl(), page);
    EXPECT_TRUE(page.empty());

    SetSystemCaLocations("", "");
    CloseThreadConnections();
    publicServer.Stop();
}

TEST_F(ClientTest, EveryKindOfListingRefreshesWithASkewedSiteClock) {
    // The site's clock runs an hour ahead of ours: the measured offset is
    // about -3600 and time left still comes out as the site counts it.
    Control("POST", "/_control/clock", "{\"skew\":3600}");
    std::string running = AddItem(R"({"title":"Leica M3","price":300,"ends_in":7150,"shipping":15})");
    Competitor(running, "ann", 350);
    Competitor(running, "bob", 320);
    std::string reserve = AddItem(R"({"title":"Old map","price":5,"ends_in":90000,"reserve":80})");
    std::string multi = AddItem(R"({"title":"Blank tapes","price":2,"ends_in":600,"quantity":12})");
    std::string fixed = AddItem(R"({"title":"Film 120","price":9.5,"kind":"fixed","quantity":5})");
    std::string live = AddItem(R"({"title":"Estate lot","price":100,"kind":"live","ends_in":5000})");

    bool ok = false;
    CItem a = Refresh(running, &ok);
    ASSERT_TRUE(ok);
    EXPECT_NEAR(static_cast<double>(CachedClockOffset()), -3600.0, 3.0);
    EXPECT_EQ(a.m_strTitle, "Leica M3");
    EXPECT_EQ(a.m_strBidCount, "2");
    EXPECT_EQ(a.m_strCurrentPrice, "$325.00");  // bob's 320 plus one increment
    EXPECT_EQ(a.m_strShipping, "$15.00");
    EXPECT_EQ(a.m_strTimeLeft.substr(0, 3), "01:");  // 1:59, not 0:59 or 2:59
    EXPECT_EQ(a.m_bUpdateFailed, 0);

    CItem r = Refresh(reserve);
    EXPECT_EQ(r.m_strTimeLeft.substr(0, 4), "1d 0");
    EXPECT_EQ(r.m_strBidCount, "0");
    CItem m = Refresh(multi);
    EXPECT_EQ(m.m_strQuantity, "12");
    CItem f = Refresh(fixed);
    EXPECT_EQ(f.m_strBidCount, "BUY");
    CItem l = Refresh(live);
    EXPECT_EQ(l.m_strBidCount, "LIVE");

    // An unknown number marks the item failed and changes nothing else.
    CItem missing;
    missing.m_strItemNumber = "999999999999";
    missing.m_strTitle = "kept";
    missing.m_tEndTime = 12345;
    EXPECT_FALSE(missing.UpdateFromSite());
    EXPECT_EQ(missing.m_bUpdateFailed, 1);
    EXPECT_EQ(missing.m_tEndTime, 12345);
    EXPECT_EQ(missing.m_strTitle, "kept");
}

TEST_F(ClientTest, EndedListingReadsEndedAndIsNotFetchedAgain) {
    std::string n = AddItem(R"({"title":"Clock","price":10,"ends_in":1})");
    Control("POST", "/_control/clock", "{\"advance\":5}");
    CItem item = Refresh(n);
    EXPECT_EQ(item.m_strTimeLeft, "Ended");
    auto before = Control("GET", "/_control/log", "");
    EXPECT_TRUE(item.UpdateFromSite());
    auto after = Control("GET", "/_control/log", "");
    EXPECT_EQ(before.Items().size(), after.Items().size());
}

TEST_F(ClientTest, CliRefreshesAndSavesAList) {
    std::string a = AddItem(R"({"title":"Seiko","price":40,"ends_in":3000})");
    std::string b = AddItem(R"({"title":"Omega","price":400,"ends_in":6000})");
    const std::string file = m_dir.File("list.bid");
    {
        CebayDoc doc;
        for (const std::string& n : {a, b, std::string("999999999999")}) {
            auto item = std::make_unique<CItem>();
            item->m_strItemNumber = n;
            doc.AddItem(std::move(item));
        }
        ASSERT_TRUE(doc.OnSaveDocument(file));
    }
    auto r = bexora::test::RunProcess(BEXORA_CLI, {"--settings", Settings().Path(), "refresh", file});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(a + "\t$40.00\t0\t00:"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(b + "\t$400.00\t0\t01:"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("999999999999\tN/A\tN/A\tN/A\tfailed\n"), std::string::npos) << r.out;

    CebayDoc saved;
    ASSERT_TRUE(saved.OnOpenDocument(file));
    ASSERT_EQ(saved.Items().size(), 3u);
    EXPECT_EQ(saved.Items()[1]->m_strTitle, "Omega");

    auto one = bexora::test::RunProcess(BEXORA_CLI, {"--settings", Settings().Path(), "refresh", file, a, "42"});
    EXPECT_EQ(one.status, 1);
    EXPECT_NE(one.err.find("42"), std::string::npos);
    EXPECT_EQ(std::count(one.out.begin(), one.out.end(), '\n'), 1);
}
