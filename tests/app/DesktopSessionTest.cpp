// The desktop program's notifications and sleep lock over Qt DBus, against
// the fake services on a private dbus-daemon.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMainWindow>
#include <chrono>
#include <memory>

#include "app/DesktopSession.h"
#include "listui/ListUiSupport.h"
#include "support/SessionBus.h"

namespace bexora::test {
namespace {

// One bus for the whole binary: Qt keeps its bus connections for the life
// of the process. It must be up before the QApplication.
class BusEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        bus = std::make_unique<PrivateBus>();
        services = std::make_unique<FakeServices>(bus->Address());
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "desktop_session_tests";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override {
        app.reset();
        services.reset();
        bus.reset();
    }
    std::unique_ptr<PrivateBus> bus;
    std::unique_ptr<FakeServices> services;
    std::unique_ptr<QApplication> app;
};
BusEnvironment* g_env =
    static_cast<BusEnvironment*>(::testing::AddGlobalTestEnvironment(new BusEnvironment));

bool SpinUntil(const std::function<bool()>& pred) {
    return FakeServices::WaitFor([&] {
        QApplication::processEvents();
        return pred();
    });
}

class DesktopSessionTest : public ListUiTest {
protected:
    void StartInFrame() {
        m_frame = std::make_unique<QMainWindow>();
        m_view = std::make_unique<CebayListView>(m_doc, &m_host, nullptr, &m_jobs);
        m_view->setParent(m_frame.get());
        m_frame->setCentralWidget(m_view.get());
        m_view->OnInitialUpdate(false);
        m_session = new CDesktopSession(m_frame.get(), [this] { ++m_restored; });
    }
    void TearDown() override {
        m_view.release();  // the frame owns it now
        m_frame.reset();
        ListUiTest::TearDown();
    }
    std::unique_ptr<QMainWindow> m_frame;
    CDesktopSession* m_session = nullptr;
    int m_restored = 0;
};

TEST_F(DesktopSessionTest, AWinIsOneNotificationWhoseClickSelectsTheItem) {
    ASSERT_TRUE(g_env->services->Ok());
    Add("100");
    Add("200");
    StartInFrame();
    const size_t before = g_env->services->Notifications().size();
    ASSERT_TRUE(SpinUntil([&] { return m_session->NotificationsAvailable(); }));
    // The core's pair of balloons for a win.
    EXPECT_TRUE(m_session->Notify("Bid Wins", "200", "200", 2));
    EXPECT_TRUE(
        m_session->Notify("Bid Wins, click to open ...", "Item: 200 Congratulations.", "200", 2));
    ASSERT_TRUE(SpinUntil([&] { return g_env->services->Notifications().size() == before + 1; }));
    Notification n = g_env->services->Notifications().back();
    EXPECT_EQ(n.summary, "Bid Wins, click to open ...");
    EXPECT_EQ(n.body, "Item: 200 Congratulations.");
    EXPECT_EQ(n.icon, "bexora");
    EXPECT_EQ(n.urgency, 1);
    EXPECT_EQ(n.actions, (std::vector<std::string>{"default", "Open"}));
    for (int i = 0; i < 20; ++i) QApplication::processEvents();  // the id comes back

    g_env->services->InvokeAction(static_cast<uint32_t>(before + 1), "default");
    ASSERT_TRUE(SpinUntil([&] { return m_restored == 1; }));
    EXPECT_EQ(Core().GetSelectedRows(), std::vector<int>{1});
}

TEST_F(DesktopSessionTest, TheLockIsLogindsAndLetGoAndAHungLogindHoldsNothingUp) {
    CQtSleepLock lock;
    const size_t before = g_env->services->Inhibitions().size();
    ASSERT_TRUE(lock.Take("Bid on item 100 due at 10:25:30"));
    ASSERT_TRUE(SpinUntil([&] { return lock.Mode() == "block"; }));
    std::vector<Inhibition> held = g_env->services->Inhibitions();
    ASSERT_EQ(held.size(), before + 1);
    EXPECT_EQ(held.back().why, "Bid on item 100 due at 10:25:30");
    EXPECT_FALSE(held.back().Released());
    lock.Release();
    // The answer's own copy of the lock goes with it, in the event loop.
    EXPECT_TRUE(SpinUntil([&] { return g_env->services->Inhibitions().back().Released(); }));

    // logind (and the notification service) hung: asking costs the window
    // nothing (it waited 3 s a mode), and the answer that never came is
    // given up; a lock let go meanwhile is not taken when they come back.
    g_env->services->SetHung(true);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(lock.Take("Bid on item 100 due at 10:26:00"));
    lock.Release();
    ASSERT_TRUE(lock.Take("Bid on item 100 due at 10:26:30"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    g_env->services->SetHung(false);
    ASSERT_TRUE(SpinUntil([&] { return lock.Mode() == "block"; }));
    EXPECT_EQ(g_env->services->Inhibitions().back().why, "Bid on item 100 due at 10:26:30");
    lock.Release();
}

TEST_F(DesktopSessionTest, LogindsWakeUpReachesTheLists) {
    CItem& item = Add("100");
    Schedule(item, "$20.00", Now() + 100);
    StartInFrame();
    QApplication::processEvents();
    Core().OnTick();
    // The bid is near: the lock is held; for a suspend it goes once the list
    // is saved (it was kept, and the suspend waited out logind's delay), and
    // it is taken again after the wake.
    const size_t before = g_env->services->Inhibitions().size();
    auto holding = [&](size_t n) {
        auto held = g_env->services->Inhibitions();
        return held.size() == n && !held.back().Released();
    };
    m_session->UpdateSleepLock();
    ASSERT_TRUE(SpinUntil([&] { return holding(before + 1); }));
    g_env->services->PrepareForSleep(true);
    ASSERT_TRUE(SpinUntil([&] { return g_env->services->Inhibitions().back().Released(); }));
    g_env->services->PrepareForSleep(false);
    for (int i = 0; i < 20; ++i) QApplication::processEvents();
    m_session->UpdateSleepLock();
    ASSERT_TRUE(SpinUntil([&] { return holding(before + 2); }));

    m_clock.Advance(300);
    g_env->services->PrepareForSleep(false);
    // The signal comes through the event loop; the tick after it places the
    // bid that was missed.
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (std::chrono::steady_clock::now() < until) QApplication::processEvents();
    Core().OnTick();
    ASSERT_EQ(m_jobs.bids.size(), 1u);
    bool late = false;
    for (const auto& line : Core().Notices().Lines()) late |= line.rfind("Bid late:100", 0) == 0;
    EXPECT_TRUE(late);
}

// The bus restarted under the window (a session bus that came back): the
// next use connects again, asks afresh what it offers, and notifications,
// their clicks and logind's wake-up work on the new bus.
TEST_F(DesktopSessionTest, ABusThatWentAwayIsReconnectedOnTheNextUse) {
    CItem& item = Add("100");
    Schedule(item, "$20.00", Now() + 100);
    StartInFrame();
    ASSERT_TRUE(SpinUntil([&] { return m_session->NotificationsAvailable(); }));
    g_env->services.reset();
    g_env->bus->Restart();
    g_env->services = std::make_unique<FakeServices>(g_env->bus->Address());
    ASSERT_TRUE(g_env->services->Ok());

    ASSERT_TRUE(SpinUntil([&] { return m_session->NotificationsAvailable(); }));
    EXPECT_TRUE(m_session->Notify("Bid Wins", "Item: 100 Congratulations.", "100", 2));
    ASSERT_TRUE(SpinUntil([&] { return g_env->services->Notifications().size() == 1; }));
    for (int i = 0; i < 20; ++i) QApplication::processEvents();  // the id comes back
    g_env->services->InvokeAction(1, "default");
    EXPECT_TRUE(SpinUntil([&] { return m_restored == 1; }));

    // logind's wake-up reaches the lists through the new connection (made
    // by the next look at the lock, at most every 2 s).
    auto spin = [](int ms) {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < until) QApplication::processEvents();
    };
    spin(2500);
    m_clock.Advance(300);
    g_env->services->PrepareForSleep(false);
    spin(500);
    Core().OnTick();
    EXPECT_EQ(m_jobs.bids.size(), 1u);
}

}  // namespace
}  // namespace bexora::test
