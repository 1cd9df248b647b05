// The headless loop on the real clock: ticks land just after whole seconds
// and do not drift, a worker's result is handled while the loop waits for
// the next tick, and a stop signal ends the loop instead of the program.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <sstream>
#include <chrono>
#include <thread>
#include <vector>

#include "base/Clock.h"
#include "bidding/UiDispatcher.h"
#include "cli/CliPrompts.h"
#include "cli/HeadlessLoop.h"

namespace bexora::cli {
namespace {

TEST(HeadlessLoop, NextWholeSecond) {
    EXPECT_EQ(CHeadlessLoop::MsUntilNextWholeSecond(5000), 1);  // second 5 has just begun
    EXPECT_EQ(CHeadlessLoop::MsUntilNextWholeSecond(5001), 1000);
    EXPECT_EQ(CHeadlessLoop::MsUntilNextWholeSecond(5999), 2);
    EXPECT_EQ(CHeadlessLoop::MsUntilNextWholeSecond(5500), 501);
}

TEST(HeadlessLoop, TicksJustAfterEachSecondWhateverATickCosts) {
    CUiDispatcher ui;
    CHeadlessLoop loop(ui);
    std::vector<int64_t> at;
    auto tick = [&] {
        at.push_back(GetClock().NowMs());
        // A slow tick (a blocking clock read) must not push the next one.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    };
    auto r = loop.Run(tick, {}, 3200);
    EXPECT_EQ(r, CHeadlessLoop::EndReason::TimeUp);
    ASSERT_GE(at.size(), 3u);
    for (size_t i = 0; i < at.size(); ++i) {
        // After its second (a tick before it would read 999 here), at the
        // second's very millisecond at best; a drifting tick lands 300 ms
        // late here; the margin is for a loaded machine's wake-up, not for
        // the loop.
        EXPECT_LT(at[i] % 1000, 150) << "tick " << i << " late after its second";
        if (i) {
            EXPECT_EQ(at[i] / 1000, at[i - 1] / 1000 + 1) << "one tick a second";
        }
    }
}

TEST(HeadlessLoop, AWorkersResultIsHandledAtOnce) {
    CUiDispatcher ui;
    CHeadlessLoop loop(ui);
    std::atomic<int64_t> sentAt{0}, ranAt{0};
    std::thread worker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1250));
        sentAt = GetClock().NowMs();
        ui.Send(&worker, [&] {
            ranAt = GetClock().NowMs();
            loop.Stop();
        });
    });
    auto r = loop.Run([] {}, {}, 5000);
    worker.join();
    EXPECT_EQ(r, CHeadlessLoop::EndReason::Stopped);
    ASSERT_NE(ranAt.load(), 0);
    EXPECT_LT(ranAt - sentAt, 250) << "waited for a tick instead";  // a tick is up to 1 s away
}

TEST(HeadlessLoop, RunUntilEndsWhenDone) {
    CUiDispatcher ui;
    CHeadlessLoop loop(ui);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ui.Send(&worker, [&] { done = true; });
    });
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(loop.RunUntil([&] { return done.load(); }, 5000), CHeadlessLoop::EndReason::Stopped);
    worker.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(HeadlessLoop, SigtermEndsTheLoopNotTheProgram) {
    CHeadlessLoop::BlockStopSignals();
    CUiDispatcher ui;
    CHeadlessLoop loop(ui);
    std::thread sender([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        kill(getpid(), SIGTERM);
    });
    auto start = std::chrono::steady_clock::now();
    auto r = loop.Run([] {}, {}, -1);
    sender.join();
    EXPECT_EQ(r, CHeadlessLoop::EndReason::Signal);
    EXPECT_EQ(loop.Signal(), SIGTERM);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    // A loop run later is not ended by the old signal.
    EXPECT_EQ(CHeadlessLoop(ui).Run([] {}, {}, 200), CHeadlessLoop::EndReason::TimeUp);
    CHeadlessLoop::UnblockStopSignals();
}

TEST(HeadlessLoop, AStopSignalSentTwiceAtOnceDoesNotEndTheProgramAfterTheLoop) {
    // timeout(1) sends its signal to the program and again to its process
    // group: the second copy must not kill the program while it saves.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            CHeadlessLoop::BlockStopSignals();
            CUiDispatcher ui;
            CHeadlessLoop loop(ui);
            kill(getpid(), SIGTERM);
            if (loop.Run([] {}, {}, 5000) != CHeadlessLoop::EndReason::Signal) std::_Exit(3);
            kill(getpid(), SIGTERM);  // the copy, pending while blocked
            CHeadlessLoop::UnblockStopSignals();
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(CliPrompts, QuestionsTakeTheNegativeAnswerUnlessYes) {
    std::ostringstream out;
    {
        CCliPrompts prompts(out);
        EXPECT_EQ(ShowPrompt("Line one\nline two"), PromptAnswer::Ok);
        EXPECT_EQ(ShowPrompt("Go on?", PromptButtons::YesNo), PromptAnswer::No);
        EXPECT_EQ(ShowPrompt("Sure?", PromptButtons::OkCancel), PromptAnswer::Cancel);
        prompts.SetYes(true);
        EXPECT_EQ(ShowPrompt("Go on?", PromptButtons::YesNoCancel), PromptAnswer::Yes);
        EXPECT_EQ(ShowPrompt("Sure?", PromptButtons::OkCancel), PromptAnswer::Ok);
    }
    EXPECT_EQ(out.str(),
              "message: Line one\\nline two\nmessage: Go on?\nmessage: Sure?\n"
              "message: Go on?\nmessage: Sure?\n");
}

}  // namespace
}  // namespace bexora::cli
