// The list's dialogs: the bid dialog's rules and checks, notes, the notice
// window and the two add-item dialogs, each run through the dialog runner
// so nothing blocks.

#include <QAbstractItemView>
#include <QApplication>
#include <QHeaderView>
#include <QCheckBox>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <set>

#include "ListUiSupport.h"
#include "listview/ui/NoteDlg.h"
#include "listview/ui/WarnDlg.h"
#include "browser/ui/AddItemDialog.h"
#include "browser/ui/AddSelection.h"
#include "listview/ui/BidDlg.h"

namespace bexora::test {
namespace {

// Types into an edit as the user would (textEdited fires).
void Type(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    edit->insert(text);
}

BidDialogValues Preset() {
    BidDialogValues v;
    v.m_strItemInfo = "Blue vase";
    v.m_strEndTimeText = "End local  time: 03/04/24 12:00:00";
    v.m_strMinBidText = "(Mininum bid: $11.00)";
    v.m_strUserName = "buyer";
    v.m_strPass = "secret";
    v.m_strConfirm = "secret";
    v.m_fMaxBid = 11.0;
    v.m_groupNames = {"Lamps", "Vases"};
    return v;
}

class BidDlgTest : public ListUiTest {
protected:
    void SetUp() override {
        ListUiTest::SetUp();
        m_groups.JoinGroup("Lamps", 2);
        m_groups.JoinGroup("Vases", 4);
    }
    CBidGroupList m_groups;
    CBidDlg m_dlg;
};

TEST_F(BidDlgTest, ShowsThePresetAndItsEnableRules) {
    m_dlg.Preset(Preset(), m_groups);
    EXPECT_EQ(m_dlg.windowTitle(), "Place a bid");
    EXPECT_EQ(m_dlg.ItemInfoLabel()->text(), "Blue vase");
    EXPECT_EQ(m_dlg.MinBidLabel()->text(), "(Mininum bid: $11.00)");
    EXPECT_GT(m_dlg.EndTimeLabel()->font().pixelSize(), m_dlg.font().pixelSize());
    EXPECT_EQ(m_dlg.MaxBidEdit()->text(), "11.00");
    EXPECT_TRUE(m_dlg.BidNowButton()->isChecked());
    EXPECT_TRUE(m_dlg.OkButton()->isEnabled());
    // Without a group the combo box and the quantity are off.
    EXPECT_FALSE(m_dlg.GroupCombo()->isEnabled());
    EXPECT_FALSE(m_dlg.QuantityEdit()->isEnabled());
    EXPECT_EQ(m_dlg.GroupCombo()->currentText(), "Create or select a group");
    EXPECT_EQ(m_dlg.GroupCombo()->count(), 2);
    // The delay edits start enabled; the radios switch them.
    EXPECT_TRUE(m_dlg.HoursEdit()->isEnabled());
    m_dlg.BidNowButton()->click();
    EXPECT_FALSE(m_dlg.SecondsEdit()->isEnabled());
    m_dlg.DelayButton()->click();
    EXPECT_TRUE(m_dlg.SecondsEdit()->isEnabled());

    Type(m_dlg.ConfirmEdit(), "secreT");
    EXPECT_FALSE(m_dlg.OkButton()->isEnabled());
    // Editing the user name does not let a wrong confirmation through.
    Type(m_dlg.UserNameEdit(), "buyer2");
    EXPECT_FALSE(m_dlg.OkButton()->isEnabled());
    Type(m_dlg.ConfirmEdit(), "secret");
    EXPECT_TRUE(m_dlg.OkButton()->isEnabled());
    Type(m_dlg.UserNameEdit(), "");
    EXPECT_FALSE(m_dlg.OkButton()->isEnabled());

    BidDialogValues empty = Preset();
    empty.m_strPass = empty.m_strConfirm = "";
    m_dlg.Preset(empty, m_groups);
    EXPECT_FALSE(m_dlg.OkButton()->isEnabled());
}

// A screen reader names a control by its accessible name, else by a label
// that is its buddy, else by its group box's title: every edit and list of
// the dialogs has a name of its own, no two alike.
TEST_F(BidDlgTest, EveryInputHasANameOfItsOwn) {
    CAddItemDialog add;
    for (QWidget* dialog : std::initializer_list<QWidget*>{&m_dlg, &add}) {
        std::set<QString> names;
        for (QWidget* w : dialog->findChildren<QWidget*>()) {
            const bool input = qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) ||
                               qobject_cast<QAbstractItemView*>(w);
            // A combo box's own edit is named through the combo box.
            // A combo box's popup list and a list's header go with their owner.
            if (!input || qobject_cast<QComboBox*>(w->parentWidget()) || w->window() != dialog ||
                qobject_cast<QHeaderView*>(w))
                continue;
            QString name = w->accessibleName();
            for (QLabel* l : dialog->findChildren<QLabel*>())
                if (name.isEmpty() && l->buddy() == w) name = l->text().remove('&');
            EXPECT_FALSE(name.isEmpty()) << w->metaObject()->className() << " in " << dialog->windowTitle().toStdString();
            EXPECT_TRUE(names.insert(name).second) << name.toStdString();
        }
    }
}

TEST_F(BidDlgTest, GroupChoicePreloadsItsQuantity) {
    m_dlg.Preset(Preset(), m_groups);
    m_dlg.EnableGroupBox()->click();
    EXPECT_TRUE(m_dlg.GroupCombo()->isEnabled());
    EXPECT_TRUE(m_dlg.QuantityEdit()->isEnabled());
    m_dlg.GroupCombo()->setCurrentIndex(1);
    emit m_dlg.GroupCombo()->activated(1);
    EXPECT_EQ(m_dlg.QuantityEdit()->text(), "4");
    EXPECT_EQ(m_dlg.Values().m_strGroupName, "Vases");
    // Off again: quantity back to 1; on again: the named group's count.
    m_dlg.EnableGroupBox()->click();
    EXPECT_EQ(m_dlg.QuantityEdit()->text(), "1");
    EXPECT_FALSE(m_dlg.QuantityEdit()->isEnabled());
    m_dlg.EnableGroupBox()->click();
    EXPECT_EQ(m_dlg.QuantityEdit()->text(), "4");

    // Opening with the group on and an existing name preloads it at once.
    BidDialogValues v = Preset();
    v.m_bEnableGroup = true;
    v.m_strGroupName = "Lamps";
    OnEnableGroupClicked(v, m_groups, true);
    m_dlg.Preset(v, m_groups);
    EXPECT_EQ(m_dlg.QuantityEdit()->text(), "2");
}

TEST_F(BidDlgTest, OkRefusesWhatCannotBeBid) {
    BidDialogValues v = Preset();
    v.m_bEnableGroup = true;
    m_dlg.Preset(v, m_groups);
    m_dlg.OkButton()->click();
    EXPECT_EQ(m_dlg.result(), QDialog::Rejected);
    EXPECT_EQ(TakeShownPrompts(), (std::vector<std::string>{"You've enabled BidGroup. Please give it a name!"}));

    m_dlg.GroupCombo()->setEditText("Clocks");
    Type(m_dlg.QuantityEdit(), "0");
    m_dlg.OkButton()->click();
    EXPECT_EQ(TakeShownPrompts(), (std::vector<std::string>{"Please input the quantity!"}));

    Type(m_dlg.QuantityEdit(), "3");
    Type(m_dlg.MaxBidEdit(), "1000001");
    m_dlg.OkButton()->click();
    EXPECT_EQ(TakeShownPrompts(), (std::vector<std::string>{"Enter a number between 0 and 1000000."}));
    Type(m_dlg.MaxBidEdit(), "lots");
    m_dlg.OkButton()->click();
    EXPECT_EQ(TakeShownPrompts(), (std::vector<std::string>{"Enter a number between 0 and 1000000."}));
    EXPECT_EQ(m_dlg.result(), QDialog::Rejected);

    Type(m_dlg.MaxBidEdit(), "25.5");
    m_dlg.OkButton()->click();
    EXPECT_TRUE(TakeShownPrompts().empty());
    EXPECT_EQ(m_dlg.result(), QDialog::Accepted);
    EXPECT_EQ(m_dlg.Values().m_strGroupName, "Clocks");
    EXPECT_EQ(m_dlg.Values().m_nQuantity, 3);
    EXPECT_DOUBLE_EQ(m_dlg.Values().m_fMaxBid, 25.5);
}

TEST_F(ListUiTest, BidCommandSchedulesThroughTheDialog) {
    WriteProfileInt("Bid Dialog", "Bid Pending", 1);
    Add("700", 7200);
    Start();
    m_view->SetSelectedRows({0}, 0);
    m_view->SetBidRefresh([](CItem&) { return true; });
    PlayDialog<CBidDlg>([](CBidDlg& d) {
        EXPECT_TRUE(d.DelayButton()->isChecked());
        Type(d.UserNameEdit(), "me");
        Type(d.PasswordEdit(), "pw");
        Type(d.ConfirmEdit(), "pw");
        Type(d.MaxBidEdit(), "14");
        d.OkButton()->click();
        return d.result();
    });
    m_view->OnItemCommand(listcmd::kBidOnItem);
    const CItem& item = *Core().GetItem(0);
    EXPECT_TRUE(item.m_bBidPending);
    EXPECT_EQ(item.m_strMyBid, "$14.00");
    EXPECT_EQ(m_view->OnGetCellText(0, kColMyBid), "$14.00");
    // Selected rows are drawn in the highlight colour; the state shows after.
    m_view->SetSelectedRows({});
    Settle();
    EXPECT_EQ(CellGround(*m_view, GrabViewport(*m_view), 0, 1), QColor(164, 125, 210));
}

// The page before the bid dialog is read on a worker while the UI thread
// goes on; the dialog opens once it has been read.
TEST_F(ListUiTest, BidCommandReadsThePageOffTheUiThread) {
    Add("700", 7200);
    Start();
    m_view->SetSelectedRows({0}, 0);
    std::atomic<bool> readOnUi{true};
    m_view->SetBidRefresh([&](CItem& item) {
        readOnUi = QThread::currentThread() == qApp->thread();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        item.m_strCurrentPrice = "$11.00";
        return true;
    });
    bool opened = false;
    PlayDialog<CBidDlg>([&](CBidDlg&) {
        opened = true;
        return int(QDialog::Rejected);
    });
    m_view->OnItemCommand(listcmd::kBidOnItem);
    EXPECT_FALSE(readOnUi);
    EXPECT_TRUE(opened);
    EXPECT_EQ(Core().GetItem(0)->m_strCurrentPrice, "$11.00");
}

TEST_F(ListUiTest, BidPageReadCanBeCancelled) {
    Add("700", 7200);
    Start();
    m_view->SetSelectedRows({0}, 0);
    std::atomic<bool> release{false};
    m_view->SetBidRefresh([&](CItem& item) {
        for (int i = 0; i < 500 && !release; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        item.m_strCurrentPrice = "$99.00";
        return true;
    });
    bool opened = false;
    PlayDialog<CBidDlg>([&](CBidDlg&) {
        opened = true;
        return int(QDialog::Rejected);
    });
    bool sawBusy = false;
    QTimer::singleShot(700, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* busy = qobject_cast<QProgressDialog*>(w);
            if (busy && busy->isVisible() && busy->labelText() == kReadingBidPageText) {
                sawBusy = true;
                for (QPushButton* button : busy->findChildren<QPushButton*>()) button->click();
            }
        }
    });
    m_view->OnItemCommand(listcmd::kBidOnItem);
    release = true;
    EXPECT_TRUE(sawBusy);
    EXPECT_FALSE(opened);
    // The late read changes nothing.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Settle();
    EXPECT_EQ(Core().GetItem(0)->m_strCurrentPrice, "$10.00");
}

TEST_F(ListUiTest, NotesClearCancelAndTrim) {
    Add("1").m_strNote = "keep me";
    Start();
    m_view->SetSelectedRows({0}, 0);

    PlayDialog<CNoteDlg>([](CNoteDlg& d) {
        EXPECT_EQ(d.windowTitle(), "Add a Note:");
        EXPECT_EQ(d.Edit()->toPlainText(), "keep me");
        d.Edit()->setPlainText("something else");
        d.CancelButton()->click();
        return d.result();
    });
    m_view->OnItemCommand(listcmd::kNotes);
    EXPECT_EQ(Core().GetItem(0)->m_strNote, "keep me");
    EXPECT_EQ(m_view->OnGetRowImage(0), kImageNote);
    EXPECT_EQ(m_view->OnGetTipText(0, 0), "keep me");

    PlayDialog<CNoteDlg>([](CNoteDlg& d) {
        d.ClearButton()->click();
        EXPECT_TRUE(d.Edit()->toPlainText().isEmpty());
        d.CancelButton()->click();
        return d.result();
    });
    m_view->OnItemCommand(listcmd::kNotes);
    EXPECT_EQ(Core().GetItem(0)->m_strNote, "");
    EXPECT_EQ(m_view->OnGetRowImage(0), kImageNormal);
    EXPECT_EQ(m_view->OnGetTipText(0, 0), "");

    PlayDialog<CNoteDlg>([](CNoteDlg& d) {
        d.Edit()->setPlainText("two\nlines\n\n\n");
        d.OkButton()->click();
        return d.result();
    });
    m_view->OnItemCommand(listcmd::kNotes);
    EXPECT_EQ(Core().GetItem(0)->m_strNote, "two\r\nlines");
    EXPECT_EQ(m_view->OnGetRowImage(0), kImageNote);
}

TEST_F(ListUiTest, NoticeWindowFiltersShowsWidensAndEmpties) {
    CWarnDlg w;
    EXPECT_EQ(w.windowTitle(), "Item Information");
    w.SetLevel(3);
    EXPECT_FALSE(w.AddMessage("outbid on 1", 2));
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(w.AddMessage("won 1", 3));
    EXPECT_TRUE(w.isVisible());
    const int narrow = w.GetHorizontalExtent();
    w.AddMessage(std::string(300, 'W'), 3);
    EXPECT_GT(w.GetHorizontalExtent(), narrow + 1000);
    Settle();
    EXPECT_GT(w.List()->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(w.List()->count(), 2);
    w.OkButton()->click();
    EXPECT_EQ(w.List()->count(), 0);
    EXPECT_FALSE(w.isVisible());
    w.AddMessage("again", 3);
    EXPECT_TRUE(w.isVisible());
    w.CancelButton()->click();
    EXPECT_EQ(w.List()->count(), 0);
    EXPECT_FALSE(w.isVisible());
}

TEST_F(ListUiTest, ListNoticesReachTheWindowAndItsOkEmptiesTheLog) {
    Start();
    Core().Notify("Bid Success: 1", 3);
    CWarnDlg* w = m_view->NoticeWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    ASSERT_EQ(w->List()->count(), 1);
    EXPECT_EQ(w->List()->item(0)->text(), "Bid Success: 1");
    w->OkButton()->click();
    EXPECT_TRUE(Core().Notices().Lines().empty());
}

TEST_F(ListUiTest, AddSingleItemTrimsAndCancelAddsNothing) {
    // Nothing listens there: the page cannot be read.
    WriteProfileString("Site", "SiteItemHost", "127.0.0.1:1");
    Start();
    PlayDialog<CAddItemDialog>([](CAddItemDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Add a single item");
        d.Edit()->setText("  123456 ");
        d.CancelButton()->click();
        return d.result();
    });
    m_view->OnItemCommand(listcmd::kAddSingleItem);
    EXPECT_EQ(Core().GetRowCount(), 0);
    EXPECT_TRUE(TakeShownPrompts().empty());

    PlayDialog<CAddItemDialog>([](CAddItemDialog& d) {
        d.Edit()->setText("  123456 ");
        d.OkButton()->click();
        EXPECT_EQ(d.GetText(), "  123456 ");
        return d.result();
    });
    m_view->OnItemCommand(listcmd::kAddSingleItem);
    EXPECT_EQ(Core().GetRowCount(), 0);
    EXPECT_EQ(TakeShownPrompts(), (std::vector<std::string>{"Can not add Item.\n Check the item number!"}));
}

TEST_F(ListUiTest, AddSelectionReturnsTheChoicesOnlyOnOk) {
    CAddSelection dlg;
    EXPECT_EQ(dlg.windowTitle(), "Select the way to add item");
    EXPECT_TRUE(dlg.SlowButton()->isChecked());  // on its own: slow, boxes clear
    EXPECT_FALSE(dlg.DoNotShowBox()->isChecked());

    AddSelection values;
    values.m_nMethod = kAddSlow;
    values.m_bSaveDefault = 1;
    PlayDialog<CAddSelection>([](CAddSelection& d) {
        EXPECT_TRUE(d.SaveDefaultBox()->isChecked());
        d.FastButton()->click();
        d.DoNotShowBox()->click();
        d.OkButton()->click();
        return d.result();
    });
    ASSERT_TRUE(dlg.DoModal(values));
    EXPECT_EQ(values.m_nMethod, kAddFast);
    EXPECT_EQ(values.m_bSaveDefault, 1);
    EXPECT_EQ(values.m_bDoNotShow, 1);

    AddSelection untouched;
    PlayDialog<CAddSelection>([](CAddSelection& d) {
        d.FastButton()->click();
        d.reject();
        return d.result();
    });
    EXPECT_FALSE(dlg.DoModal(untouched));
    EXPECT_EQ(untouched.m_nMethod, kAddSlow);

    // The add dialogs in a large desktop font: every text shows whole, the
    // wrapped explanations on all their lines.
    const QFont kept = QApplication::font();
    QFont large = kept;
    large.setPointSizeF(14);
    QApplication::setFont(large);
    CAddSelection selection;
    CAddItemDialog single;
    for (QDialog* d : std::initializer_list<QDialog*>{&selection, &single}) {
        d->show();
        QApplication::processEvents();
        for (QLabel* label : d->findChildren<QLabel*>()) {
            const QString what = d->windowTitle() + ": " + label->text().left(30);
            const int needed = label->wordWrap() ? label->heightForWidth(label->width())
                                                 : label->sizeHint().height();
            EXPECT_GE(label->height(), needed) << what.toStdString();
            if (!label->wordWrap()) {
                EXPECT_GE(label->width(), label->sizeHint().width()) << what.toStdString();
            }
        }
        for (QAbstractButton* b : d->findChildren<QAbstractButton*>())
            EXPECT_GE(b->width(), b->sizeHint().width()) << b->text().toStdString();
        d->hide();
    }
    QApplication::setFont(kept);
}

}  // namespace
}  // namespace bexora::test
