// bexora-cli as a user runs it: exit codes, settings round trips, stdin.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/LocalServer.h"
#include "support/RunProcess.h"
#include "support/TempDir.h"

using bexora::test::RunProcess;

namespace {

const std::string kCli = BEXORA_CLI;

}  // namespace

TEST(Cli, HelpAndMisuse) {
    auto help = RunProcess(kCli, {"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* cmd : {"config get", "config set", "fetch URL", "strip-tags"})
        EXPECT_NE(help.out.find(cmd), std::string::npos) << cmd;

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{}, {"frobnicate"}, {"--bogus", "config"}, {"config"},
          {"config", "get", "Only"}, {"config", "set", "A", "B"}, {"fetch"},
          {"strip-tags", "a", "b"}, {"--settings"}}) {
        auto r = RunProcess(kCli, bad);
        EXPECT_EQ(r.status, 2) << (bad.empty() ? "" : bad[0]);
        EXPECT_FALSE(r.err.empty());
    }
}

TEST(Cli, ConfigRoundTripsThroughTheSettingsFile) {
    bexora::test::TempDir dir;
    const std::string file = dir.File("b.ini");
    auto get = [&](const std::string& s, const std::string& k) {
        return RunProcess(kCli, {"--settings", file, "config", "get", s, k});
    };
    // Defaults of the settings table.
    EXPECT_EQ(get("Update Interval", "Update Min").out, "30\n");
    EXPECT_EQ(get("bid dialog", "bid sec").out, "15\n");

    EXPECT_EQ(RunProcess(kCli, {"--settings", file, "config", "set", "Update Interval",
                                "Update Min", "5"}).status, 0);
    EXPECT_EQ(get("UPDATE INTERVAL", "update min").out, "5\n");
    EXPECT_EQ(RunProcess(kCli, {"--settings", file, "config", "set", "Update Interval",
                                "Update Min", "five"}).status, 2);
    EXPECT_EQ(get("Update Interval", "Update Min").out, "5\n");

    EXPECT_EQ(RunProcess(kCli, {"--settings=" + file, "config", "set", "Site", "SiteItemHost",
                                "127.0.0.1:9"}).status, 0);
    EXPECT_EQ(get("Site", "SiteItemHost").out, "127.0.0.1:9\n");

    // A site profile is taken only when it reads, and kept as a whole path.
    const std::string layout2 = std::string(BEXORA_TEST_DATA) + "/../../data/profiles/layout2.profile";
    const std::string broken = dir.File("broken.profile");
    {
        std::ofstream(broken) << "name = half a profile\nitem.mumble = x\n";
    }
    auto set = [&](const std::string& v) {
        return RunProcess(kCli, {"--settings", file, "config", "set", "Site", "SiteProfile", v});
    };
    auto refused = set(broken);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("line 2: unknown key \"item.mumble\""), std::string::npos) << refused.err;
    EXPECT_EQ(set(layout2).status, 0);
    const std::string chosen = get("Site", "SiteProfile").out;
    EXPECT_EQ(chosen.front(), '/');
    auto shown = RunProcess(kCli, {"--settings", file, "profile", "show"});
    EXPECT_NE(shown.out.find("item.title = Lot:"), std::string::npos) << shown.out;
    EXPECT_EQ(set("builtin").status, 0);
    EXPECT_NE(RunProcess(kCli, {"--settings", file, "profile", "show"}).out.find("item.title = eBay:"),
              std::string::npos);

    auto missing = get("No Such", "Key");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("Key"), std::string::npos);
}

TEST(Cli, StoredPasswordIsMaskedUnlessAskedFor) {
    bexora::test::TempDir dir;
    const std::string file = dir.File("b.ini");
    ASSERT_EQ(RunProcess(kCli, {"--settings", file, "config", "set", "Bid Dialog", "Password",
                                "c2VjcmV0"}).status, 0);
    auto list = RunProcess(kCli, {"--settings", file, "config", "list"});
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.out.find("[Bid Dialog] Password = ********\n"), std::string::npos) << list.out;
    EXPECT_EQ(list.out.find("c2VjcmV0"), std::string::npos);
    auto shown = RunProcess(kCli, {"--settings", file, "config", "list", "--show-passwords"});
    EXPECT_NE(shown.out.find("[Bid Dialog] Password = c2VjcmV0\n"), std::string::npos);
    EXPECT_EQ(RunProcess(kCli, {"--settings", file, "config", "list", "--bogus"}).status, 2);

    // Every command that takes --password says that "-" reads it instead.
    auto help = RunProcess(kCli, {"--help"});
    std::vector<std::string> entries;  // a command's lines: "  name ..." and what follows
    std::istringstream lines(help.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.size() > 2 && line.compare(0, 2, "  ") == 0 && line[2] != ' ')
            entries.push_back(line);
        else if (!entries.empty())
            entries.back() += "\n" + line;
    }
    size_t commands = 0;
    for (const std::string& entry : entries) {
        if (entry.find("--password P") == std::string::npos) continue;
        ++commands;
        EXPECT_NE(entry.find("--password - reads it from standard input"), std::string::npos)
            << entry;
    }
    EXPECT_EQ(commands, 3u);  // place-bid, test-login, bid
}

TEST(Cli, StripTagsIsByteForByte) {
    std::string page = "a<b>c</b>d \xe9\r\n>x<";
    auto r = RunProcess(kCli, {"strip-tags"}, page);
    EXPECT_EQ(r.status, 0);
    // The stray '>' discards the run "d ..." before it; the text ends in a tag.
    EXPECT_EQ(r.out, "a\nc\n>x");

    bexora::test::TempDir dir;
    auto missing = RunProcess(kCli, {"strip-tags", dir.File("none.html")});
    EXPECT_EQ(missing.status, 1);
}

TEST(Cli, FetchPrintsBodyAndResultAddress) {
    bexora::test::LocalServer server;
    server.Server().Get("/page", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("<p>body</p>", "text/html");
    });
    server.Server().Get("/denied", [](const httplib::Request&, httplib::Response& res) {
        res.status = 401;
    });
    server.Start();
    bexora::test::TempDir dir;
    auto r = RunProcess(kCli, {"--settings", dir.File("s.ini"), "fetch", server.Url("/page")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "<p>body</p>");
    EXPECT_EQ(r.err, server.Url("/page") + "\n");

    auto denied = RunProcess(kCli, {"--settings", dir.File("s.ini"), "fetch", server.Url("/denied")});
    EXPECT_EQ(denied.status, 1);
    EXPECT_EQ(denied.out, "");
}
