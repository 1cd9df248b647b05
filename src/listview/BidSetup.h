#pragma once
// Setting up a bid on the selected item ("Bid on Item", command 141): the
// item's page is read again at once, items that cannot be bid on here are
// refused, the bid dialog is preset from the settings and shown, and on OK
// the item is set up and either bid at once or scheduled; the dialog's
// choices become the next defaults.
//
// The dialog itself belongs to a front end (IBidDialog): the Qt dialog shows
// BidDialogValues and hands back what the user confirmed; bexora-cli fills
// them from its options. The checks the dialog makes on OK and its reactions
// that need the group list are functions here, so both front ends share them.
//
// UI thread only.

#include <functional>
#include <string>
#include <vector>

#include "model/BidGroup.h"
#include "model/Item.h"

namespace bexora {

class CItemListCore;

namespace bidtext {
constexpr const char* kRetrieveFailed =
    "Error retrieving item data, This maybe because the item is invalid or it is a Live "
    "auction.\nPlease double click on the item to see details in the browser window";
constexpr const char* kCannotGetItem =
    "Can not get item.\nPlease double click on the Item and bid from the browser page.";
constexpr const char* kBidEnded = "Current bid is ended.";
constexpr const char* kLiveAuction =
    "This is a LIVE auction. \nPlease double click on the Item and bid from the browser page.";
constexpr const char* kPendingQuestion =
    "There is a pending bid place on this item.  The pending bid will be disabled if you place "
    "another bid on it.  Do you want to continue?";
constexpr const char* kFixedPrice =
    "This is a fixed price item, please double click on the item and \"Buy It Now\" from the "
    "browser screen.";
constexpr const char* kVerification =
    "Ebay requires user's extra varification information when bidding on item with price more "
    "than $15,000. If you havn't done so, please press \"Cancel\" and double click on the item to "
    "show the item page. Follow the instruction on the page to finish the bidding.\nIf you gave "
    "these information before, you can continue by pressing \"OK\".";
constexpr const char* kNoGroupName = "You've enabled BidGroup. Please give it a name!";
constexpr const char* kNoQuantity = "Please input the quantity!";
constexpr const char* kMaxBidRange = "Enter a number between 0 and 1000000.";
// What the group combo box shows before a group is chosen.
constexpr const char* kGroupPlaceholder = "Create or select a group";
constexpr const char* kDialogTitle = "Place a bid";
}  // namespace bidtext

// A minimum bid from this amount on needs the site's extra verification.
constexpr double kVerificationLimit = 15000.0;
constexpr double kMaxBidLimit = 1000000.0;

// What the bid dialog shows and what the user confirms in it.
struct BidDialogValues {
    // Shown only.
    std::string m_strItemInfo;              // the title
    std::string m_strEndTimeText;           // "End local  time: ..."
    std::string m_strMinBidText;            // "(Mininum bid: ...)"
    std::vector<std::string> m_groupNames;  // the combo box's list, in list order

    // Edited.
    int m_nMode = 0;  // 0 "Bid now", 1 "Time delay bid"
    int m_nHours = 0, m_nMinutes = 0, m_nSeconds = 0;
    bool m_bSetDefault = true;  // "set as default bid time"
    std::string m_strUserName = "default";
    std::string m_strPass;
    std::string m_strConfirm;
    bool m_bRememberPassword = true;
    double m_fMaxBid = 10.0;
    int m_nQuantity = 1;
    bool m_bEnableGroup = false;
    std::string m_strGroupName = bidtext::kGroupPlaceholder;
    int m_nGroupSel = -1;  // last index chosen in the combo box

    void AddGroupName(const std::string& name) { m_groupNames.push_back(name); }
};

// The modal dialog as a front end shows it.
class IBidDialog {
public:
    virtual ~IBidDialog() = default;
    // Shows the dialog preset with values. OK: values holds what the user
    // confirmed and true is returned; a dialog calls CheckBidDialogOk before
    // it closes on OK (and stays open when that refuses). Cancel: false.
    // groups is the list's group list, for OnGroupSelected and
    // OnEnableGroupClicked.
    virtual bool DoModal(BidDialogValues& values, const CBidGroupList& groups) = 0;
    // Whether OK keeps the dialog's choices as the next presets (the
    // window's dialog does; a terminal's bid only with --set-default).
    virtual bool KeepsPresets() const { return true; }
    // Whether OK keeps the account (user ID and password, "Remember my
    // password" permitting) as the next one: the window's dialog with its
    // presets; a terminal's bid only with --save-password.
    virtual bool SavesAccount() const { return KeepsPresets(); }
};

// A dialog that runs a function: bexora-cli fills the values from its
// options, tests script the user's answer.
class CCallbackBidDialog : public IBidDialog {
public:
    using Fn = std::function<bool(BidDialogValues&, const CBidGroupList&)>;
    explicit CCallbackBidDialog(Fn fn) : m_fn(std::move(fn)) {}
    bool DoModal(BidDialogValues& values, const CBidGroupList& groups) override {
        return m_fn ? m_fn(values, groups) : false;
    }
    bool KeepsPresets() const override { return m_bKeepsPresets; }
    void SetKeepsPresets(bool keeps) { m_bKeepsPresets = keeps; }
    bool SavesAccount() const override { return m_bSavesAccount; }
    void SetSavesAccount(bool saves) { m_bSavesAccount = saves; }

private:
    Fn m_fn;
    bool m_bKeepsPresets = true;
    bool m_bSavesAccount = true;
};

// How "Bid on Item" ended.
enum class BidSetupResult {
    NothingSelected,  // no row selected: nothing happened
    RefreshFailed,    // the page could not be read (message shown)
    Refused,          // the item cannot be bid on here (message shown)
    Declined,         // the user said No / Cancel to a question
    Cancelled,        // the dialog was cancelled (or its values were refused)
    BidNow,           // set up and handed to TriggerBid
    Scheduled,        // set up as a time-delay bid
};

// How the item's page is read again: refreshes the copy it is given, true
// on success. Unset: CItem::UpdateFromSite.
using BidRefreshFn = std::function<bool(CItem&)>;

// Command 141 on the first selected row, with every refusal and question
// through ShowPrompt, in order. Reads the page on the calling thread: for
// bexora-cli's one-shot command; a front end whose UI thread runs the list
// reads it on a worker between the two halves below.
BidSetupResult OnBidOnItem(CItemListCore& core, IBidDialog& dialog,
                           const BidRefreshFn& refresh = {});
// The first half: a copy of the first selected row's item to read the page
// into (on any thread); false when nothing is selected.
bool BeginBidOnItem(CItemListCore& core, CItem& copy);
// The second half, on the UI thread once the page was read into fresh (ok:
// it was): the refusals, the dialog and its OK. The row is found again by
// the item number; Cancelled when it has gone meanwhile.
BidSetupResult FinishBidOnItem(CItemListCore& core, IBidDialog& dialog, const CItem& fresh, bool ok);

// ---- the pieces, in the order OnBidOnItem uses them ----

// The number in a minimum bid text ("US $15,000.00" -> 15000), commas
// dropped; 0 when it has no digit. Independent of the C locale.
double MinBidValue(const std::string& minBid);

// The refusals and questions about an item just refreshed, in order; true
// when the bid may go on to the dialog. Otherwise why (if given) tells a
// refusal (Refused) from a No or Cancel of the user's (Declined).
bool CheckItemBiddable(const CItem& item, BidSetupResult* why = nullptr);

// The dialog's presets: timing and mode from the settings ("set as default
// bid time" on) or 0:00:30 "Bid now" (off), the remembered account, the
// group check box, the group names, the item's texts, the minimum bid as
// the maximum bid. clockOffset turns the end time into local time.
BidDialogValues PresetBidDialog(const CItem& item, const CBidGroupList& groups,
                                int64_t clockOffset);

// ---- the dialog's own behaviour ----

// The text the dialog's OK refuses with, or nullptr when it may close:
// group enabled without a name, a quantity below 1, a maximum bid outside
// 0..1000000, a password too long to be stored.
const char* BidDialogRefusal(const BidDialogValues& values);
// The same, showing the refusal (the dialog then stays open); true to close.
bool CheckBidDialogOk(const BidDialogValues& values);
// Whether OK is enabled: a user name, a password, and the confirmation equal
// to it.
bool BidDialogOkEnabled(const BidDialogValues& values);
// "Enable BidGroup" changed to on: an existing group named in the combo box
// gives its wanted count as the quantity; off: the quantity goes back to 1.
void OnEnableGroupClicked(BidDialogValues& values, const CBidGroupList& groups, bool on);
// A group name chosen from the combo box's list (index into m_groupNames):
// it becomes the group name, and an existing group's wanted count the
// quantity.
void OnGroupSelected(BidDialogValues& values, const CBidGroupList& groups, int index);

// ---- OK ----

// The price's currency prefix: "US $12.50" -> "US $".
std::string CurrencyPrefix(const std::string& price);
// The prefix followed by the amount with two decimals ("US $12.50"), with a
// '.' whatever the C locale says.
std::string FormatMyBid(const std::string& price, double maxBid);

// The OK step on item (one of core's rows): the bid fields, the group, bid
// now or the scheduled moment with its history line, the row and the save.
// Returns BidNow or Scheduled. Does not write the settings.
BidSetupResult ApplyBidDialog(CItemListCore& core, CItem& item, const BidDialogValues& values);
// The dialog's choices as the next defaults; the account only with
// writeAccount (and "Remember my password").
void WriteBidDialogSettings(const BidDialogValues& values, bool writeAccount = true);

}  // namespace bexora
