// bexora-cli check-update and apply-update against the local auction site,
// and the maker's sign-release on a folder of its own.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "UpdateSigning.h"

#include "bidding/SiteHarness.h"
#include "base/Version.h"
#include "support/RunProcess.h"

namespace bexora {
namespace {

class UpdateCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_site.Ok());
        setenv("XDG_DATA_HOME", m_site.Dir().c_str(), 1);
        m_folder = m_site.Dir() + "/app";
        ASSERT_TRUE(MakeDirs(m_folder, 0755));
    }
    // As root the program never updates itself: the command runs as a
    // user who owns the site's folder (settings, certificate, app/).
    test::ProcessResult Cli(std::vector<std::string> args, bool asRoot = false) {
        args.insert(args.begin(), {"--settings", m_site.SettingsFile()});
        args.push_back("--folder");
        args.push_back(m_folder);
        int uid = -1;
        if (geteuid() == 0 && !asRoot) {
            uid = kUser;
            EXPECT_EQ(std::system(("chown -R 4242:4242 " + m_site.Dir()).c_str()), 0);
        }
        return test::RunProcess(BEXORA_CLI, args, "", uid);
    }
    static constexpr int kUser = 4242;
    void Publish(const std::string& json) { m_site.Control("POST", "/_control/update", json); }
    std::string Read(const std::string& name) {
        std::string s;
        return ReadWholeFile(m_folder + "/" + name, s) ? s : "<missing>";
    }

    test::LocalSite m_site;
    std::string m_folder;
};

TEST_F(UpdateCliTest, CheckUpdatePrintsTheOfferedVersion) {
    Publish(R"({"version":"2.0.0.0"})");
    auto none = Cli({"check-update"});
    EXPECT_EQ(none.status, 0) << none.err;
    EXPECT_EQ(none.out, "No update is offered.\n");

    Publish(R"({"version":"2.1.0.0"})");
    auto offered = Cli({"check-update"});
    EXPECT_EQ(offered.status, 0);
    EXPECT_EQ(offered.out, "Version 2.1.0.0 is offered.\n");

    // Run as root it says to use the package manager instead.
    if (geteuid() == 0) {
        auto root = Cli({"check-update"}, true);
        EXPECT_EQ(root.status, 1);
        EXPECT_NE(root.err.find("package manager"), std::string::npos) << root.err;
    }

    m_site.Fault(R"({"path":"/vendor/update.txt","status":500})");
    auto down = Cli({"check-update"});
    EXPECT_EQ(down.status, 1);
    EXPECT_EQ(down.out, "No update is offered.\n");
    EXPECT_NE(down.err.find("/vendor/update.txt"), std::string::npos) << down.err;
}

TEST_F(UpdateCliTest, ApplyUpdateReplacesTheFilesAndReportsEachOne) {
    Publish(R"({"version":"2.1.0.0","files":[{"name":"bexora","content":"new"},
                {"name":"notes.txt","content":"twelve bytes"}]})");
    ASSERT_TRUE(AtomicWriteFile(m_folder + "/bexora", "old", 0755));
    auto r = Cli({"apply-update"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Updating to version 2.1.0.0 in " + m_folder +
                         "\n"
                         "Downloading file 1 of 2\n"
                         "Downloaded 3 bytes of 3 bytes\n"
                         "Downloading file 2 of 2\n"
                         "Downloaded 12 bytes of 12 bytes\n"
                         "Update completed successfully!\n"
                         "Please restart the program now ...\n");
    EXPECT_EQ(Read("bexora"), "new");
    EXPECT_EQ(Read("bexora.bak"), "old");
    struct stat st {};
    ASSERT_EQ(stat((m_folder + "/bexora").c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);
    SetSettingsPath(m_site.SettingsFile());
    EXPECT_EQ(Settings().GetInt(setting::SettingsVersion), 2100);
}

TEST_F(UpdateCliTest, AFailedDownloadEndsWithStatusOne) {
    Publish(R"({"version":"2.1.0.0","files":[{"name":"big.dat","content":")" + std::string(50000, 'b') +
            R"("}]})");
    m_site.Fault(R"({"path":"/vendor/files/big.dat","drop_after_bytes":1000})");
    auto r = Cli({"apply-update"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Download failed. Please try again later.\n"), std::string::npos) << r.out;
    EXPECT_EQ(Read("big.dat"), "<missing>");
    EXPECT_EQ(Read("bexora.tmp"), "<missing>");

    EXPECT_EQ(Cli({"apply-update", "--bogus"}).status, 2);
}

TEST_F(UpdateCliTest, TwoUpdatersAtOnceLeaveTheProgramInPlace) {
    Publish(R"({"version":"2.1.0.0","files":[{"name":"bexora","content":"new"}]})");
    ASSERT_TRUE(AtomicWriteFile(m_folder + "/bexora", "old", 0755));
    m_site.Fault(R"({"path":"/vendor/files/bexora","latency_ms":1500,"count":1})");
    test::ProcessResult first;
    std::thread t([&] { first = Cli({"apply-update"}); });
    ASSERT_TRUE(m_site.WaitForRequest("/vendor/update.txt.sig"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the first holds the lock by now
    auto second = Cli({"apply-update"});
    t.join();
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.out.find("Another update"), std::string::npos) << second.out;
    EXPECT_EQ(first.status, 0) << first.out << first.err;
    EXPECT_EQ(Read("bexora"), "new");
    EXPECT_EQ(Read("bexora.bak"), "old");
}

TEST_F(UpdateCliTest, SignReleaseSignsAFolderTheProgramAccepts) {
    // A maker's folder: update.txt and the files, signed with the site's
    // test key, then served by the site as its own update folder.
    const std::string dir = m_site.Dir() + "/release";
    ASSERT_TRUE(MakeDirs(dir));
    ASSERT_TRUE(AtomicWriteFile(dir + "/key.pem", auction::kTestUpdateKeyPem, 0600));
    auto pub = test::RunProcess(SIGN_RELEASE, {"pubkey", dir + "/key.pem"});
    EXPECT_EQ(pub.out, std::string(auction::kTestUpdatePublicKey) + "\n");
    const std::string base = "https://127.0.0.1:" + std::to_string(m_site.Site().HttpsPort()) + "/vendor/files/";
    ASSERT_TRUE(AtomicWriteFile(dir + "/update.txt", "[update]\r\nVersion=2.2.0.0\r\nNotes\r\nBase=" + base +
                                                         "\r\nNumberOfFiles=1\r\nF1=bexora\r\nH1=stale 1\r\n"));
    ASSERT_TRUE(AtomicWriteFile(dir + "/bexora", "signed binary"));
    auto sign = test::RunProcess(SIGN_RELEASE, {"sign", dir + "/key.pem", dir});
    ASSERT_EQ(sign.status, 0) << sign.err;
    std::string text, sig;
    ASSERT_TRUE(ReadWholeFile(dir + "/update.txt", text));
    ASSERT_TRUE(ReadWholeFile(dir + "/update.txt.sig", sig));
    EXPECT_EQ(text.find("stale"), std::string::npos);
    EXPECT_EQ(text.find('\r'), std::string::npos);

    auction::Json j = auction::Json::Object();
    j["raw"] = text;
    j["files"] = auction::Json::Array();
    auction::Json f = auction::Json::Object();
    f["name"] = "bexora";
    f["content"] = "signed binary";
    j["files"].Push(f);
    Publish(j.Dump());
    // The site signs what it serves with the same key, so its signature is
    // the tool's.
    EXPECT_EQ(auction::TestUpdateSignature(text), sig);
    ASSERT_TRUE(AtomicWriteFile(m_folder + "/bexora", "old", 0755));
    auto r = Cli({"apply-update"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(Read("bexora"), "signed binary");

    // A key that is not an Ed25519 key, or a file the folder lacks: no signature.
    ASSERT_TRUE(AtomicWriteFile(dir + "/bad.pem", "not a key"));
    EXPECT_EQ(test::RunProcess(SIGN_RELEASE, {"sign", dir + "/bad.pem", dir}).status, 1);
    std::remove((dir + "/bexora").c_str());
    EXPECT_EQ(test::RunProcess(SIGN_RELEASE, {"sign", dir + "/key.pem", dir}).status, 1);
}

TEST_F(UpdateCliTest, VersionComesFromTheProject) {
    auto r = test::RunProcess(BEXORA_CLI, {"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("Bexora ") + kProgramVersion + "\n");
}

}  // namespace
}  // namespace bexora
