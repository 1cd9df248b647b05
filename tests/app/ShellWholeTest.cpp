// The desktop program as a user drives it: the real main window with a real
// list open against the local auction site, commands chosen from the menu
// bar, the row menu and the keyboard, and a quit and start again.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "app/ChildFrame.h"
#include "app/ShellFixture.h"
#include "base/Clock.h"
#include "base/RecentFiles.h"
#include "base/ui/ShellCommands.h"
#include "browser/AddMethodDialog.h"
#include "browser/ui/AddItemDialog.h"
#include "listview/Notices.h"
#include "listview/ui/BidDlg.h"
#include "listview/ui/NoteDlg.h"
#include "listview/ui/WarnDlg.h"
#include "site/SiteTime.h"

namespace bexora::test {
namespace {

class ShellWholeTest : public ShellFixture {
protected:
    void SetUp() override {
        ShellFixture::SetUp();
        // Every dialog is counted by its class and cancelled.
        SetDialogRunner([this](QDialog& d) {
            ++m_dialogs[d.metaObject()->className()];
            if (auto* splash = dynamic_cast<CWelcome*>(&d))
                return CWelcome::s_updateStep(splash, [](const std::string&) {}) ? int(QDialog::Accepted)
                                                                                 : int(QDialog::Rejected);
            return int(QDialog::Rejected);
        });
    }

    // A list of n items that exist on the site (so refreshes and the bid
    // dialog's page read find them), opened in the window.
    CChildFrame* OpenSiteList(int n, const std::string& name = "whole.bid") {
        CebayDoc doc;
        for (int i = 0; i < n; ++i) {
            auto item = std::make_unique<CItem>();
            item->m_strItemNumber = m_site.AddItem(
                "{\"title\":\"Whole item " + std::to_string(i) +
                "\",\"price\":5,\"ends_in\":86400}");
            item->m_strTitle = "Whole item " + std::to_string(i);
            doc.AddItem(std::move(item));
        }
        m_path = m_site.WorkFile(name);
        EXPECT_TRUE(doc.OnSaveDocument(m_path));
        CMainFrame& frame = Start({QString::fromStdString(m_path)});
        m_frame = &frame;
        frame.show();
        // Keys reach the window's shortcuts only while it is the active one.
        QApplication::setActiveWindow(&frame);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&frame));
        CChildFrame* child = frame.ActiveChild();
        EXPECT_NE(child, nullptr);
        return child;
    }

    CebayListView* List() { return m_frame->ActiveChild()->ListPane(); }

    // Clicks a row, as the user does before a right click.
    void ClickRow(int row) {
        CebayListView* list = List();
        const QRect cell = list->GetCellRect(row, 0);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    }

    // Right-clicks row and chooses the command id from the menu that opens.
    bool ChooseFromRowMenu(int row, int id) {
        ClickRow(row);
        CebayListView* list = List();
        bool chosen = false;
        QTimer::singleShot(50, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu) return;
            for (QAction* a : menu->actions()) {
                if (a->data().toInt() == id && !a->isSeparator()) {
                    menu->setActiveAction(a);
                    QTest::keyClick(menu, Qt::Key_Return);
                    chosen = true;
                    return;
                }
            }
            menu->close();
        });
        const QPoint pos = list->GetCellRect(row, 1).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, list->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(list->viewport(), &event);
        Settle(100);
        return chosen;
    }

    // Opens the menu bar's menu holding id and chooses it there.
    bool ChooseFromMenuBar(int id) {
        m_frame->UpdateCommandUI();
        QAction* action = m_frame->Action(id);
        std::function<bool(QMenu*)> holds = [&](QMenu* menu) {
            for (QAction* a : menu->actions())
                if (a == action || (a->menu() && holds(a->menu()))) return true;
            return false;
        };
        for (QAction* top : m_frame->menuBar()->actions()) {
            if (!top->menu() || !holds(top->menu())) continue;
            if (!action->isEnabled()) return false;
            action->trigger();
            Settle(100);
            return true;
        }
        return false;
    }

    size_t ViewItemRequests() { return m_site.CountLog("ViewItem"); }

    std::map<std::string, int> m_dialogs;
    std::string m_path;
    CMainFrame* m_frame = nullptr;
};

TEST_F(ShellWholeTest, EveryItemCommandRunsOnceFromTheRowMenuTheMenuBarAndTheKeyboard) {
    OpenSiteList(7);
    ASSERT_TRUE(WaitFor([&] { return List()->OnGetRowCount() == 7; }));
    List()->setFocus();

    // Delete: one row goes, from each place.
    ASSERT_TRUE(ChooseFromRowMenu(1, cmd::kDeleteItem));
    EXPECT_EQ(List()->OnGetRowCount(), 6);
    ClickRow(1);
    ASSERT_TRUE(ChooseFromMenuBar(cmd::kDeleteItem));
    EXPECT_EQ(List()->OnGetRowCount(), 5);
    ClickRow(1);
    QTest::keyClick(List(), Qt::Key_Delete);
    Settle(100);
    EXPECT_EQ(List()->OnGetRowCount(), 4);
    ClickRow(1);
    m_frame->UpdateCommandUI();
    QToolBar* toolBar = m_frame->findChild<QToolBar*>("ToolBar128");
    ASSERT_NE(toolBar, nullptr);
    QWidget* button = toolBar->widgetForAction(m_frame->Action(cmd::kDeleteItem));
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
    Settle(100);
    EXPECT_EQ(List()->OnGetRowCount(), 3);
    CebayDoc saved;
    ASSERT_TRUE(saved.OnOpenDocument(m_path));
    EXPECT_EQ(saved.Items().size(), 3u);

    // The dialogs of the item menu open once each.
    for (auto [id, dialog] : {std::pair{cmd::kBidOnItem, "bexora::CBidDlg"},
                              std::pair{cmd::kNotes, "bexora::CNoteDlg"},
                              std::pair{cmd::kAddSingleItem, "bexora::CAddItemDialog"}}) {
        m_dialogs.clear();
        ASSERT_TRUE(ChooseFromRowMenu(0, id)) << dialog;
        EXPECT_EQ(m_dialogs[dialog], 1) << dialog << " from the row menu";
        m_dialogs.clear();
        ClickRow(0);
        ASSERT_TRUE(ChooseFromMenuBar(id)) << dialog;
        EXPECT_EQ(m_dialogs[dialog], 1) << dialog << " from the menu bar";
    }

    // Updates: one page request per selected row, one per row for all.
    for (bool fromRowMenu : {true, false}) {
        m_site.ClearLog();
        ClickRow(2);
        if (fromRowMenu) ASSERT_TRUE(ChooseFromRowMenu(2, cmd::kUpdateSelected));
        else ASSERT_TRUE(ChooseFromMenuBar(cmd::kUpdateSelected));
        ASSERT_TRUE(WaitFor([&] { return ViewItemRequests() >= 1; }));
        Settle(500);
        EXPECT_EQ(ViewItemRequests(), 1u) << (fromRowMenu ? "row menu" : "menu bar");

        m_site.ClearLog();
        if (fromRowMenu) ASSERT_TRUE(ChooseFromRowMenu(0, cmd::kUpdateAll));
        else ASSERT_TRUE(ChooseFromMenuBar(cmd::kUpdateAll));
        ASSERT_TRUE(WaitFor([&] { return ViewItemRequests() >= 3; }));
        Settle(500);
        EXPECT_EQ(ViewItemRequests(), 3u) << (fromRowMenu ? "row menu" : "menu bar");
    }

    // Select All by its accelerator selects every row.
    List()->setFocus();
    QTest::keyClick(List(), Qt::Key_A, Qt::ControlModifier);
    Settle(50);
    EXPECT_EQ(List()->Core().GetSelectedRows().size(), 3u);
    EXPECT_TRUE(TakeShownPrompts().empty());
}

TEST_F(ShellWholeTest, TheKeyboardAloneMovesBetweenThePanesAndSetsASnipe) {
    m_site.Account("jo", "pw");
    CChildFrame* child = OpenSiteList(2);
    ASSERT_TRUE(WaitFor([&] { return List()->OnGetRowCount() == 2; }));
    EXPECT_EQ(m_frame->windowTitle().count("whole.bid"), 1) << m_frame->windowTitle().toStdString();
    auto key = [](int k, Qt::KeyboardModifiers mods = {}) {
        QWidget* to = QApplication::focusWidget() ? QApplication::focusWidget()
                                                  : QApplication::activeWindow();
        QTest::keyClick(to, Qt::Key(k), mods);
        Settle(50);
    };
    QWidget* address = m_frame->AddressBar();
    QWidget* web = child->BrowserPane();
    auto pane = [&]() -> std::string {
        QWidget* f = QApplication::focusWidget();
        if (!f) return "none";
        if (f == address || address->isAncestorOf(f)) return "address";
        if (f == List() || List()->isAncestorOf(f)) return "list";
        if (f == web || web->isAncestorOf(f) || web->focusProxy() == f) return "web";
        return f->metaObject()->className();
    };

    // F6 goes round the address, the list and the web page, Shift+F6 back:
    // the way out of the web page (whose Tab is its own), which coming into
    // the page says.
    List()->setFocus();
    Settle(50);
    std::string order;
    for (int i = 0; i < 3; ++i) {
        key(Qt::Key_F6);
        order += pane() + " ";
    }
    EXPECT_EQ(order, "web address list ");
    key(Qt::Key_F6, Qt::ShiftModifier);
    EXPECT_EQ(pane(), "address");
    key(Qt::Key_F6, Qt::ShiftModifier);
    EXPECT_EQ(pane(), "web");
    EXPECT_NE(m_frame->statusBar()->currentMessage().indexOf("F6"), -1)
        << m_frame->statusBar()->currentMessage().toStdString();
    key(Qt::Key_F6);
    EXPECT_EQ(pane(), "address");
    key(Qt::Key_F6);
    EXPECT_EQ(pane(), "list");

    // A snipe set with keys only: Home, Space for the first row, Alt+B for the Bid
    // menu, B for Bid on Item; in the dialog the maximum has the focus,
    // Alt+T chooses the delay, Tab reaches the seconds, Alt+U, Alt+P and
    // Alt+F the account, Enter is OK.
    key(Qt::Key_Home);
    key(Qt::Key_Space);  // the row with the focus, selected
    ASSERT_EQ(List()->Core().GetSelectedRows(), std::vector<int>{0});
    m_frame->UpdateCommandUI();
    std::string firstFocus;
    SetDialogRunner([&](QDialog& d) {
        if (!dynamic_cast<CBidDlg*>(&d)) return int(QDialog::Rejected);
        d.show();
        QApplication::setActiveWindow(&d);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&d));
        auto* focus = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        if (focus) firstFocus = focus->accessibleName().toStdString();
        if (focus && focus->hasSelectedText()) firstFocus += " selected";
        QTest::keyClicks(QApplication::focusWidget(), "25");
        key(Qt::Key_T, Qt::AltModifier);
        Settle(300);  // a mnemonic clicks its button the way a mouse click does, after a moment
        for (int i = 0; i < 3; ++i) key(Qt::Key_Tab);
        QTest::keyClicks(QApplication::focusWidget(), "40");
        for (auto [k, text] : {std::pair{Qt::Key_U, "jo"}, {Qt::Key_P, "pw"}, {Qt::Key_F, "pw"}}) {
            key(k, Qt::AltModifier);
            QTest::keyClicks(QApplication::focusWidget(), text);
        }
        key(Qt::Key_Return);
        return d.result();
    });
    key(Qt::Key_B, Qt::AltModifier);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr) << "Alt+B opened no menu";
    QTest::keyClick(menu, Qt::Key_B);
    Settle(200);
    EXPECT_EQ(firstFocus, "Maximum bid selected");
    const CItem& item = *List()->Core().GetItem(0);
    EXPECT_NE(item.m_strMyBid.find("25.00"), std::string::npos) << item.m_strMyBid;
    EXPECT_EQ(item.m_bBidPending, 1);
    EXPECT_EQ(item.m_strUserId, "jo");
    EXPECT_EQ(item.m_tEndTime - item.m_tBidTime, 40) << item.m_tEndTime << " " << item.m_tBidTime;
}

TEST_F(ShellWholeTest, CheckNowChecksTheSelectedBidFromTheRowMenuAndTheMenuBarWithoutBidding) {
    m_site.Account("jo", "pw");
    OpenSiteList(2);
    ASSERT_TRUE(WaitFor([&] { return List()->OnGetRowCount() == 2; }));
    CItemListCore& core = List()->Core();
    for (int row : {0, 1}) {
        CItem& item = *core.GetItem(row);
        item.m_strMyBid = "US $20.00";
        item.m_strUserId = "jo";
        item.m_strPassword = row == 0 ? "pw" : "wrong";
    }
    const std::string good = core.GetItem(0)->m_strItemNumber;
    const std::string bad = core.GetItem(1)->m_strItemNumber;
    m_site.ClearLog();

    ASSERT_TRUE(ChooseFromRowMenu(0, cmd::kCheckNow));
    ASSERT_TRUE(WaitFor([&] { return core.CheckResults() == 1; }));
    EXPECT_EQ(core.LastChecks().at(good), "");
    ClickRow(1);
    ASSERT_TRUE(ChooseFromMenuBar(cmd::kCheckNow));
    ASSERT_TRUE(WaitFor([&] { return core.CheckResults() == 2; }));
    EXPECT_EQ(core.LastChecks().at(bad), "Username and Password is invalid.");
    const CItem& checked = *core.GetItem(core.FindRow(bad));
    EXPECT_EQ(checked.m_strMessages.rfind("Bid check failed:" + bad, 0), 0u)
        << checked.m_strMessages;

    EXPECT_EQ(m_site.CountLog("MakeBid&uiid"), 1u);  // the wrong password got no form
    EXPECT_EQ(m_site.CountLog("mode=1"), 0u);
    EXPECT_EQ(m_site.Control("GET", "/_control/items/" + good).Get("bids")->AsNumber(), 0);
}

TEST_F(ShellWholeTest, ViewTogglesHideAndShowTheBarsAndTheirChecksFollow) {
    OpenSiteList(1);
    QToolBar* toolBar = m_frame->findChild<QToolBar*>("ToolBar128");
    ASSERT_NE(toolBar, nullptr);
    ASSERT_TRUE(toolBar->isVisible());
    ASSERT_TRUE(m_frame->statusBar()->isVisible());

    ASSERT_TRUE(ChooseFromMenuBar(cmd::kViewToolBar));
    EXPECT_FALSE(toolBar->isVisible());
    EXPECT_FALSE(m_frame->Action(cmd::kViewToolBar)->isChecked());
    ASSERT_TRUE(ChooseFromMenuBar(cmd::kViewStatusBar));
    EXPECT_FALSE(m_frame->statusBar()->isVisible());
    EXPECT_FALSE(m_frame->Action(cmd::kViewStatusBar)->isChecked());

    ASSERT_TRUE(ChooseFromMenuBar(cmd::kViewToolBar));
    ASSERT_TRUE(ChooseFromMenuBar(cmd::kViewStatusBar));
    EXPECT_TRUE(toolBar->isVisible());
    EXPECT_TRUE(m_frame->statusBar()->isVisible());
    EXPECT_TRUE(m_frame->Action(cmd::kViewToolBar)->isChecked());
    EXPECT_TRUE(m_frame->Action(cmd::kViewStatusBar)->isChecked());
}

TEST_F(ShellWholeTest, ColumnsAndBarsAreAsTheUserLeftThemAfterARestart) {
    CChildFrame* child = OpenSiteList(2);
    CebayListView* list = child->ListPane();
    // First run: EndTime to Percent hidden.
    ASSERT_FALSE(list->IsColumnShown(7));
    ASSERT_TRUE(list->IsColumnShown(3));
    list->ShowColumn(3, false);  // Shipping hidden
    list->ShowColumn(8, true);   // Seller shown
    list->SetColumnWidth(1, 222);
    list->header()->moveSection(list->header()->visualIndex(2), 1);  // Current bid first after Item #
    const int priceAt = list->header()->visualIndex(2);
    ASSERT_TRUE(ChooseFromMenuBar(cmd::kViewStatusBar));
    ASSERT_FALSE(m_frame->statusBar()->isVisible());
    m_frame->close();
    ASSERT_TRUE(WaitFor([&] { return !m_frame->isVisible(); }));
    m_app.reset();

    // Started again: the last list, laid out as it was left.
    CMainFrame& again = Start();
    again.show();
    ASSERT_NE(again.ActiveChild(), nullptr);
    CebayListView* back = again.ActiveChild()->ListPane();
    EXPECT_FALSE(back->IsColumnShown(3));
    EXPECT_TRUE(back->IsColumnShown(8));
    EXPECT_FALSE(back->IsColumnShown(7));
    EXPECT_EQ(back->GetColumnWidth(1), 222);
    EXPECT_EQ(back->header()->visualIndex(2), priceAt);
    EXPECT_FALSE(again.statusBar()->isVisible());
    EXPECT_FALSE(again.Action(cmd::kViewStatusBar)->isChecked());
    QToolBar* toolBar = again.findChild<QToolBar*>("ToolBar128");
    ASSERT_NE(toolBar, nullptr);
    EXPECT_TRUE(toolBar->isVisible());
}

TEST_F(ShellWholeTest, ALayoutWrittenOverByTheBarsOfAnOlderBuildGivesTheFirstRunColumns) {
    // An older build stored the main window's bar state where the columns go.
    WriteProfileBinary("Window size", "state", std::vector<uint8_t>{0x00, 0x00, 0x00, 0xff, 0x00, 0x00, 0x00, 0x00, 0xfd, 0x00});
    CChildFrame* child = OpenSiteList(1);
    CebayListView* list = child->ListPane();
    EXPECT_TRUE(list->IsColumnShown(3));
    EXPECT_FALSE(list->IsColumnShown(7));
    EXPECT_FALSE(list->IsColumnShown(10));
}

TEST_F(ShellWholeTest, NewWindowTakesTheBrowserCommandsAndItsAddsGoToItsList) {
    m_site.Control("POST", "/_control/reset", "{\"demo\":true}");
    WriteProfileInt("Add Selection", "Show Window", 1);
    WriteProfileInt("Add Selection", "Save default", 1);
    WriteProfileInt("Add Selection", "AddSel", 0);
    CChildFrame* child = OpenSiteList(0, "newwindow.bid");
    ASSERT_TRUE(ChooseFromMenuBar(cmd::kWindowNew));
    QMdiArea* area = m_frame->findChild<QMdiArea*>();
    ASSERT_NE(area, nullptr);
    ASSERT_EQ(area->subWindowList().size(), 2);
    // The new window is the active one; the main window still knows its list.
    EXPECT_NE(area->activeSubWindow(), child);
    EXPECT_EQ(m_frame->ActiveChild(), child);
    CebayView* web = m_frame->ActiveBrowser();
    ASSERT_NE(web, nullptr);
    EXPECT_NE(web, child->BrowserPane());

    // The address bar drives the new window's pane.
    const std::string home = "http://127.0.0.1:" + std::to_string(m_site.Site().HttpPort()) + "/";
    bool loaded = false;
    auto c = QObject::connect(web, &CebayView::DocumentComplete, [&](const QString&) { loaded = true; });
    m_frame->SetAddressText(home);
    m_frame->NavigateToAddress(Qt::NoModifier);
    ASSERT_TRUE(WaitFor([&] { return loaded; }));
    QObject::disconnect(c);

    // Its adds go to the list of the window it came from; item commands work.
    web->setFocus();
    ASSERT_TRUE(ChooseFromMenuBar(cmd::kAddFromPage));
    ASSERT_TRUE(WaitFor([&] { return child->ListPane()->OnGetRowCount() > 10; }));
    m_site.ClearLog();
    ASSERT_TRUE(ChooseFromMenuBar(cmd::kUpdateAll));
    ASSERT_TRUE(WaitFor([&] { return ViewItemRequests() > 0; }));
}

// Moving the list lays its window out again: the same window, the list open
// with its snipe pending and its unsaved note, no question asked; the
// choice is stored for the next list.
TEST_F(ShellWholeTest, TheListMovesInPlaceAndItsBidsGoOn) {
    CChildFrame* child = OpenSiteList(2, "position.bid");
    CItem* item = child->ListPane()->Core().GetItem(0);
    item->m_strMyBid = "25.00";
    item->m_bBidPending = 1;
    item->m_tEndTime = std::time(nullptr) + 86400;
    item->m_tBidTime = item->m_tEndTime - 10;
    item->m_strNote = "keep me";
    struct Row {
        int command;
        Qt::Orientation orientation;
        int listIndex;  // the list's place in the splitter
        int stored;
    };
    for (const Row& row : {Row{cmd::kListTop, Qt::Vertical, 0, 0}, Row{cmd::kListLeft, Qt::Horizontal, 0, 2},
                           Row{cmd::kListBottom, Qt::Vertical, 1, 1}, Row{cmd::kListRight, Qt::Horizontal, 1, 3}}) {
        SCOPED_TRACE(row.command);
        ASSERT_TRUE(ChooseFromMenuBar(row.command));
        EXPECT_EQ(TakeShownPrompts(), std::vector<std::string>{});
        ASSERT_EQ(m_frame->ActiveChild(), child);
        EXPECT_EQ(child->Splitter()->orientation(), row.orientation);
        EXPECT_EQ(child->Splitter()->indexOf(child->ListPane()), row.listIndex);
        EXPECT_GT(child->Splitter()->sizes().value(row.listIndex), 50);
        EXPECT_GT(child->Splitter()->sizes().value(1 - row.listIndex), 50);
        EXPECT_EQ(GetProfileInt("Program exit", "View Pos", -1), row.stored);
    }
    EXPECT_TRUE(child->ListPane()->Core().GetItem(0)->m_bBidPending) << child->ListPane()->Core().GetItem(0)->m_strMyBid;
    EXPECT_EQ(child->ListPane()->Core().GetItem(0)->m_strNote, "keep me");
}

TEST_F(ShellWholeTest, ExportWritesThePathAsTypedWithoutAddingAnExtension) {
    OpenSiteList(2);
    const std::string folder = m_site.WorkFile("Экспорт 書類");
    std::filesystem::create_directories(folder);
    const std::string typed = folder + "/list";
    SetDialogRunner([&](QDialog& d) {
        if (auto* files = qobject_cast<QFileDialog*>(&d)) {
            files->selectFile(QString::fromStdString(typed));
            return int(QDialog::Accepted);
        }
        return int(QDialog::Rejected);
    });
    ASSERT_TRUE(ChooseFromMenuBar(cmd::kExport));
    EXPECT_TRUE(std::filesystem::exists(typed));
    EXPECT_FALSE(std::filesystem::exists(typed + ".xls"));
    std::ifstream in(typed);
    std::string first;
    std::getline(in, first);
    EXPECT_NE(first.find("Description"), std::string::npos);
    EXPECT_TRUE(TakeShownPrompts().empty());
}

TEST_F(ShellWholeTest, ANewListJoinsTheRecentFilesWhenCreated) {
    OpenSiteList(1);
    ASSERT_TRUE(ChooseFromMenuBar(cmd::kFileNew));
    CChildFrame* fresh = m_frame->ActiveChild();
    ASSERT_NE(fresh, nullptr);
    CRecentFileList recent;
    recent.ReadList();
    ASSERT_GT(recent.GetSize(), 0);
    EXPECT_EQ(recent[0], fresh->Doc().GetPathName());
}

TEST_F(ShellWholeTest, TheNewerVersionNoticeComesFromTheRealCheckOffTheUiThread) {
    // Hour 10 is divisible by five; the check runs in its minute.
    CManualClock clock;
    clock.Set(1'765'360'000 - 1'765'360'000 % 86400 + 10 * 3600 + 6 * 60 + 59);
    SetClock(&clock);
    Publish("9.9.0.0");
    OpenSiteList(1);
    CebayListView* list = List();
    m_site.ClearLog();
    for (int i = 0; i < 3; ++i) {
        clock.Advance(1);
        list->Tick();
    }
    const bool noticed = WaitFor([&] {
        for (const std::string& line : list->Core().Notices().Lines())
            if (line.find(notice::kNewerVersion) != std::string::npos) return true;
        return false;
    }, 10000);
    SetClock(nullptr);
    EXPECT_TRUE(noticed);
    EXPECT_GE(m_site.CountLog("update.txt"), 1u);
}

// Commands that read the site do it off the UI thread, under a busy
// indicator: the window (its ticks, the workers' results, the repaints)
// goes on while the site is slow.
TEST_F(ShellWholeTest, CommandsThatReadTheSiteKeepTheWindowGoingWhileItIsSlow) {
    CChildFrame* child = OpenSiteList(1);
    ASSERT_TRUE(WaitFor([&] { return List()->OnGetRowCount() == 1; }));
    FixClockOffset(std::nullopt);  // Get eBay Time reads the site's clock for real
    const std::string added = m_site.AddItem(R"({"title":"Slow vase","price":5,"ends_in":86400})");
    SetDialogRunner([&](QDialog& d) {
        if (auto* add = qobject_cast<CAddItemDialog*>(&d)) {
            add->SetText(added);
            return int(QDialog::Accepted);
        }
        return int(QDialog::Rejected);
    });
    // The pane shows the site's home page, which lists a slow jug: the slow
    // page add reads each listed item's page.
    const std::string jug = m_site.AddItem(R"({"title":"Slow jug","price":4,"ends_in":86400})");
    WriteProfileInt("Add Selection", "Show Window", 1);
    WriteProfileInt("Add Selection", "Save default", 1);
    WriteProfileInt("Add Selection", "AddSel", kAddSlow);
    bool loaded = false;
    auto home = QObject::connect(child->BrowserPane(), &CebayView::DocumentComplete,
                                  [&](const QString&) { loaded = true; });
    m_frame->SetAddressText("http://127.0.0.1:" + std::to_string(m_site.Site().HttpPort()) + "/");
    m_frame->NavigateToAddress(Qt::NoModifier);
    ASSERT_TRUE(WaitFor([&] { return loaded; }));
    QObject::disconnect(home);
    struct Row {
        int command;
        std::string slow;  // what the slow request's address holds
    };
    for (const Row& row : {Row{cmd::kSiteTime, "TimeShow"}, Row{cmd::kAddSingleItem, "item=" + added},
                           Row{cmd::kAddFromPage, "item=" + jug}}) {
        SCOPED_TRACE(row.command);
        if (row.command == cmd::kAddFromPage) child->BrowserPane()->setFocus();
        m_site.Fault("{\"contains\":\"" + row.slow + "\",\"latency_ms\":1500,\"count\":1}");
        // Stands for the tick, the workers' results and the repaints: all
        // would wait while the UI thread itself waited for the site.
        int ran = 0;
        QTimer beat;
        QObject::connect(&beat, &QTimer::timeout, [&] { ++ran; });
        beat.start(50);
        QElapsedTimer took;
        took.start();
        ASSERT_TRUE(ChooseFromMenuBar(row.command));
        EXPECT_GE(took.elapsed(), 1400);
        EXPECT_GE(ran, 15) << "the window went on while the site was read";
    }
    const std::vector<std::string> shown = TakeShownPrompts();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind("Current eBay time:", 0), 0u) << shown[0];
    EXPECT_GE(m_site.CountLog("TimeShow"), 1u);
    ASSERT_TRUE(WaitFor([&] { return List()->Core().FindRow(jug) >= 0; }));
    CebayDoc saved;
    ASSERT_TRUE(saved.OnOpenDocument(m_path));
    EXPECT_NE(saved.FindItem(added), nullptr);
}

}  // namespace
}  // namespace bexora::test
