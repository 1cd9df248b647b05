// The desktop program as a list's owner, with bexora-cli and a second
// bexora as real processes: commands reach the open window, snipes set up
// from a terminal are sent once, and a list is run by one program at a time.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>

#include "app/ChildFrame.h"
#include "app/MainFrame.h"
#include "app/Welcome.h"
#include "app/ebayApp.h"
#include "base/AtomicFile.h"
#include "base/Prompt.h"
#include "base/Settings.h"
#include "base/ui/DialogRunner.h"
#include "bidding/SiteHarness.h"
#include "browserui/BrowserTestSupport.h"
#include "listview/ItemListCore.h"
#include "model/ebayDoc.h"
#include "site/SiteEndpoints.h"
#include "site/SiteTime.h"
#include "support/RunProcess.h"

namespace bexora::test {
namespace {

using namespace std::chrono_literals;

class ListOwnerShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        ASSERT_TRUE(m_site.Ok());
        // Sockets of their own: ctest runs these tests side by side, and a
        // desktop program that finds another's socket hands over to it.
        const std::string runtime = m_site.Dir() + "/run";
        mkdir(runtime.c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        // bexora-cli measures the site's clock; so does the window here.
        FixClockOffset(std::nullopt);
        m_site.Account("pat", "secret");
        WriteProfileString("Homepage", "left panel", "about:blank");
        WriteProfileInt("Program Start", "First Run", 0);
        WriteProfileInt("Program Start", "Load Save", 0);
        WriteProfileString("Program Start", "Work Dir", m_site.WorkFile(""));
        CWelcome::s_updateStep = [](QWidget*,
                                    const std::function<void(const std::string&)>& status) {
            status("You are using the lastest version");
            return true;
        };
        SetDialogRunner([](QDialog& d) {
            if (auto* splash = dynamic_cast<CWelcome*>(&d))
                return CWelcome::s_updateStep(splash, [](const std::string&) {})
                           ? int(QDialog::Accepted)
                           : int(QDialog::Rejected);
            return int(QDialog::Rejected);
        });
        TakeShownPrompts();
    }
    void TearDown() override {
        m_app.reset();
        SetDialogRunner({});
        TakeShownPrompts();
    }

    CMainFrame& Start(QStringList args = {}) {
        args.prepend("bexora");
        args << "--settings" << QString::fromStdString(m_site.SettingsFile());
        m_app = std::make_unique<CebayApp>();
        EXPECT_TRUE(m_app->InitInstance(args));
        return *m_app->MainFrame();
    }

    std::string WriteList(const std::string& name) {
        CebayDoc doc;
        const std::string path = m_site.WorkFile(name);
        EXPECT_TRUE(doc.OnSaveDocument(path));
        return path;
    }

    // bexora-cli as a process; this thread keeps the windows (and so the
    // owner's answers) going meanwhile.
    ProcessResult Cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--settings", m_site.SettingsFile()});
        auto f = std::async(std::launch::async, [args] { return RunProcess(BEXORA_CLI, args); });
        Pump([&] { return f.wait_for(0s) == std::future_status::ready; }, 120000);
        return f.get();
    }
    static bool Pump(const std::function<bool()>& done, int ms = 20000) {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > ms) return false;
            QTest::qWait(20);
        }
        return true;
    }
    static std::string LockText(const std::string& list) {
        std::string text;
        ReadWholeFile(list + ".lock", text);
        return text;
    }

    LocalSite m_site;
    std::unique_ptr<CebayApp> m_app;
};

TEST_F(ListOwnerShellTest, TerminalCommandsReachTheOpenWindowAndSnipesFireOnce) {
    const std::string list = WriteList("desk.bid");
    CMainFrame& frame = Start({QString::fromStdString(list)});
    ASSERT_EQ(frame.Children().size(), 1u);
    CChildFrame* child = frame.Children().front();
    EXPECT_EQ(LockText(list), "bexora (process " + std::to_string(getpid()) + ")\nBXR2\n");

    const std::string sniped =
        m_site.AddItem("{\"title\":\"Enamel jug\",\"price\":5,\"ends_in\":12}");
    const std::string cancelled =
        m_site.AddItem("{\"title\":\"Tin tray\",\"price\":5,\"ends_in\":12}");
    auto add = Cli({"add", list, sniped, cancelled});
    ASSERT_EQ(add.status, 0) << add.out << add.err;
    EXPECT_EQ(child->ListPane()->Core().GetRowCount(), 2)
        << "the window shows what the command added";
    for (const std::string& item : {sniped, cancelled}) {
        auto bid = Cli({"bid", list, item, "--max", "20", "--before", "0:0:3", "--user", "pat",
                        "--password", "secret"});
        ASSERT_EQ(bid.status, 0) << bid.out << bid.err;
    }
    ASSERT_EQ(Cli({"cancel", list, cancelled}).status, 0);
    ASSERT_EQ(Cli({"note", list, sniped, "from the terminal"}).status, 0);
    // Items whose pages the site answers slowly, added from the terminal:
    // the pages are read off the window's UI thread, the window goes on.
    const std::string slow = m_site.AddItem("{\"title\":\"Slow kettle\",\"price\":5,\"ends_in\":3600}");
    m_site.Fault("{\"contains\":\"item=" + slow + "\",\"latency_ms\":2000,\"count\":1}");
    const std::string listing = m_site.WorkFile("listing.html");
    ASSERT_TRUE(AtomicWriteFile(listing, "<a href=\"" + site::ItemViewUrl(slow) + "\">Slow kettle</a>"));
    int beats = 0;
    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout, [&] { ++beats; });
    beat.start(50);
    auto slowAdd = Cli({"add-page", list, listing, "--address", site::HomeUrl(), "--slow"});
    beat.stop();
    EXPECT_EQ(slowAdd.status, 0) << slowAdd.out << slowAdd.err;
    EXPECT_GE(beats, 25) << "the window went on while the page was read";
    EXPECT_GE(child->ListPane()->Core().FindRow(slow), 0);
    auto run = Cli({"run", list, "--for", "1"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("is open in bexora (process "), std::string::npos) << run.err;

    // The window's own saves keep what the commands set up.
    CebayDoc saved;
    ASSERT_TRUE(saved.OnOpenDocument(list));
    ASSERT_NE(saved.FindItem(sniped), nullptr);
    EXPECT_TRUE(saved.FindItem(sniped)->m_bBidPending);
    EXPECT_FALSE(saved.FindItem(cancelled)->m_bBidPending);
    EXPECT_EQ(saved.FindItem(sniped)->m_strNote, "from the terminal");

    EXPECT_TRUE(Pump([&] { return m_site.CountLog(kConfirmStep) >= 1; }, 30000));
    QTest::qWait(3000);  // a second sending would come within the tick after
    EXPECT_EQ(m_site.CountLog(kConfirmStep), 1u);
    // The snipe lands 3 s before the end, to the millisecond: the wait above
    // ends just about at the end, so the site may not have closed it yet.
    Pump([&] { return m_site.Control("GET", "/_control/items/" + sniped).Get("ended")->AsBool(); }, 5000);
    EXPECT_EQ(m_site.Control("GET", "/_control/items/" + sniped).Get("winner")->AsString(), "pat");

    // Closed, the list is free: commands work on the file again.
    child->close();
    Pump([&] { return frame.Children().empty(); });
    EXPECT_EQ(LockText(list), "");
    auto note = Cli({"note", list, sniped, "after"});
    EXPECT_EQ(note.status, 0) << note.err;
}

TEST_F(ListOwnerShellTest, AListARunHasOpensOnlyOnceTheRunEnds) {
    const std::string list = WriteList("served.bid");
    auto run = std::async(std::launch::async, [&] {
        return RunProcess(BEXORA_CLI,
                          {"--settings", m_site.SettingsFile(), "run", list, "--for", "4"});
    });
    ASSERT_TRUE(Pump([&] { return LockText(list).find("bexora-cli run") != std::string::npos; }));
    // Started on the list, the program offers to open it once the run is
    // done (yes), and has an empty list to stand in for it meanwhile.
    QueuePromptAnswer(PromptAnswer::Yes);
    CMainFrame& frame = Start({QString::fromStdString(list)});
    ASSERT_EQ(frame.Children().size(), 1u);
    const std::string standIn = frame.Children()[0]->Doc().GetPathName();
    EXPECT_NE(standIn, list);
    EXPECT_EQ(TakeShownPrompts().size(), 1u);

    QueuePromptAnswer(PromptAnswer::No);
    EXPECT_EQ(frame.OpenDocumentFile(list), nullptr);
    auto shown = TakeShownPrompts();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("is open in bexora-cli run (process "), std::string::npos) << shown[0];

    auto opened = [&] {
        for (CChildFrame* c : frame.Children())
            if (c->Doc().GetPathName() == list) return true;
        return false;
    };
    EXPECT_TRUE(Pump(opened, 20000)) << "opened once the run let it go";
    // The stand-in went with its file and its place in the recent files.
    EXPECT_EQ(frame.Children().size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(standIn));
    for (int i = 0; i < frame.RecentFiles().GetSize(); ++i) EXPECT_NE(frame.RecentFiles()[i], standIn);
    EXPECT_EQ(run.get().status, 0);
    EXPECT_EQ(LockText(list), "bexora (process " + std::to_string(getpid()) + ")\nBXR2\n");
}

TEST_F(ListOwnerShellTest, ASecondBexoraHandsItsListToTheFirst) {
    CMainFrame& frame = Start();
    const std::string list = WriteList("handed.bid");
    auto second = std::async(std::launch::async, [&] {
        return RunProcess(BEXORA_GUI, {"--settings", m_site.SettingsFile(), list});
    });
    ASSERT_TRUE(Pump([&] { return second.wait_for(0s) == std::future_status::ready; }, 60000));
    auto r = second.get();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Pump([&] {
        for (CChildFrame* c : frame.Children())
            if (c->Doc().GetPathName() == list) return true;
        return false;
    }));
}

TEST_F(ListOwnerShellTest, TheListViewProgramIsAnOwnerToo) {
    const std::string list = WriteList("viewed.bid");
    const std::string item = m_site.AddItem("{\"title\":\"Brass bell\",\"price\":5,\"ends_in\":3600}");
    auto listView = [&](int seconds) {
        return std::async(std::launch::async, [this, list, seconds] {
            return RunProcess(BEXORA_LISTVIEW, {"--settings", m_site.SettingsFile(), "--quit-after",
                                                std::to_string(seconds), list});
        });
    };
    {
        auto run = std::async(std::launch::async, [&] {
            return RunProcess(BEXORA_CLI,
                              {"--settings", m_site.SettingsFile(), "run", list, "--for", "6"});
        });
        ASSERT_TRUE(Pump([&] { return LockText(list).find("bexora-cli run") != std::string::npos; }));
        auto refused = listView(5).get();
        EXPECT_EQ(refused.status, 1);
        EXPECT_NE(refused.err.find("is open in bexora-cli run (process "), std::string::npos)
            << refused.err;
        EXPECT_EQ(run.get().status, 0);
    }
    // Its own list is served: a terminal's command lands in the window's
    // copy and survives the window's save on the way out.
    auto shown = listView(8);
    ASSERT_TRUE(Pump([&] { return LockText(list).find("bexora-listview") != std::string::npos; },
                     60000));
    auto add = Cli({"add", list, item});
    EXPECT_EQ(add.status, 0) << add.err;
    auto note = Cli({"note", list, item, "seen in the list window"});
    EXPECT_EQ(note.status, 0) << note.err;
    EXPECT_EQ(shown.get().status, 0);
    EXPECT_EQ(LockText(list), "");
    CebayDoc saved;
    ASSERT_TRUE(saved.OnOpenDocument(list));
    ASSERT_NE(saved.FindItem(item), nullptr);
    EXPECT_EQ(saved.FindItem(item)->m_strNote, "seen in the list window");
}

}  // namespace
}  // namespace bexora::test
