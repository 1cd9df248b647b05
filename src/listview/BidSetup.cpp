#include "listview/BidSetup.h"

#include "model/PasswordVault.h"

#include <charconv>
#include <cmath>

#include "base/Prompt.h"
#include "base/Settings.h"
#include "listview/ItemListCore.h"
#include "site/SiteTime.h"
#include "text/TextTools.h"

namespace bexora {

namespace {

const std::string kNA = "N/A";

bool Contains(const std::string& s, const char* what) {
    return s.find(what) != std::string::npos;
}

// The group a name stands for, if the list holds it.
const CBidGroup* ExistingGroup(const CBidGroupList& groups, const std::string& name) {
    if (name.empty() || name == bidtext::kGroupPlaceholder) return nullptr;
    return groups.FindGroup(name);
}

// A name that cannot be a group: nothing typed, or the text that means "no
// group" in an item (a group by that name would count a member that no item
// ever leaves).
bool IsMissingGroupName(const std::string& name) {
    return name == bidtext::kGroupPlaceholder || Trim(name, " ").empty() || name == kNA;
}

}  // namespace

double MinBidValue(const std::string& minBid) {
    const std::string number = GetNumber(minBid, false);
    // PriceValue drops the commas and reads the rest as atof would in the
    // "C" locale; the desktop program runs in the user's locale, where a
    // plain atof could stop at the '.'.
    return number.empty() ? 0.0 : PriceValue(number);
}

bool CheckItemBiddable(const CItem& item, BidSetupResult* why) {
    auto refuse = [why](const char* text) {
        ShowPrompt(text, PromptButtons::Ok, PromptIcon::Warning);
        if (why) *why = BidSetupResult::Refused;
        return false;
    };
    auto ask = [why](const char* text, PromptButtons buttons, PromptIcon icon, PromptAnswer go) {
        if (ShowPrompt(text, buttons, icon) == go) return true;
        if (why) *why = BidSetupResult::Declined;
        return false;
    };
    if (item.m_strBidCount == kNA || item.m_strCurrentPrice == kNA)
        return refuse(bidtext::kCannotGetItem);
    if (Contains(item.m_strTimeLeft, "Ended")) return refuse(bidtext::kBidEnded);
    if (item.m_strBidCount == "LIVE") return refuse(bidtext::kLiveAuction);
    if (item.m_bBidPending && !ask(bidtext::kPendingQuestion, PromptButtons::YesNo,
                                   PromptIcon::Question, PromptAnswer::Yes))
        return false;
    if (item.m_strBidCount == "BUY") return refuse(bidtext::kFixedPrice);
    if (MinBidValue(item.m_strMinBid) >= kVerificationLimit &&
        !ask(bidtext::kVerification, PromptButtons::OkCancel, PromptIcon::Information,
             PromptAnswer::Ok))
        return false;
    return true;
}

BidDialogValues PresetBidDialog(const CItem& item, const CBidGroupList& groups,
                                int64_t clockOffset) {
    CSettingsStore& store = Settings();
    BidDialogValues v;

    v.m_bSetDefault = store.GetInt(setting::BidNow) == 1;
    if (v.m_bSetDefault) {
        v.m_nHours = store.GetInt(setting::BidHour);
        v.m_nMinutes = store.GetInt(setting::BidMin);
        v.m_nSeconds = store.GetInt(setting::BidSec);
        v.m_nMode = store.GetInt(setting::BidPending);
    } else {
        v.m_nHours = 0;
        v.m_nMinutes = 0;
        v.m_nSeconds = 30;
        v.m_nMode = 0;
    }

    v.m_bRememberPassword = store.GetInt(setting::SavePass) == 1;
    if (v.m_bRememberPassword) {
        v.m_strUserName = store.GetString(setting::UserId);
        // From the keyring when it keeps passwords (none known: the
        // dialog asks for it).
        v.m_strPass = RememberedPassword(v.m_strUserName);
        v.m_strConfirm = v.m_strPass;
    } else {
        v.m_strUserName.clear();
        v.m_strPass.clear();
        v.m_strConfirm.clear();
    }

    v.m_bEnableGroup = store.GetInt(setting::EnableBidGroup) != 0;
    for (const auto& g : groups.Groups()) v.AddGroupName(g->m_strName);

    v.m_strItemInfo = item.m_strTitle;
    v.m_strEndTimeText = "End local  time: " + FormatLocalTime(item.m_tEndTime + clockOffset);
    v.m_strMinBidText = "(Mininum bid: " + item.m_strMinBid + ")";
    v.m_fMaxBid = MinBidValue(item.m_strMinBid);
    v.m_nQuantity = 1;
    if (item.m_strBidGroup != kNA) v.m_strGroupName = item.m_strBidGroup;
    // Editing a scheduled bid starts from that bid, not from the defaults:
    // OK without a change must not lower the amount or move the moment.
    if (item.m_bBidPending && item.m_tBidTime != 0) {
        const double mine = PriceValue(item.m_strMyBid);
        if (mine > 0) v.m_fMaxBid = mine;
        int64_t site = 0;
        const int64_t delay = ReadSiteMoment(item, &site) ? item.m_tEndTime - site
                                                          : item.m_tEndTime + clockOffset - item.m_tBidTime;
        if (delay >= 0 && delay < 100 * 3600) {
            v.m_nHours = static_cast<int>(delay / 3600);
            v.m_nMinutes = static_cast<int>(delay / 60 % 60);
            v.m_nSeconds = static_cast<int>(delay % 60);
        }
        v.m_nMode = 1;
        v.m_bEnableGroup = item.m_strBidGroup != kNA && groups.FindGroup(item.m_strBidGroup);
    }
    // The item's own group, already enabled, shows its wanted count just as
    // choosing it would: confirming unchanged then leaves the counter alone.
    if (v.m_bEnableGroup) OnEnableGroupClicked(v, groups, true);
    return v;
}

// ---- the dialog's own behaviour ----

const char* BidDialogRefusal(const BidDialogValues& v) {
    if (v.m_bEnableGroup && IsMissingGroupName(v.m_strGroupName)) return bidtext::kNoGroupName;
    if (v.m_nQuantity <= 0) return bidtext::kNoQuantity;
    if (!(v.m_fMaxBid >= 0.0 && v.m_fMaxBid <= kMaxBidLimit)) return bidtext::kMaxBidRange;
    // The stored form of a longer one would not load in other readers of
    // the list file.
    if (!IsStorablePassword(v.m_strPass)) return kPasswordTooLongText;
    return nullptr;
}

bool CheckBidDialogOk(const BidDialogValues& v) {
    const char* refusal = BidDialogRefusal(v);
    if (!refusal) return true;
    ShowPrompt(refusal, PromptButtons::Ok, PromptIcon::Warning);
    return false;
}

bool BidDialogOkEnabled(const BidDialogValues& v) {
    return !v.m_strUserName.empty() && !v.m_strPass.empty() && v.m_strPass == v.m_strConfirm;
}

void OnEnableGroupClicked(BidDialogValues& v, const CBidGroupList& groups, bool on) {
    v.m_bEnableGroup = on;
    if (!on) {
        v.m_nQuantity = 1;
        return;
    }
    if (const CBidGroup* g = ExistingGroup(groups, v.m_strGroupName))
        v.m_nQuantity = g->GetWanted();
}

void OnGroupSelected(BidDialogValues& v, const CBidGroupList& groups, int index) {
    if (index < 0 || index >= static_cast<int>(v.m_groupNames.size())) return;
    v.m_nGroupSel = index;
    v.m_strGroupName = v.m_groupNames[index];
    if (const CBidGroup* g = ExistingGroup(groups, v.m_strGroupName))
        v.m_nQuantity = g->GetWanted();
}

// ---- OK ----

std::string CurrencyPrefix(const std::string& price) {
    return Trim(Trim(price, " "), "0123456789,.");
}

std::string FormatMyBid(const std::string& price, double maxBid) {
    // "%.2f" of the C locale, whatever locale the program runs in: the bid
    // text is read back as a price, where a ',' would be a thousands mark.
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, maxBid, std::chars_format::fixed, 2);
    const std::string amount = ec == std::errc() ? std::string(buf, end) : std::string("0.00");
    return CurrencyPrefix(price) + amount;
}

BidSetupResult ApplyBidDialog(CItemListCore& core, CItem& item, const BidDialogValues& v) {
    // A bid of the old set-up still on its way no longer changes this one.
    core.NewBidSetup(item);
    item.m_strMyBid = FormatMyBid(item.m_strCurrentPrice, v.m_fMaxBid);
    item.m_nBidQuantity = v.m_nQuantity;
    item.m_strUserId = v.m_strUserName;
    item.m_strPassword = v.m_strPass;
    item.m_bNotified = 0;
    item.m_bHighBidder = 0;
    item.m_bBidPending = 0;

    CBidGroupList& groups = core.GetBidGroups();
    // Left even when the same group is chosen again: its only member
    // recreates it with the new quantity.
    if (item.m_strBidGroup != kNA) groups.LeaveGroup(item.m_strBidGroup);
    if (v.m_bEnableGroup) {
        groups.JoinGroup(v.m_strGroupName, v.m_nQuantity);
        item.m_strBidGroup = v.m_strGroupName;
        core.RedrawGroupRows(v.m_strGroupName);
    } else {
        item.m_strBidGroup = kNA;
    }

    if (v.m_nMode == 0) {
        core.TriggerBid(item);  // saves the list itself
        // The row shows the new bid and group at once, not only when the
        // result comes back.
        core.MergeItem(item, false, true);
        return BidSetupResult::BidNow;
    }

    item.m_bBidPending = 1;
    const int64_t delay = int64_t{v.m_nHours} * 3600 + int64_t{v.m_nMinutes} * 60 + v.m_nSeconds;
    item.m_tBidTime = item.m_tEndTime - delay + core.BidClockOffset();
    // What the user asked for is a moment by the site's clock; the local
    // one follows the offset from now on.
    if (item.m_tEndTime != 0) WriteSiteMoment(item, item.m_tEndTime - delay);
    core.NoteBidTimeSet();
    char when[96];
    snprintf(when, sizeof when, "%d hr %d min %d sec before ending time", v.m_nHours, v.m_nMinutes,
             v.m_nSeconds);
    item.m_strMessages.insert(0, item.m_strItemNumber + ": a pending bid of " + item.m_strMyBid +
                                     " is scheduled at " + when + "\n");
    core.MergeItem(item, true, false);
    core.SaveDocument();
    return BidSetupResult::Scheduled;
}

void WriteBidDialogSettings(const BidDialogValues& v, bool writeAccount) {
    CSettingsStore& store = Settings();
    store.WriteInt(setting::BidNow, v.m_bSetDefault ? 1 : 0);
    store.WriteInt(setting::SavePass, v.m_bRememberPassword ? 1 : 0);
    if (v.m_bSetDefault) {
        store.WriteInt(setting::BidHour, v.m_nHours);
        store.WriteInt(setting::BidMin, v.m_nMinutes);
        store.WriteInt(setting::BidSec, v.m_nSeconds);
        store.WriteInt(setting::BidPending, v.m_nMode);
    }
    if (v.m_bRememberPassword && writeAccount) RememberAccount(v.m_strUserName, v.m_strPass);
    store.WriteInt(setting::EnableBidGroup, v.m_bEnableGroup ? 1 : 0);
}

// ---- the command ----

bool BeginBidOnItem(CItemListCore& core, CItem& copy) {
    const std::vector<int> selected = core.GetSelectedRows();
    if (selected.empty()) return false;
    const CItem* item = core.GetItem(selected.front());
    if (!item) return false;
    // The page is read into a copy: a failed read must not wipe the item's
    // end time, or a bid scheduled on it would be dropped as "ended".
    copy = *item;
    return true;
}

BidSetupResult FinishBidOnItem(CItemListCore& core, IBidDialog& dialog, const CItem& fresh, bool ok) {
    // The list went on while the page was read: the row may have moved or
    // gone.
    const std::string number = fresh.m_strItemNumber;
    int row = core.FindRow(number);
    CItem* item = core.GetItem(row);
    if (!item) return BidSetupResult::Cancelled;
    if (!ok) {
        item->m_bUpdateFailed = 1;
        core.RedrawRow(row);
        ShowPrompt(bidtext::kRetrieveFailed, PromptButtons::Ok, PromptIcon::Warning);
        return BidSetupResult::RefreshFailed;
    }
    core.MergeItem(fresh, true, false);

    BidSetupResult why = BidSetupResult::Refused;
    if (!CheckItemBiddable(*item, &why)) return why;

    BidDialogValues values = PresetBidDialog(*item, core.GetBidGroups(), ReadClockOffset());
    if (!dialog.DoModal(values, core.GetBidGroups())) return BidSetupResult::Cancelled;

    // Worker results and ticks run while the dialog is open; the row may
    // have gone or moved.
    CItem* target = core.GetItem(core.FindRow(number));
    if (!target) return BidSetupResult::Cancelled;
    // A front end that let OK through unchecked is refused here.
    if (!CheckBidDialogOk(values)) return BidSetupResult::Cancelled;

    const BidSetupResult result = ApplyBidDialog(core, *target, values);
    if (dialog.KeepsPresets())
        WriteBidDialogSettings(values, dialog.SavesAccount());
    else if (dialog.SavesAccount())
        RememberAccount(values.m_strUserName, values.m_strPass);
    return result;
}

BidSetupResult OnBidOnItem(CItemListCore& core, IBidDialog& dialog, const BidRefreshFn& refresh) {
    CItem fresh;
    if (!BeginBidOnItem(core, fresh)) return BidSetupResult::NothingSelected;
    const bool ok = refresh ? refresh(fresh) : fresh.UpdateFromSite();
    return FinishBidOnItem(core, dialog, fresh, ok);
}

}  // namespace bexora
