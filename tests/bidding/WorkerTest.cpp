// The two workers and the delivery of their results: order, ownership of
// every record, and stopping without ever hanging on a last result.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>

#include "SiteHarness.h"
#include "bidding/BidThread.h"
#include "bidding/InFlightList.h"
#include "bidding/UiDispatcher.h"
#include "bidding/WebThread.h"

namespace bexora {
namespace {

std::atomic<int> g_alive{0};

// Records that count themselves, so that a leak or a double free shows.
struct CountedItem : CItem {
    CountedItem() { ++g_alive; }
    ~CountedItem() override { --g_alive; }
};
struct CountedBid : CBidRequest {
    explicit CountedBid(const CItem& item) : CBidRequest(item) { ++g_alive; }
    ~CountedBid() override { --g_alive; }
};

std::unique_ptr<CItem> Copy(const std::string& number) {
    auto item = std::make_unique<CountedItem>();
    item->m_strItemNumber = number;
    return item;
}

struct Owner : IWorkerOwner {
    std::thread::id uiThread = std::this_thread::get_id();
    CInFlightList inFlight;
    std::vector<std::unique_ptr<CItem>> updated;
    std::vector<std::unique_ptr<CBidRequest>> bids;
    bool wrongThread = false;
    std::function<void()> onResult;

    void OnItemUpdated(std::unique_ptr<CItem> item) override {
        wrongThread |= std::this_thread::get_id() != uiThread;
        updated.push_back(std::move(item));
        if (onResult) onResult();
    }
    void OnBidPlaced(std::unique_ptr<CBidRequest> request) override {
        wrongThread |= std::this_thread::get_id() != uiThread;
        bids.push_back(std::move(request));
        if (onResult) onResult();
    }
    bool IsUpdateInFlight(const std::string& number) override { return inFlight.Contains(number); }
};

// A one-shot latch a worker can wait on.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool open = false;
    void Open() {
        std::lock_guard<std::mutex> l(m);
        open = true;
        cv.notify_all();
    }
    void Wait() {
        std::unique_lock<std::mutex> l(m);
        cv.wait(l, [&] { return open; });
    }
};

bool RunUntil(CUiDispatcher& ui, const std::function<bool()>& done, int timeoutMs = 10000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        ui.WaitAndRunPending(20);
    }
    return true;
}

class WorkerTest : public ::testing::Test {
protected:
    void SetUp() override { g_alive = 0; }
    void TearDown() override { EXPECT_EQ(g_alive, 0) << "records leaked or freed twice"; }
};

TEST_F(WorkerTest, DispatcherRunsSentCallsOnTheUiThreadInOrder) {
    CUiDispatcher ui;
    std::atomic<int> wakes{0};
    ui.SetWake([&] { ++wakes; });
    std::vector<int> order;
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(ui.Send(&order, [&, i] {
                EXPECT_TRUE(ui.IsUiThread());
                order.push_back(i);
            }));
    });
    ASSERT_TRUE(RunUntil(ui, [&] { return order.size() == 3; }));
    worker.join();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(wakes, 3);

    // Closed: a queued call is cancelled, a later one refused at once.
    std::atomic<int> result{-1};
    std::thread late([&] { result = ui.Send(&order, [&] { order.push_back(9); }); });
    while (wakes < 4) std::this_thread::yield();
    ui.Close(&order);
    late.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ui.RunPending(), 0u);
    EXPECT_EQ(order.size(), 3u);
    std::thread refused([&] { result = ui.Send(&order, [] {}); });
    refused.join();
    EXPECT_EQ(result, 0);
    ui.Forget(&order);
    EXPECT_TRUE(ui.Send(&order, [] {}));  // on the UI thread: run at once
}

// A message for the user from a worker: queued for the UI thread without
// the worker waiting; a closed sender's queued ones go unrun (and are freed).
TEST(DispatcherPost, QueuesWithoutWaitingAndClosingDropsWhatIsQueued) {
    CUiDispatcher ui;
    int key = 0;
    std::vector<std::thread::id> ranOn;
    std::thread worker([&] {
        EXPECT_TRUE(ui.Post(&key, [&] { ranOn.push_back(std::this_thread::get_id()); }));
        EXPECT_TRUE(ui.Post(&key, [&] { ranOn.push_back(std::this_thread::get_id()); }));
    });
    worker.join();  // returned without anyone running the queue
    EXPECT_TRUE(ranOn.empty());
    EXPECT_EQ(ui.RunPending(), 2u);
    EXPECT_EQ(ranOn, (std::vector<std::thread::id>{std::this_thread::get_id(), std::this_thread::get_id()}));

    auto held = std::make_shared<int>(1);
    std::thread late([&] { EXPECT_TRUE(ui.Post(&key, [held] {})); });
    late.join();
    EXPECT_EQ(held.use_count(), 2);
    ui.Close(&key);
    EXPECT_EQ(held.use_count(), 1);  // dropped unrun
    EXPECT_FALSE(ui.Post(&key, [] { ADD_FAILURE() << "ran after close"; }));
    EXPECT_EQ(ui.RunPending(), 0u);
}

TEST_F(WorkerTest, RefreshesComeBackInOrderAndUnwantedOnesAreDropped) {
    CUiDispatcher ui;
    Owner owner;
    std::vector<std::string> refreshed;
    CWebThread web(&owner, ui, [&](CItem& item) {
        refreshed.push_back(item.m_strItemNumber);
        item.m_strTitle = "refreshed";
    });
    ASSERT_TRUE(web.CreateThread());
    CItem a, b, c;
    a.m_strItemNumber = "1000000001";
    c.m_strItemNumber = "1000000003";
    owner.inFlight.Add(&a);
    owner.inFlight.Add(&c);
    web.PostUpdate(Copy("1000000001"));
    web.PostUpdate(Copy("1000000002"));  // its row went away: never in flight
    web.PostUpdate(Copy("1000000003"));
    ASSERT_TRUE(RunUntil(ui, [&] { return owner.updated.size() == 2; }));
    web.StopWorker();
    EXPECT_EQ(refreshed, (std::vector<std::string>{"1000000001", "1000000003"}));
    EXPECT_EQ(owner.updated[0]->m_strItemNumber, "1000000001");
    EXPECT_EQ(owner.updated[1]->m_strTitle, "refreshed");
    EXPECT_FALSE(owner.wrongThread);
    owner.updated.clear();

    owner.inFlight.Remove("1000000001");
    EXPECT_FALSE(owner.inFlight.Contains("1000000001"));
    EXPECT_TRUE(owner.inFlight.Contains("1000000003"));
    owner.inFlight.Clear();
    EXPECT_EQ(owner.inFlight.Size(), 0u);
}

TEST_F(WorkerTest, ClosingWithRefreshesQueuedFreesEachCopyUnrefreshed) {
    CUiDispatcher ui;
    Owner owner;
    Gate inRefresh, release;
    std::atomic<int> refreshes{0};
    auto web = std::make_unique<CWebThread>(&owner, ui, [&](CItem&) {
        ++refreshes;
        inRefresh.Open();
        release.Wait();
    });
    ASSERT_TRUE(web->CreateThread());
    std::vector<CItem> rows(6);
    for (size_t i = 0; i < rows.size(); ++i) {
        rows[i].m_strItemNumber = "100000000" + std::to_string(i);
        owner.inFlight.Add(&rows[i]);
        web->PostUpdate(Copy(rows[i].m_strItemNumber));
    }
    inRefresh.Wait();  // the first is being fetched, five wait in the queue
    std::thread releaser([&] {
        while (!web->m_bStopping) std::this_thread::yield();
        release.Open();
    });
    owner.inFlight.Clear();
    web->StopWorker();
    releaser.join();
    EXPECT_EQ(refreshes, 1);
    ui.RunPending();
    EXPECT_TRUE(owner.updated.empty());
    web.reset();
}

TEST_F(WorkerTest, StopNeverHangsOnAResultAboutToBeDelivered) {
    // Each round a worker finishes its refresh at about the moment the owner
    // stops it; the owner may or may not be running its queue. Every copy is
    // either delivered or freed by the worker, never both, never neither.
    std::mt19937 rng(7);
    int delivered = 0;
    for (int round = 0; round < 300; ++round) {
        CUiDispatcher ui;
        Owner owner;
        CItem row;
        row.m_strItemNumber = "1234567890";
        owner.inFlight.Add(&row);
        Gate done;
        CWebThread web(&owner, ui, [&](CItem&) { done.Open(); });
        ASSERT_TRUE(web.CreateThread());
        web.PostUpdate(Copy("1234567890"));
        int mode = round % 3;
        if (mode == 0) {
            done.Wait();
            int spins = static_cast<int>(rng() % 2000);
            for (int i = 0; i < spins; ++i) std::atomic_signal_fence(std::memory_order_seq_cst);
        } else if (mode == 1) {
            ui.WaitAndRunPending(static_cast<int>(rng() % 2));
        }
        web.StopWorker();
        ui.RunPending();  // nothing of a stopped worker may still arrive
        delivered += static_cast<int>(owner.updated.size());
        EXPECT_LE(owner.updated.size(), 1u);
        owner.updated.clear();
        EXPECT_EQ(g_alive, 0) << "round " << round;
    }
    RecordProperty("delivered", delivered);
}

TEST_F(WorkerTest, AHandlerThatClosesTheViewDoesNotDeadlock) {
    CUiDispatcher ui;
    Owner owner;
    CItem row;
    row.m_strItemNumber = "1234567890";
    owner.inFlight.Add(&row);
    CWebThread web(&owner, ui, [](CItem&) {});
    ASSERT_TRUE(web.CreateThread());
    owner.onResult = [&] { web.StopWorker(); };  // e.g. the user closed the list meanwhile
    web.PostUpdate(Copy("1234567890"));
    web.PostUpdate(Copy("1234567890"));
    ASSERT_TRUE(RunUntil(ui, [&] { return !web.IsRunning() || owner.updated.size() == 1; }));
    ui.RunPending();
    EXPECT_EQ(owner.updated.size(), 1u);
    owner.updated.clear();
}

class BidWorkerTest : public WorkerTest {
protected:
    void SetUp() override {
        WorkerTest::SetUp();
        ASSERT_TRUE(m_site.Ok());
        m_site.Account("jo", "pw");
    }
    std::unique_ptr<CBidRequest> Bid(const std::string& item, const std::string& bid) {
        CItem it;
        it.m_strItemNumber = item;
        it.m_strUserId = "jo";
        it.m_strPassword = "pw";
        it.m_strMyBid = bid;
        return std::make_unique<CountedBid>(it);
    }
    test::LocalSite m_site;
};

TEST_F(BidWorkerTest, TwoBidsArePlacedOneAfterTheOtherEachWithItsOwnSignIn) {
    CUiDispatcher ui;
    Owner owner;
    CBidThread bidder(&owner, ui);
    ASSERT_TRUE(bidder.CreateThread());
    std::string first = m_site.AddItem(R"({"title":"Lamp","price":5})");
    std::string second = m_site.AddItem(R"({"title":"Vase","price":5})");
    bidder.PostBid(Bid(first, "US $10.00"));
    bidder.PostBid(Bid(second, "US $11.00"));
    ASSERT_TRUE(RunUntil(ui, [&] { return owner.bids.size() == 2; }));
    bidder.StopWorker();
    EXPECT_FALSE(owner.wrongThread);
    EXPECT_EQ(owner.bids[0]->m_strItemNumber, first);
    EXPECT_EQ(owner.bids[1]->m_strItemNumber, second);
    EXPECT_TRUE(owner.bids[0]->m_bSucceeded && owner.bids[1]->m_bSucceeded);

    std::vector<std::string> steps;
    for (const std::string& t : m_site.Log()) {
        if (t.find(test::kSignInStep) != std::string::npos) steps.push_back("signin");
        if (t.find(test::kConfirmStep) != std::string::npos)
            steps.push_back(t.find("&Item=" + first) != std::string::npos ? "confirm1" : "confirm2");
    }
    EXPECT_EQ(steps, (std::vector<std::string>{"signin", "confirm1", "signin", "confirm2"}));
    owner.bids.clear();
}

TEST_F(BidWorkerTest, StopDuringABidLetsTheRequestFinishAndDeliversNothing) {
    CUiDispatcher ui;
    Owner owner;
    auto bidder = std::make_unique<CBidThread>(&owner, ui);
    ASSERT_TRUE(bidder->CreateThread());
    std::string item = m_site.AddItem(R"({"title":"Lamp","price":5})");
    m_site.Fault(R"({"contains":"MakeBid&uiid","count":1,"latency_ms":300})");
    bidder->PostBid(Bid(item, "US $10.00"));
    bidder->PostBid(Bid(item, "US $12.00"));  // queued behind: freed unplaced
    ASSERT_TRUE(m_site.WaitForRequest(test::kOfferFormStep));
    auto start = std::chrono::steady_clock::now();
    bidder->StopWorker();
    double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GT(waited, 0.1);  // the form request was let finish
    ui.RunPending();
    EXPECT_TRUE(owner.bids.empty());
    EXPECT_EQ(m_site.CountLog(test::kConfirmStep), 0u);
    EXPECT_EQ(m_site.CountLog(test::kSignInStep), 1u);
    bidder.reset();
}

TEST_F(BidWorkerTest, ARefreshNoLongerWantedMakesNoRequest) {
    CUiDispatcher ui;
    Owner owner;
    CWebThread web(&owner, ui);  // the real refresh: the item's page from the site
    ASSERT_TRUE(web.CreateThread());
    std::string wanted = m_site.AddItem(R"({"title":"Lamp","price":5})");
    std::string dropped = m_site.AddItem(R"({"title":"Vase","price":7})");
    CItem row;
    row.m_strItemNumber = wanted;
    owner.inFlight.Add(&row);
    web.PostUpdate(Copy(dropped));
    web.PostUpdate(Copy(wanted));
    ASSERT_TRUE(RunUntil(ui, [&] { return owner.updated.size() == 1; }));
    web.StopWorker();
    EXPECT_EQ(owner.updated[0]->m_strItemNumber, wanted);
    EXPECT_EQ(owner.updated[0]->m_strTitle, "Lamp");
    EXPECT_EQ(m_site.CountLog("item=" + wanted), 1u);
    EXPECT_EQ(m_site.CountLog("item=" + dropped), 0u);
    owner.updated.clear();
}

}  // namespace
}  // namespace bexora
