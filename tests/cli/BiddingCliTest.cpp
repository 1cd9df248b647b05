// bexora-cli place-bid and test-login against the local auction site.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "bidding/BidRequest.h"
#include "bidding/SiteHarness.h"
#include "site/SiteEndpoints.h"
#include "support/RunProcess.h"

namespace bexora {
namespace {

class BiddingCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_site.Ok());
        // The program's cookie jar goes into the test's folder.
        setenv("XDG_DATA_HOME", m_site.Dir().c_str(), 1);
        m_site.Account("pat", "p&ss word");
    }
    test::ProcessResult Cli(std::vector<std::string> args, const std::string& input = "") {
        args.insert(args.begin(), {"--settings", m_site.SettingsFile()});
        return test::RunProcess(BEXORA_CLI, args, input);
    }
    test::LocalSite m_site;
};

TEST_F(BiddingCliTest, PlaceBidPrintsTheOutcome) {
    std::string item = m_site.AddItem(R"({"title":"Lamp","price":5})");
    auto ok = Cli({"place-bid", item, "US $12.50", "--user", "pat", "--password", "p&ss word"});
    EXPECT_EQ(ok.status, 0) << ok.err;
    std::string view = site::ItemViewUrl(item);
    EXPECT_EQ(ok.out, "succeeded=true\nresult=You are the current high bidder.\nurl=" + view +
                          "&ru=" + site::EncodeForQuery(view) + "\n");
    struct stat st {};
    ASSERT_EQ(stat((ResultPagesDir() + "/errorMake2.html").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    auto refused = Cli({"place-bid", item, "US $14.00", "--user=pat", "--password=wrong"});
    EXPECT_EQ(refused.status, 0);
    EXPECT_EQ(refused.out.substr(0, refused.out.find("url=")),
              "succeeded=false\nresult=Username and Password is invalid.\n");
}

TEST_F(BiddingCliTest, TestLoginPrintsTheMessage) {
    auto good = Cli({"test-login", "--user", "pat", "--password", "p&ss word"});
    EXPECT_EQ(good.status, 0);
    EXPECT_EQ(good.out, "Username and password are OK.\n");
    auto bad = Cli({"test-login", "--user", "pat", "--password", "p&ss"});
    EXPECT_EQ(bad.out, "Your sign in information is not valid\n");
    // The password can stay off the command line.
    auto piped = Cli({"test-login", "--user", "pat", "--password", "-"}, "p&ss word\n");
    EXPECT_EQ(piped.out, "Username and password are OK.\n");
}

TEST_F(BiddingCliTest, MisuseIsRefused) {
    EXPECT_EQ(Cli({"place-bid", "1234567890", "--user", "pat", "--password", "x"}).status, 2);
    EXPECT_EQ(Cli({"place-bid", "1234567890", "US $1.00", "--user", "pat"}).status, 2);
    EXPECT_EQ(Cli({"test-login", "--user"}).status, 2);
    EXPECT_EQ(Cli({"test-login", "--user", "a", "--password", "b", "extra"}).status, 2);
    EXPECT_EQ(m_site.CountLog("SignIn"), 0u);
}

}  // namespace
}  // namespace bexora
