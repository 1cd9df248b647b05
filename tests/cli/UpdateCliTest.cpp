// bexora-cli check-update and apply-update against the local auction site.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "bidding/SiteHarness.h"
#include "support/RunProcess.h"

namespace bexora {
namespace {

class UpdateCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_site.Ok());
        setenv("XDG_DATA_HOME", m_site.Dir().c_str(), 1);
        m_folder = m_site.Dir() + "/app";
        ASSERT_TRUE(MakeDirs(m_folder));
    }
    test::ProcessResult Cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--settings", m_site.SettingsFile()});
        args.push_back("--folder");
        args.push_back(m_folder);
        return test::RunProcess(BEXORA_CLI, args);
    }
    void Publish(const std::string& json) { m_site.Control("POST", "/_control/update", json); }
    std::string Read(const std::string& name) {
        std::string s;
        return ReadWholeFile(m_folder + "/" + name, s) ? s : "<missing>";
    }

    test::LocalSite m_site;
    std::string m_folder;
};

TEST_F(UpdateCliTest, CheckUpdatePrintsTheOfferedVersion) {
    Publish(R"({"version":"1.0.9.9"})");
    auto none = Cli({"check-update"});
    EXPECT_EQ(none.status, 0) << none.err;
    EXPECT_EQ(none.out, "No update is offered.\n");

    Publish(R"({"version":"1.1.0.0"})");
    auto offered = Cli({"check-update"});
    EXPECT_EQ(offered.status, 0);
    EXPECT_EQ(offered.out, "Version 1.1.0.0 is offered.\n");

    m_site.Fault(R"({"path":"/vendor/update.txt","status":500})");
    auto down = Cli({"check-update"});
    EXPECT_EQ(down.status, 1);
    EXPECT_EQ(down.out, "No update is offered.\n");
    EXPECT_NE(down.err.find("/vendor/update.txt"), std::string::npos) << down.err;
}

TEST_F(UpdateCliTest, ApplyUpdateReplacesTheFilesAndReportsEachOne) {
    Publish(R"({"version":"1.1.0.0","files":[{"name":"bexora","content":"new"},
                {"name":"notes.txt","content":"twelve bytes"}]})");
    ASSERT_TRUE(AtomicWriteFile(m_folder + "/bexora", "old", 0755));
    auto r = Cli({"apply-update"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Updating to version 1.1.0.0 in " + m_folder +
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
    EXPECT_EQ(Settings().GetInt(setting::SettingsVersion), 1100);
}

TEST_F(UpdateCliTest, AFailedDownloadEndsWithStatusOne) {
    Publish(R"({"version":"1.1.0.0","files":[{"name":"big.dat","content":")" + std::string(50000, 'b') +
            R"("}]})");
    m_site.Fault(R"({"path":"/vendor/files/big.dat","drop_after_bytes":1000})");
    auto r = Cli({"apply-update"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Download failed. Please try again later.\n"), std::string::npos) << r.out;
    EXPECT_EQ(Read("big.dat"), "<missing>");
    EXPECT_EQ(Read("bexora.tmp"), "<missing>");

    EXPECT_EQ(Cli({"apply-update", "--bogus"}).status, 2);
}

}  // namespace
}  // namespace bexora
