#pragma once
// A list view on a document in a fresh folder, with a manual clock, a
// private settings file, captured worker jobs and a host that records what
// it was asked; dialogs are played by the test's runner.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "base/Prompt.h"
#include "base/Settings.h"
#include "base/ui/DialogRunner.h"
#include "listctrl/ListTestSupport.h"
#include "listview/ListHarness.h"
#include "listview/ui/ebayListView.h"
#include "site/SiteTime.h"
#include "support/TempDir.h"

namespace bexora::test {

struct RecordingHost : IListViewHost {
    void Navigate(const std::string& url) override { navigated.push_back(url); }
    void SetStatusText(const std::string& text) override { status.push_back(text); }
    bool IsActiveFrame() override { return active; }
    std::vector<std::string> navigated;
    std::vector<std::string> status;
    bool active = true;
};

// Runs the next dialogs with play (which returns the dialog's result).
template <class D>
void PlayDialog(std::function<int(D&)> play) {
    SetDialogRunner([play](QDialog& dialog) {
        auto* d = dynamic_cast<D*>(&dialog);
        if (!d) {
            ADD_FAILURE() << "unexpected dialog " << dialog.windowTitle().toStdString();
            return int(QDialog::Rejected);
        }
        return play(*d);
    });
}

class ListUiTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        SetSettingsPath(m_dir.File("settings.ini"));
        SetClock(&m_clock);
        FixClockOffset(0);
        m_doc.SetPathName(m_dir.File("list.bid"));
        TakeShownPrompts();
        SetDialogRunner({});
    }
    void TearDown() override {
        m_view.reset();
        SetDialogRunner({});
        SetClock(nullptr);
        FixClockOffset(std::nullopt);
        SetSettingsPath("");
        TakeShownPrompts();
    }

    // An item of the document, before Start.
    CItem& Add(const std::string& number, int64_t endsIn = 3600, const std::string& price = "$10.00") {
        auto item = std::make_unique<CItem>();
        item->m_strItemNumber = number;
        item->m_strTitle = "Item " + number;
        item->m_strCurrentPrice = price;
        item->m_strBidCount = "1";
        item->m_strMinBid = "$11.00";
        item->m_tEndTime = Now() + endsIn;
        item->m_strTimeLeft = TimeLeftText(endsIn);
        return *m_doc.AddItem(std::move(item));
    }
    static void Schedule(CItem& item, const std::string& amount, int64_t bidAt,
                         const std::string& group = "N/A") {
        item.m_strMyBid = amount;
        item.m_bBidPending = 1;
        item.m_tBidTime = bidAt;
        item.m_strBidGroup = group;
    }
    void Start(int width = 1200, int height = 420) {
        m_view = std::make_unique<CebayListView>(m_doc, &m_host, nullptr, &m_jobs);
        m_view->OnInitialUpdate(false);
        ShowAndSettle(*m_view, width, height);
    }
    void Settle() {
        for (int i = 0; i < 3; ++i) QApplication::processEvents();
    }
    int64_t Now() const { return m_clock.NowMs() / 1000; }
    CItemListCore& Core() { return m_view->Core(); }
    std::vector<std::string> Column(int col) {
        std::vector<std::string> out;
        for (int r = 0; r < Core().GetRowCount(); ++r) out.push_back(m_view->OnGetCellText(r, col));
        return out;
    }

    TempDir m_dir;
    CManualClock m_clock{kStart * 1000};
    CebayDoc m_doc;
    RecordingHost m_host;
    CapturedJobs m_jobs;
    std::unique_ptr<CebayListView> m_view;
};

}  // namespace bexora::test
