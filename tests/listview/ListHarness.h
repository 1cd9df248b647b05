#pragma once
// A list core without threads or a window: a front end that records what it
// was told, a job sink that keeps the posted refreshes and bids, a manual
// clock, a private settings file and a document in a fresh folder.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/Clock.h"
#include "base/Prompt.h"
#include "base/Settings.h"
#include "listview/ItemListCore.h"
#include "site/SiteTime.h"
#include "support/TempDir.h"

namespace bexora::test {

struct FakeFrontEnd : IListFrontEnd {
    void RedrawRow(int row) override { redrawn.push_back(row); }
    void CellChanged(int row, int col) override { cells.emplace_back(row, col); }
    void RowsChanged() override { ++rowsChanged; }
    void SetStatusText(const std::string& text) override { status.push_back(text); }
    bool IsActiveFrame() override { return active; }
    void Navigate(const std::string& url) override { navigated.push_back(url); }
    void ShowBalloon(const std::string& title, const std::string& text) override {
        balloons.emplace_back(title, text);
    }
    void NoticeAdded(const std::string& text, int level) override { notices.emplace_back(text, level); }
    void ShowItemBalloon(const std::string& title, const std::string& text, const std::string& item,
                         int level) override {
        balloonItems.emplace_back(item, level);
        ShowBalloon(title, text);
    }
    void ShowProgress(int done, int total) override { progress.emplace_back(done, total); }

    std::vector<int> redrawn;
    std::vector<std::pair<int, int>> cells;
    int rowsChanged = 0;
    std::vector<std::string> status;
    std::vector<std::string> navigated;
    std::vector<std::pair<std::string, std::string>> balloons;
    std::vector<std::pair<std::string, int>> notices;
    std::vector<std::pair<std::string, int>> balloonItems;  // item and level of each balloon
    std::vector<std::pair<int, int>> progress;              // done, total
    bool active = true;
};

struct CapturedJobs : IJobSink {
    void PostUpdate(std::unique_ptr<CItem> copy) override { updates.push_back(std::move(copy)); }
    void PostBid(std::unique_ptr<CBidRequest> request) override {
        bidMs.push_back(GetClock().NowMs());
        bids.push_back(std::move(request));
    }
    void Stop() override { ++stops; }

    std::vector<std::unique_ptr<CItem>> updates;
    std::vector<std::unique_ptr<CBidRequest>> bids;
    std::vector<int64_t> bidMs;  // local clock when each bid was posted
    int stops = 0;
};

// 2024-03-04 10:20:30 UTC: away from the whole hour and the version check.
constexpr int64_t kStart = 1709547630;

class ListTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        SetSettingsPath(m_dir.File("settings.ini"));
        SetClock(&m_clock);
        FixClockOffset(0);
        m_doc.SetPathName(m_dir.File("list.bid"));
        TakeShownPrompts();
    }
    void TearDown() override {
        m_core.reset();
        SetClock(nullptr);
        FixClockOffset(std::nullopt);
        SetSettingsPath("");
        TakeShownPrompts();
    }

    // An item of the document (before Start) or a new row (after).
    CItem& Add(const std::string& number, int64_t endsIn, const std::string& myBid = "N/A") {
        auto item = std::make_unique<CItem>();
        item->m_strItemNumber = number;
        item->m_strTitle = "Item " + number;
        item->m_strCurrentPrice = "$10.00";
        item->m_strBidCount = "1";
        item->m_strMyBid = myBid;
        item->m_tEndTime = endsIn == 0 ? 0 : Now() + endsIn;
        item->m_strTimeLeft = endsIn == 0 ? "N/A" : TimeLeftText(endsIn);
        CItem* p = m_doc.AddItem(std::move(item));
        if (m_core) m_core->InsertItemRow(p);
        return *p;
    }
    // A scheduled bid of amount, due at the local second bidAt.
    static void Schedule(CItem& item, const std::string& amount, int64_t bidAt,
                         const std::string& group = "N/A") {
        item.m_strMyBid = amount;
        item.m_bBidPending = 1;
        item.m_tBidTime = bidAt;
        item.m_strBidGroup = group;
    }

    void Start() {
        m_core = std::make_unique<CItemListCore>(m_doc, m_front, m_ui, &m_jobs);
        m_core->Initialize();
    }
    int64_t Now() const { return m_clock.NowMs() / 1000; }
    // n ticks, one a second.
    void Tick(int n = 1) {
        for (int i = 0; i < n; ++i) {
            m_core->OnTick();
            m_clock.Advance(1);
        }
    }
    // Answers every posted refresh with its copy, changed by edit first.
    template <class Edit>
    void AnswerUpdates(Edit edit) {
        auto updates = std::move(m_jobs.updates);
        m_jobs.updates.clear();
        for (auto& u : updates) {
            edit(*u);
            m_core->OnItemUpdated(std::move(u));
        }
    }
    void AnswerUpdates() {
        AnswerUpdates([](CItem&) {});
    }
    // Answers the oldest posted bid.
    void AnswerBid(bool ok, const std::string& result) {
        ASSERT_FALSE(m_jobs.bids.empty());
        auto r = std::move(m_jobs.bids.front());
        m_jobs.bids.erase(m_jobs.bids.begin());
        r->m_bSucceeded = ok;
        r->m_strResult = result;
        r->m_strResultUrl = "http://site/result";
        m_core->OnBidPlaced(std::move(r));
    }
    std::vector<std::string> NoticeTexts() const {
        std::vector<std::string> out;
        for (auto& n : m_front.notices) out.push_back(n.first);
        return out;
    }
    CItem& Row(int i) { return *m_core->GetItem(i); }

    TempDir m_dir;
    CManualClock m_clock{kStart * 1000};
    CebayDoc m_doc;
    FakeFrontEnd m_front;
    CapturedJobs m_jobs;
    CUiDispatcher m_ui;
    std::unique_ptr<CItemListCore> m_core;
};

}  // namespace bexora::test
