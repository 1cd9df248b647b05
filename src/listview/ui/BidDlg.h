#pragma once
// "Place a bid": the modal dialog of "Bid on Item". It shows the values the
// bid set-up preset, lets the user change them under the dialog's enable
// rules and hands back what OK confirmed. The checks on OK and the group
// reactions are the bid set-up's own, shared with bexora-cli.

#include <QDialog>

#include "listview/BidSetup.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace bexora {

class CBidDlg : public QDialog, public IBidDialog {
    Q_OBJECT
public:
    explicit CBidDlg(QWidget* parent = nullptr);

    // Presets the controls from values, runs the dialog (ExecDialog) and on
    // OK copies what the user confirmed back into values.
    bool DoModal(BidDialogValues& values, const CBidGroupList& groups) override;

    // Loads values into the controls (what opening the dialog does).
    void Preset(const BidDialogValues& values, const CBidGroupList& groups);
    // The values as the controls hold them now.
    const BidDialogValues& Values() const { return m_values; }

    void accept() override;  // OK: stays open when the checks refuse

    // The controls, for tests.
    QRadioButton* BidNowButton() const { return m_pBidNow; }
    QRadioButton* DelayButton() const { return m_pDelay; }
    QLineEdit* HoursEdit() const { return m_pHours; }
    QLineEdit* MinutesEdit() const { return m_pMinutes; }
    QLineEdit* SecondsEdit() const { return m_pSeconds; }
    QCheckBox* SetDefaultBox() const { return m_pSetDefault; }
    QLineEdit* UserNameEdit() const { return m_pUserName; }
    QLineEdit* PasswordEdit() const { return m_pPass; }
    QLineEdit* ConfirmEdit() const { return m_pConfirm; }
    QCheckBox* RememberBox() const { return m_pRemember; }
    QLineEdit* MaxBidEdit() const { return m_pMaxBid; }
    QLineEdit* QuantityEdit() const { return m_pQuantity; }
    QCheckBox* EnableGroupBox() const { return m_pEnableGroup; }
    QComboBox* GroupCombo() const { return m_pGroup; }
    QLabel* ItemInfoLabel() const { return m_pItemInfo; }
    QLabel* EndTimeLabel() const { return m_pEndTime; }
    QLabel* MinBidLabel() const { return m_pMinBid; }
    QPushButton* OkButton() const { return m_pOk; }
    QPushButton* CancelButton() const { return m_pCancel; }

private:
    void ReadControls();
    void UpdateOkButton();
    void ShowQuantity();
    void OnModeClicked(bool delay);
    void OnEnableGroupClicked(bool on);
    void OnGroupSelected(int index);

    BidDialogValues m_values;
    const CBidGroupList* m_pGroups = nullptr;
    bool m_bLoading = false;

    QLabel* m_pItemInfo;
    QLabel* m_pEndTime;
    QLabel* m_pMinBid;
    QRadioButton* m_pBidNow;
    QRadioButton* m_pDelay;
    QLineEdit* m_pHours;
    QLineEdit* m_pMinutes;
    QLineEdit* m_pSeconds;
    QCheckBox* m_pSetDefault;
    QLineEdit* m_pUserName;
    QLineEdit* m_pPass;
    QLineEdit* m_pConfirm;
    QCheckBox* m_pRemember;
    QLineEdit* m_pMaxBid;
    QLineEdit* m_pQuantity;
    QCheckBox* m_pEnableGroup;
    QComboBox* m_pGroup;
    QPushButton* m_pOk;
    QPushButton* m_pCancel;
};

// The page read before the bid dialog opens, on a worker thread: the UI
// thread goes on with its events (ticks, worker results) under a busy
// indicator with Cancel. copy is refreshed with refresh (unset:
// CItem::UpdateFromSite) and ok tells whether that worked. False when the
// user cancelled; the read then finishes on its own and is thrown away.
bool ReadBidPage(QWidget* parent, CItem& copy, const BidRefreshFn& refresh, bool& ok);
// The busy indicator's text, for tests that look for it.
constexpr const char* kReadingBidPageText = "Reading the item's page...";

}  // namespace bexora
