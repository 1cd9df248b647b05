// Every file that holds a password, a session or the site's answers to a
// signed-in user is the user's alone (0600), whatever the umask, and one
// that someone made wider is tightened by the next save.

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "ListBuilder.h"
#include "base/AtomicFile.h"
#include "base/Settings.h"
#include "bidding/BidRequest.h"
#include "bidding/SiteHarness.h"
#include "model/ebayDoc.h"
#include "site/CookieStore.h"
#include "support/TempDir.h"

namespace bexora::test {
namespace {

// The widest umask a user may have: nothing the program writes may rely on it.
class PrivateFiles : public ::testing::Test {
protected:
    void SetUp() override { m_oldMask = umask(0); }
    void TearDown() override { umask(m_oldMask); }

    // An existing file that anyone may read and write.
    static void WorldReadable(const std::string& path, const std::string& text) {
        ASSERT_TRUE(AtomicWriteFile(path, text, 0666));
        ASSERT_EQ(FileMode(path), 0666);
    }

    mode_t m_oldMask = 0;
};

TEST_F(PrivateFiles, SettingsFileNewAndTightened) {
    TempDir dir;
    const std::string fresh = dir.File("fresh.ini");
    CSettingsStore a(fresh);
    ASSERT_TRUE(a.WriteString(setting::Password, "c2VjcmV0"));
    EXPECT_EQ(FileMode(fresh), 0600);

    const std::string wide = dir.File("wide.ini");
    WorldReadable(wide, "[Bid Dialog]\r\nUser ID=jo\r\n");
    CSettingsStore b(wide);
    ASSERT_TRUE(b.WriteInt(setting::SavePass, 1));
    EXPECT_EQ(FileMode(wide), 0600);
    EXPECT_EQ(b.GetString(setting::UserId), "jo");  // tightening kept the content
}

TEST_F(PrivateFiles, CookieJarNewAndTightened) {
    TempDir dir;
    const std::string line1 = "127.0.0.1\tFALSE\t/\tFALSE\t4102444800\tsession\tabc";
    const std::string line2 = "127.0.0.1\tFALSE\t/\tFALSE\t4102444800\tother\txyz";
    CCookieStore& jar = CCookieStore::Instance();

    const std::string fresh = dir.File("fresh-cookies.txt");
    jar.SetJarPath(fresh);
    jar.Clear();
    jar.AddCookie(line1);
    EXPECT_EQ(FileMode(fresh), 0600);

    const std::string wide = dir.File("wide-cookies.txt");
    WorldReadable(wide, "# Netscape HTTP Cookie File\n" + line1 + "\n");
    jar.SetJarPath(wide);
    EXPECT_EQ(FileMode(wide), 0600);  // made private as soon as it is read
    jar.AddCookie(line2);  // a new cookie: the jar is saved
    EXPECT_EQ(FileMode(wide), 0600);
    std::string text;
    ASSERT_TRUE(ReadWholeFile(wide, text));
    EXPECT_NE(text.find("\tsession\tabc"), std::string::npos);
    EXPECT_NE(text.find("\tother\txyz"), std::string::npos);
    jar.Clear();
    jar.SetJarPath(dir.File("cookies.txt"));
}

TEST_F(PrivateFiles, ItemListNewAndTightened) {
    TempDir dir;
    CebayDoc doc;
    auto item = std::make_unique<CItem>();
    item->m_strItemNumber = "110012345678";
    item->m_strUserId = "jo";
    item->m_strPassword = "secret";
    doc.AddItem(std::move(item));

    const std::string fresh = dir.File("fresh.bid");
    ASSERT_TRUE(doc.OnSaveDocument(fresh));
    EXPECT_EQ(FileMode(fresh), 0600);

    const std::string wide = dir.File("wide.bid");
    WorldReadable(wide, doc.StoreToBytes());
    CebayDoc again;
    ASSERT_TRUE(again.OnOpenDocument(wide));
    again.AutoSave();
    EXPECT_TRUE(again.LastSaveSucceeded());
    EXPECT_EQ(FileMode(wide), 0600);
    EXPECT_EQ(LoadedItemCount(wide), 1);
}

// The pages of a bid conversation: sign-in answers and the offer pages
// carry the session and the form's password token.
TEST_F(PrivateFiles, BidPagesNewAndTightened) {
    setenv("TZ", "America/Los_Angeles", 1);
    tzset();
    LocalSite site;
    ASSERT_TRUE(site.Ok());
    site.Account("jo", "pw");
    const std::vector<std::string> pages = {"Signin.html", "Signin2.html", "errorMake1.html",
                                            "errorMake2.html", "errormake1st.html"};
    // Half of them exist already with wide rights.
    std::filesystem::create_directories(ResultPagesDir());
    for (size_t i = 0; i < pages.size(); i += 2) WorldReadable(ResultPagesDir() + "/" + pages[i], "old");

    auto bid = [](const std::string& number, const std::string& amount) {
        CItem it;
        it.m_strItemNumber = number;
        it.m_strUserId = "jo";
        it.m_strPassword = "pw";
        it.m_strMyBid = amount;
        it.m_strTitle = "Lamp";
        std::unique_ptr<CBidRequest> got;
        std::atomic<bool> stopping{false};
        // On a thread of its own, as the bid worker: its connections close with it.
        std::thread([&] {
            PlaceBid(std::make_unique<CBidRequest>(it), stopping,
                     [&](std::unique_ptr<CBidRequest> done) { got = std::move(done); });
        }).join();
        return got;
    };
    const std::string number = site.AddItem(R"({"title":"Lamp","price":5,"ends_in":600})");
    auto placed = bid(number, "US $9.00");
    ASSERT_TRUE(placed);
    EXPECT_TRUE(placed->m_bSucceeded) << placed->m_strResult;
    auto refused = bid("1234567890", "US $9.00");  // the offer form refuses an unknown item
    ASSERT_TRUE(refused);
    EXPECT_FALSE(refused->m_bSucceeded);

    for (const std::string& page : pages) EXPECT_EQ(FileMode(ResultPagesDir() + "/" + page), 0600) << page;
}

}  // namespace
}  // namespace bexora::test
