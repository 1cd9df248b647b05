// bexora-cli parse-page and parse-date as scripts run them: the exact
// output, the options, standard input, and the user's settings left alone.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "support/RunProcess.h"
#include "support/TempDir.h"

using bexora::test::RunProcess;

namespace {

const std::string kCli = BEXORA_CLI;
const std::string kPages = std::string(BEXORA_TEST_DATA) + "/pages/";

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class SiteCli : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "America/Los_Angeles", 1);
        // Never the user's own settings file.
        m_settings = m_dir.File("Bexora.ini");
        setenv("BEXORA_SETTINGS", m_settings.c_str(), 1);
    }
    void TearDown() override { unsetenv("BEXORA_SETTINGS"); }

    bexora::test::TempDir m_dir;
    std::string m_settings;
};

}  // namespace

TEST_F(SiteCli, ParsePagePrintsTheResultAndEveryField) {
    // Nov-11-06 12:00:00 PST; the local clock an hour ahead of the site.
    auto r = RunProcess(kCli, {"parse-page", "--now", "1163278800", "--offset", "3600",
                               "--user-id", "sniper_ann", kPages + "auction-running.html"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "result=true\n"
              "m_strItemNumber=110012345678\n"
              "m_strTitle=Vintage Leica M3 body & Summicron 50mm lens\n"
              "m_strCurrentPrice=$1,234.50\n"
              "m_strShipping=$25.00\n"
              "m_strQuantity=1\n"
              "m_strBidCount=17\n"
              "m_strTimeLeft=2d 07:45:00\n"
              "m_strMyBid=N/A\n"
              "m_bHighBidder=1\n"
              "m_strUserId=\n"
              "m_strPassword=\n"
              "m_nBidQuantity=0\n"
              "m_tEndTime=1163475910\n"
              "m_bChanged=1\n"
              "m_bFresh=0\n"
              "m_strMessages=\n"
              "m_strReserved=\n"
              "m_strBidGroup=N/A\n"
              "m_strMinBid=US $1,259.50\n"
              "m_bBidPending=0\n"
              "m_tBidTime=0\n"
              "m_bNotified=0\n"
              "m_bUpdateFailed=0\n"
              "m_strSeller=camera_house\n"
              "m_strFeedback=1532\n"
              "m_strPercent=99.8\n"
              "m_strNote=\n");
    // --user-id is for this run only: nothing was written.
    EXPECT_EQ(Slurp(m_settings), "");
}

TEST_F(SiteCli, ParsePageFromStandardInput) {
    // A title holding a backslash and (from a tag) a line feed prints escaped.
    const std::string page =
        "<title>eBay: C:\\temp<br>lamp (item 99 end time Nov-11-06 14:23:45 PST)</title>"
        "<td>Current bid:</td><td>US $1.00</td><a>View seller's other items</a>";
    auto r = RunProcess(kCli, {"parse-page", "--now=1163283825", "--offset=0"}, page);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(0, r.out.find("m_strShipping")),
              "result=true\nm_strItemNumber=99\nm_strTitle=C:\\\\temp\\nlamp\n"
              "m_strCurrentPrice=$1.00\n");
    EXPECT_NE(r.out.find("\nm_strTimeLeft=Ended\n"), std::string::npos);

    // A page that is no item page: false, fields as far as they were read.
    r = RunProcess(kCli, {"parse-page", "--offset", "0", "-"}, "<html>Invalid Item</html>");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("result=false\nm_strItemNumber=N/A\nm_strTitle=N/A\n", 0), 0u);
    size_t lines = 0;
    for (char c : r.out) lines += c == '\n';
    EXPECT_EQ(lines, 28u);
}

TEST_F(SiteCli, ParsePageMisuse) {
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"parse-page", "--now"}, {"parse-page", "--now", "soon"},
          {"parse-page", "--offset", "1h"}, {"parse-page", "--user-id"},
          {"parse-page", "--frob", "x"}, {"parse-page", "a.html", "b.html"}, {"parse-date"}}) {
        auto r = RunProcess(kCli, bad);
        EXPECT_EQ(r.status, 2) << bad.back();
        EXPECT_FALSE(r.err.empty());
    }
    auto missing = RunProcess(kCli, {"parse-page", "--offset", "0", m_dir.File("none.html")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.out.empty());

    auto help = RunProcess(kCli, {"--help"});
    EXPECT_NE(help.out.find("parse-page [--now EPOCH]"), std::string::npos);
    EXPECT_NE(help.out.find("parse-date TEXT"), std::string::npos);
}

TEST_F(SiteCli, ParseDateUsesTheZoneOfTz) {
    EXPECT_EQ(RunProcess(kCli, {"parse-date", "Nov-11-06 14:23:45 PST"}).out, "1163283825\n");
    EXPECT_EQ(RunProcess(kCli, {"parse-date", "Nov", "11,", "2006", "14:23:45", "PST"}).out,
              "1163283825\n");
    EXPECT_EQ(RunProcess(kCli, {"parse-date", "tomorrow"}).out, "0\n");
    setenv("TZ", "UTC", 1);
    EXPECT_EQ(RunProcess(kCli, {"parse-date", "11-Nov-06 14:23:45 BST"}).out, "1163255025\n");
}
