// The list and the site's clock: the tick and the rows never wait for the
// time host, a right clock in Pacific time is read once, and the clock
// warning raised on a worker is shown on the list's UI thread, one at a
// time.

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "ListHarness.h"
#include "support/LocalServer.h"

namespace bexora::test {
namespace {

// The official time page, showing the manual clock minus lagSeconds in
// Pacific time; answers after stallMs when asked to.
class TimeHost {
public:
    explicit TimeHost(const CManualClock& clock) : m_clock(clock) {
        m_server.Server().Get("/aw-cgi/eBayISAPI.dll", [this](const httplib::Request&, httplib::Response& res) {
            ++m_requests;
            const int stall = m_stallMs.load();
            if (stall > 0) std::this_thread::sleep_for(std::chrono::milliseconds(stall));
            const time_t site = static_cast<time_t>(m_clock.NowMs() / 1000 - m_lag.load());
            struct tm tm {};
            localtime_r(&site, &tm);  // the tests run in Pacific time
            char date[64];
            strftime(date, sizeof date, "%A, %b %d, %Y %H:%M:%S", &tm);
            res.set_content(std::string("<table><tr><td>The official eBay Time is now:</td></tr><tr><td><b>") +
                                date + (tm.tm_isdst > 0 ? " PDT" : " PST") + "</b></td></tr></table>",
                            "text/html");
        });
        m_server.Start();
    }
    std::string Host() const { return m_server.Host(); }
    int Requests() const { return m_requests.load(); }
    void Stall(int ms) { m_stallMs = ms; }
    void Lag(int64_t seconds) { m_lag = seconds; }
    // Waits until n requests came (or 3 s passed).
    bool WaitFor(int n) {
        for (int i = 0; i < 300 && m_requests.load() < n; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return m_requests.load() >= n;
    }

private:
    const CManualClock& m_clock;
    LocalServer m_server;
    std::atomic<int> m_requests{0};
    std::atomic<int> m_stallMs{0};
    std::atomic<int64_t> m_lag{0};
};

// Remembers which thread each message box was shown on.
struct ThreadRecordingPrompt : IPromptHandler {
    PromptAnswer Ask(const std::string& text, PromptButtons, PromptIcon) override {
        std::lock_guard<std::mutex> lock(mutex);
        shown.emplace_back(text, std::this_thread::get_id());
        return PromptAnswer::Ok;
    }
    std::vector<std::pair<std::string, std::thread::id>> Shown() {
        std::lock_guard<std::mutex> lock(mutex);
        return shown;
    }
    std::mutex mutex;
    std::vector<std::pair<std::string, std::thread::id>> shown;
};

class ListClock : public ListTest {
protected:
    void SetUp() override {
        ListTest::SetUp();
        setenv("TZ", "America/Los_Angeles", 1);
        tzset();
        FixClockOffset(std::nullopt);
        ForgetClockOffset();
        Settings().WriteString(setting::SiteTimeHost, m_time.Host());
        SetPromptHandler(&m_prompt);
    }
    void TearDown() override {
        m_core.reset();  // the keeper's read ends first
        SetPromptHandler(nullptr);
        ForgetClockOffset();
        ListTest::TearDown();
    }
    // How long one call took, in ms.
    template <class Fn>
    static int64_t Ms(Fn fn) {
        const auto start = std::chrono::steady_clock::now();
        fn();
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
            .count();
    }

    TimeHost m_time{m_clock};
    ThreadRecordingPrompt m_prompt;
};

TEST_F(ListClock, TickAndRowsNeverWaitForASlowTimeHost) {
    m_time.Stall(800);
    Add("1000000001", 7200, "$20.00");
    int64_t slowest = Ms([&] { Start(); });
    for (int i = 0; i < 3; ++i) slowest = std::max(slowest, Ms([&] { Tick(); }));
    slowest = std::max(slowest, Ms([&] { Add("1000000002", 3600); }));
    // The hourly re-read, too.
    m_clock.Set(1709550000 - 1);  // 2024-03-04 11:59:59 UTC
    for (int i = 0; i < 3; ++i) slowest = std::max(slowest, Ms([&] { Tick(); }));
    EXPECT_LT(slowest, 500);
}

TEST_F(ListClock, RightClockInPacificTimeIsMeasuredOnce) {
    Add("1000000001", 7200, "$20.00");
    Add("1000000002", 300, "$20.00");
    Start();
    Tick(600);  // ten minutes
    ASSERT_TRUE(m_time.WaitFor(1));
    // One measurement is a short series of timed reads (the ticks above
    // move the clock under it, so how many varies).
    for (int i = 0; i < 1500 && m_core->ClockKeeper().ReadsDone() < 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const int reads = m_time.Requests();
    EXPECT_LE(reads, 10);
    Tick(600);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(m_time.Requests(), reads);
    EXPECT_EQ(m_core->ClockKeeper().ReadsDone(), 1);
    EXPECT_EQ(m_core->GetCellText(0, kColTimeLeft), "01:40:00");
}

TEST_F(ListClock, ClockWarningFromAWorkerIsShownOnTheUiThreadOnce) {
    SetCachedClockOffset(40 * 3600);
    Start();
    std::thread worker([] {
        for (int i = 0; i < 3; ++i) GetClockOffset(false);
    });
    worker.join();
    EXPECT_TRUE(m_prompt.Shown().empty());  // nothing on the worker
    m_ui.RunPending();
    auto shown = m_prompt.Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].first, "Your system clock must be set wrong. Please check it!");
    EXPECT_EQ(shown[0].second, std::this_thread::get_id());

    // Once closed, the next one may come.
    std::thread again([] { GetClockOffset(false); });
    again.join();
    m_ui.RunPending();
    EXPECT_EQ(m_prompt.Shown().size(), 2u);

    // One still queued when the list goes away is dropped, and the next
    // list may warn again.
    std::thread queued([] { GetClockOffset(false); });
    queued.join();
    m_core.reset();
    m_ui.RunPending();
    EXPECT_EQ(m_prompt.Shown().size(), 2u);
    Start();
    std::thread last([] { GetClockOffset(false); });
    last.join();
    m_ui.RunPending();
    EXPECT_EQ(m_prompt.Shown().size(), 3u);
}

}  // namespace
}  // namespace bexora::test
