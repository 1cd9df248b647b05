// Setting up a bid: the refresh, the refusals and questions in order, the
// dialog's presets and checks, and what OK does to the item, its group, the
// schedule and the settings.

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <functional>

#include "ListHarness.h"
#include "base/AtomicFile.h"
#include "bidding/SiteHarness.h"
#include "listview/BidSetup.h"
#include "text/TextTools.h"

namespace bexora::test {
namespace {

using Confirm = std::function<bool(BidDialogValues&)>;

// Answers what nobody queued an answer for with the first button, quietly.
struct QuietPrompts : IPromptHandler {
    PromptAnswer Ask(const std::string&, PromptButtons buttons, PromptIcon) override {
        return buttons == PromptButtons::YesNo || buttons == PromptButtons::YesNoCancel
                   ? PromptAnswer::Yes
                   : PromptAnswer::Ok;
    }
};

class BidSetup : public ListTest {
protected:
    void SetUp() override {
        ListTest::SetUp();
        SetPromptHandler(&m_quiet);
        Start();
    }
    void TearDown() override {
        ListTest::TearDown();
        SetPromptHandler(nullptr);
    }

    // A listed, selected item whose page (the refresh) shows a running
    // auction with a minimum bid of US $11.50.
    CItem& Listed(const std::string& number = "110000000001", int64_t endsIn = 3600) {
        CItem& item = Add(number, endsIn);
        m_core->SelectItems({number});
        return item;
    }
    // Runs command 141; confirm plays the user in the dialog (false: Cancel).
    BidSetupResult Bid(const Confirm& confirm) {
        m_shown = false;
        CCallbackBidDialog dialog([&](BidDialogValues& v, const CBidGroupList&) {
            m_shown = true;
            m_preset = v;
            return confirm ? confirm(v) : false;
        });
        return OnBidOnItem(*m_core, dialog, [this](CItem& copy) {
            ++m_refreshes;
            if (!m_pageOk) return false;
            copy.m_strCurrentPrice = "US $11.00";
            copy.m_strMinBid = "US $11.50";
            if (m_page) m_page(copy);
            return true;
        });
    }
    // The user's usual answer: an account and a time-delay bid.
    static bool Schedule(BidDialogValues& v, int h, int m, int s, double max = 20.0) {
        v.m_strUserName = "jo";
        v.m_strPass = v.m_strConfirm = "pw";
        v.m_nMode = 1;
        v.m_nHours = h;
        v.m_nMinutes = m;
        v.m_nSeconds = s;
        v.m_fMaxBid = max;
        return true;
    }
    static bool Group(BidDialogValues& v, const std::string& name, int quantity) {
        Schedule(v, 0, 0, 10);
        v.m_bEnableGroup = true;
        v.m_strGroupName = name;
        v.m_nQuantity = quantity;
        return true;
    }

    QuietPrompts m_quiet;
    std::function<void(CItem&)> m_page;
    bool m_pageOk = true;
    int m_refreshes = 0;
    bool m_shown = false;
    BidDialogValues m_preset;
};

// ---- before the dialog ----

TEST_F(BidSetup, WithoutSelectionNothingHappens) {
    Add("110000000001", 3600);
    EXPECT_EQ(Bid([](BidDialogValues& v) { return Schedule(v, 0, 0, 5); }),
              BidSetupResult::NothingSelected);
    EXPECT_EQ(m_refreshes, 0);
    EXPECT_TRUE(TakeShownPrompts().empty());
}

TEST_F(BidSetup, FailedRefreshKeepsTheItemsScheduleAndSaysSo) {
    CItem& item = Listed();
    item.m_bBidPending = 1;
    item.m_tBidTime = Now() + 3000;
    const int64_t end = item.m_tEndTime;
    m_pageOk = false;

    EXPECT_EQ(Bid([](BidDialogValues&) { return true; }), BidSetupResult::RefreshFailed);
    EXPECT_EQ(TakeShownPrompts(), std::vector<std::string>{bidtext::kRetrieveFailed});
    EXPECT_FALSE(m_shown);
    // A hiccup while opening the dialog must not make the scheduler think
    // the auction is over and drop the snipe.
    EXPECT_EQ(item.m_tEndTime, end);
    EXPECT_EQ(item.m_bBidPending, 1);
    EXPECT_EQ(item.m_bUpdateFailed, 1);
}

TEST_F(BidSetup, RefusalsComeInOrderAndLeaveTheBidAlone) {
    struct Case {
        const char* name;
        std::function<void(CItem&)> page;
        bool pending;
        std::vector<PromptAnswer> answers;
        std::vector<std::string> prompts;
        BidSetupResult result;
    };
    const std::vector<Case> cases = {
        {"no bid count",
         [](CItem& c) {
             c.m_strBidCount = "N/A";
             c.m_strTimeLeft = "Ended";
         },
         false,
         {},
         {bidtext::kCannotGetItem},
         BidSetupResult::Refused},
        {"no price",
         [](CItem& c) { c.m_strCurrentPrice = "N/A"; },
         false,
         {},
         {bidtext::kCannotGetItem},
         BidSetupResult::Refused},
        {"ended before live",
         [](CItem& c) {
             c.m_strTimeLeft = "Ended";
             c.m_strBidCount = "LIVE";
         },
         true,
         {},
         {bidtext::kBidEnded},
         BidSetupResult::Refused},
        {"live before the pending question",
         [](CItem& c) { c.m_strBidCount = "LIVE"; },
         true,
         {},
         {bidtext::kLiveAuction},
         BidSetupResult::Refused},
        {"pending, No",
         nullptr,
         true,
         {PromptAnswer::No},
         {bidtext::kPendingQuestion},
         BidSetupResult::Declined},
        {"pending, Yes, then fixed price",
         [](CItem& c) { c.m_strBidCount = "BUY"; },
         true,
         {PromptAnswer::Yes},
         {bidtext::kPendingQuestion, bidtext::kFixedPrice},
         BidSetupResult::Refused},
        {"fixed price before the verification",
         [](CItem& c) {
             c.m_strBidCount = "BUY";
             c.m_strMinBid = "US $20,000.00";
         },
         false,
         {},
         {bidtext::kFixedPrice},
         BidSetupResult::Refused},
        {"US $15,000.00 asks, Cancel",
         [](CItem& c) { c.m_strMinBid = "US $15,000.00"; },
         false,
         {PromptAnswer::Cancel},
         {bidtext::kVerification},
         BidSetupResult::Declined},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CItem& item = Listed("12000000000" + std::to_string(n++));
        item.m_strMyBid = "$9.00";
        item.m_bBidPending = c.pending;
        m_page = c.page;
        for (PromptAnswer a : c.answers) QueuePromptAnswer(a);
        EXPECT_EQ(Bid([](BidDialogValues& v) { return Schedule(v, 0, 0, 5); }), c.result);
        EXPECT_EQ(TakeShownPrompts(), c.prompts);
        EXPECT_FALSE(m_shown);
        EXPECT_EQ(item.m_strMyBid, "$9.00");
        EXPECT_EQ(item.m_bBidPending, c.pending ? 1 : 0);
    }
}

TEST_F(BidSetup, TheVerificationLimitIsFifteenThousand) {
    CItem& item = Listed();
    m_page = [](CItem& c) { c.m_strMinBid = "US $14,999.99"; };
    EXPECT_EQ(Bid(nullptr), BidSetupResult::Cancelled);
    EXPECT_TRUE(TakeShownPrompts().empty());
    EXPECT_DOUBLE_EQ(m_preset.m_fMaxBid, 14999.99);
    EXPECT_EQ(m_preset.m_strMinBidText, "(Mininum bid: US $14,999.99)");

    m_page = [](CItem& c) { c.m_strMinBid = "US $15,000.00"; };
    QueuePromptAnswer(PromptAnswer::Ok);
    EXPECT_EQ(Bid([](BidDialogValues& v) { return Schedule(v, 0, 0, 5, 15100); }),
              BidSetupResult::Scheduled);
    EXPECT_EQ(TakeShownPrompts(), std::vector<std::string>{bidtext::kVerification});
    EXPECT_DOUBLE_EQ(m_preset.m_fMaxBid, 15000.0);
    EXPECT_EQ(item.m_strMyBid, "US $15100.00");
}

TEST_F(BidSetup, CancelKeepsTheRefreshedPageButChangesNothingElse) {
    CItem& item = Listed();
    item.m_strBidGroup = "cams";
    m_core->GetBidGroups().JoinGroup("cams", 2);
    Settings().WriteInt(setting::BidHour, 4);
    std::string before;
    ReadWholeFile(Settings().Path(), before);

    EXPECT_EQ(Bid(nullptr), BidSetupResult::Cancelled);
    EXPECT_TRUE(m_shown);
    EXPECT_EQ(m_core->GetCellText(0, kColPrice), "US $11.00");
    EXPECT_EQ(item.m_strMyBid, "N/A");
    EXPECT_EQ(item.m_strBidGroup, "cams");
    EXPECT_EQ(m_core->GetBidGroups().FindGroup("cams")->GetMembers(), 1);
    std::string after;
    ReadWholeFile(Settings().Path(), after);
    EXPECT_EQ(after, before);
}

// ---- presets ----

TEST_F(BidSetup, PresetsFollowTheSettings) {
    Listed();
    // Nothing stored: the table's defaults, 15 seconds before the end.
    Bid(nullptr);
    EXPECT_TRUE(m_preset.m_bSetDefault);
    EXPECT_EQ(m_preset.m_nMode, 1);
    EXPECT_EQ((std::vector<int>{m_preset.m_nHours, m_preset.m_nMinutes, m_preset.m_nSeconds}),
              (std::vector<int>{0, 0, 15}));
    EXPECT_EQ(m_preset.m_strUserName, "");
    EXPECT_EQ(m_preset.m_strItemInfo, "Item 110000000001");
    EXPECT_EQ(m_preset.m_strGroupName, bidtext::kGroupPlaceholder);
    EXPECT_EQ(m_preset.m_nQuantity, 1);
    EXPECT_EQ(m_preset.m_strEndTimeText, "End local  time: " + FormatLocalTime(kStart + 3600));

    // Confirmed with the default box on: the next dialog starts from there.
    Bid([](BidDialogValues& v) { return Schedule(v, 1, 2, 3); });
    Bid(nullptr);
    EXPECT_EQ((std::vector<int>{m_preset.m_nHours, m_preset.m_nMinutes, m_preset.m_nSeconds,
                                m_preset.m_nMode}),
              (std::vector<int>{1, 2, 3, 1}));

    // Confirmed with the box off: 0:00:30 "Bid now" next time, and the stored
    // defaults stay as they were. (A new bid: an edit of the scheduled one
    // would start from that bid.)
    Bid([](BidDialogValues& v) {
        Schedule(v, 5, 5, 5);
        v.m_bSetDefault = false;
        return true;
    });
    m_core->GetItem(0)->ClearPendingBid();
    Bid(nullptr);
    EXPECT_FALSE(m_preset.m_bSetDefault);
    EXPECT_EQ((std::vector<int>{m_preset.m_nHours, m_preset.m_nMinutes, m_preset.m_nSeconds,
                                m_preset.m_nMode}),
              (std::vector<int>{0, 0, 30, 0}));
    EXPECT_EQ(Settings().GetInt(setting::BidNow), 0);
    EXPECT_EQ(Settings().GetInt(setting::BidHour), 1);
    EXPECT_EQ(Settings().GetInt(setting::BidSec), 3);
    EXPECT_EQ(Settings().GetInt(setting::BidPending), 1);
}

TEST_F(BidSetup, RememberedAccountIsOfferedAndKeptWhenNotRemembered) {
    CItem& item = Listed();
    Bid([](BidDialogValues& v) {
        Schedule(v, 0, 0, 5);
        v.m_strUserName = "jo";
        v.m_strPass = v.m_strConfirm = "s3cret+pw";
        return true;
    });
    EXPECT_EQ(Settings().GetString(setting::UserId), "jo");
    EXPECT_EQ(Base64Decode(Settings().GetString(setting::Password)), "s3cret+pw");
    EXPECT_NE(Settings().GetString(setting::Password), "s3cret+pw");  // not in clear

    Bid([](BidDialogValues& v) {
        Schedule(v, 0, 0, 5);
        v.m_strUserName = "other";
        v.m_strPass = v.m_strConfirm = "pw2";
        v.m_bRememberPassword = false;
        return true;
    });
    EXPECT_EQ(m_preset.m_strUserName, "jo");
    EXPECT_EQ(m_preset.m_strPass, "s3cret+pw");
    EXPECT_EQ(m_preset.m_strConfirm, "s3cret+pw");
    // The bid uses the account typed; the stored one stays.
    EXPECT_EQ(item.m_strUserId, "other");
    EXPECT_EQ(item.m_strPassword, "pw2");
    EXPECT_EQ(Settings().GetString(setting::UserId), "jo");
    EXPECT_EQ(Base64Decode(Settings().GetString(setting::Password)), "s3cret+pw");

    item.ClearPendingBid();
    Bid(nullptr);
    EXPECT_FALSE(m_preset.m_bRememberPassword);
    EXPECT_EQ(m_preset.m_strUserName, "");
    EXPECT_EQ(m_preset.m_strPass, "");
}

// ---- OK ----

TEST_F(BidSetup, ScheduledBidTakesTheOffsetTheDelayAndAHistoryLine) {
    FixClockOffset(120);
    CItem& item = Listed("110000000001", 3600);
    item.m_strMessages = "older line\n";
    EXPECT_EQ(Bid([](BidDialogValues& v) { return Schedule(v, 0, 1, 5, 12.5); }),
              BidSetupResult::Scheduled);

    EXPECT_EQ(item.m_strMyBid, "US $12.50");
    EXPECT_EQ(item.m_bBidPending, 1);
    EXPECT_EQ(item.m_bHighBidder, 0);
    EXPECT_EQ(item.m_tBidTime, kStart + 3600 - 65 + 120);
    EXPECT_EQ(item.m_strMessages,
              "110000000001: a pending bid of US $12.50 is scheduled at 0 hr 1 min 5 sec before "
              "ending time\n"
              "older line\n");
    EXPECT_EQ(m_core->GetCellText(0, kColMyBid), "US $12.50");
    EXPECT_TRUE(m_jobs.bids.empty());
    // Saved at once.
    CebayDoc reread;
    ASSERT_TRUE(reread.OnOpenDocument(m_doc.GetPathName()));
    ASSERT_EQ(reread.Items().size(), 1u);
    EXPECT_EQ(reread.Items()[0]->m_tBidTime, item.m_tBidTime);
    EXPECT_EQ(reread.Items()[0]->m_strPassword, "pw");

    // Bid on Item again: the dialog starts from the scheduled bid, not from
    // the defaults, and OK as it opened changes neither amount nor moment.
    const int64_t moment = item.m_tBidTime;
    EXPECT_EQ(Bid([](BidDialogValues& v) {
                  v.m_strUserName = "jo";
                  v.m_strPass = v.m_strConfirm = "pw";
                  return true;
              }),
              BidSetupResult::Scheduled);
    EXPECT_DOUBLE_EQ(m_preset.m_fMaxBid, 12.5);
    EXPECT_EQ(m_preset.m_nMode, 1);
    EXPECT_EQ(m_preset.m_nHours * 3600 + m_preset.m_nMinutes * 60 + m_preset.m_nSeconds, 65);
    EXPECT_EQ(item.m_strMyBid, "US $12.50");
    EXPECT_EQ(item.m_tBidTime, moment);
}

TEST_F(BidSetup, DelayLongerThanTheTimeLeftFiresAtTheFirstTick) {
    CItem& item = Listed("110000000001", 60);
    EXPECT_EQ(Bid([](BidDialogValues& v) { return Schedule(v, 0, 5, 0); }),
              BidSetupResult::Scheduled);
    EXPECT_LT(item.m_tBidTime, Now());
    EXPECT_EQ(item.m_bBidPending, 1);
    Tick();
    ASSERT_EQ(m_jobs.bids.size(), 1u);
    EXPECT_EQ(m_jobs.bids[0]->m_strMyBid, "US $20.00");
    EXPECT_EQ(item.m_bBidPending, 0);
}

TEST_F(BidSetup, BidNowSendsAtOnceAndReplacesAPendingBid) {
    CItem& item = Listed();
    item.m_bBidPending = 1;
    item.m_bNotified = 1;
    item.m_tBidTime = Now() + 100;
    QueuePromptAnswer(PromptAnswer::Yes);
    EXPECT_EQ(Bid([](BidDialogValues& v) {
                  Schedule(v, 0, 0, 5, 30);
                  v.m_nMode = 0;
                  return true;
              }),
              BidSetupResult::BidNow);
    ASSERT_EQ(m_jobs.bids.size(), 1u);
    EXPECT_EQ(m_jobs.bids[0]->m_strMyBid, "US $30.00");
    EXPECT_EQ(m_jobs.bids[0]->m_strUserId, "jo");
    EXPECT_EQ(item.m_bBidPending, 0);
    EXPECT_EQ(item.m_bHighBidder, 1);
    EXPECT_EQ(item.m_bNotified, 0);
    EXPECT_EQ(m_core->GetCellText(0, kColMyBid), "US $30.00");
    EXPECT_EQ(Settings().GetInt(setting::BidPending), 0);
}

TEST_F(BidSetup, GroupsAreJoinedLeftAndTheirCountsPreloaded) {
    CItem& first = Listed("110000000001");
    CItem& second = Add("110000000002", 7200);
    CBidGroupList& groups = m_core->GetBidGroups();

    m_core->SelectItems({"110000000001"});
    EXPECT_EQ(Bid([](BidDialogValues& v) { return Group(v, "cams", 3); }),
              BidSetupResult::Scheduled);
    EXPECT_EQ(first.m_strBidGroup, "cams");
    EXPECT_EQ(m_core->GetCellText(0, kColBidGroup), "cams");
    ASSERT_NE(groups.FindGroup("cams"), nullptr);
    EXPECT_EQ(groups.FindGroup("cams")->GetWanted(), 3);
    EXPECT_EQ(Settings().GetInt(setting::EnableBidGroup), 1);

    // Another item: the dialog lists the group; choosing it loads its count,
    // and OK sets the count to the quantity entered.
    groups.FindGroup("cams")->SetWanted(2);  // one bid of the group went out
    m_core->SelectItems({"110000000002"});
    m_front.redrawn.clear();
    EXPECT_EQ(Bid([&](BidDialogValues& v) {
                  Schedule(v, 0, 0, 10);
                  EXPECT_EQ(v.m_groupNames, std::vector<std::string>{"cams"});
                  OnGroupSelected(v, groups, 0);
                  EXPECT_EQ(v.m_strGroupName, "cams");
                  EXPECT_EQ(v.m_nQuantity, 2);
                  v.m_nQuantity = 4;
                  return true;
              }),
              BidSetupResult::Scheduled);
    EXPECT_EQ(groups.FindGroup("cams")->GetWanted(), 4);
    EXPECT_EQ(groups.FindGroup("cams")->GetMembers(), 2);
    EXPECT_NE(std::find(m_front.redrawn.begin(), m_front.redrawn.end(), 0), m_front.redrawn.end());

    // The item's own group comes preset with its count when grouping is on.
    EXPECT_EQ(Bid(nullptr), BidSetupResult::Cancelled);
    EXPECT_EQ(m_preset.m_strGroupName, "cams");
    EXPECT_TRUE(m_preset.m_bEnableGroup);
    EXPECT_EQ(m_preset.m_nQuantity, 4);

    // Re-bid without a group: it leaves; the last member takes the group.
    EXPECT_EQ(Bid([](BidDialogValues& v) {
                  Schedule(v, 0, 0, 10);
                  OnEnableGroupClicked(v, CBidGroupList(), false);
                  EXPECT_EQ(v.m_nQuantity, 1);
                  return true;
              }),
              BidSetupResult::Scheduled);
    EXPECT_EQ(second.m_strBidGroup, "N/A");
    EXPECT_EQ(groups.FindGroup("cams")->GetMembers(), 1);
    // The other one, edited: its dialog starts in its group, which it leaves.
    m_core->SelectItems({"110000000001"});
    Bid([&](BidDialogValues& v) {
        EXPECT_TRUE(v.m_bEnableGroup);
        OnEnableGroupClicked(v, groups, false);
        return Schedule(v, 0, 0, 10);
    });
    EXPECT_EQ(first.m_strBidGroup, "N/A");
    EXPECT_EQ(groups.FindGroup("cams"), nullptr);
}

// ---- the dialog's checks ----

TEST_F(BidSetup, DialogOkChecks) {
    auto refusal = [](const std::function<void(BidDialogValues&)>& edit) -> std::string {
        BidDialogValues v;
        v.m_strUserName = "jo";
        v.m_strPass = v.m_strConfirm = "pw";
        edit(v);
        const char* r = BidDialogRefusal(v);
        return r ? r : "";
    };
    EXPECT_EQ(refusal([](BidDialogValues&) {}), "");
    EXPECT_EQ(refusal([](BidDialogValues& v) { v.m_bEnableGroup = true; }), bidtext::kNoGroupName);
    EXPECT_EQ(refusal([](BidDialogValues& v) {
                  v.m_bEnableGroup = true;
                  v.m_strGroupName = "";
              }),
              bidtext::kNoGroupName);
    EXPECT_EQ(refusal([](BidDialogValues& v) {
                  v.m_bEnableGroup = true;
                  v.m_strGroupName = "N/A";
              }),
              bidtext::kNoGroupName);
    // The group name comes first, the quantity counts with or without a group.
    EXPECT_EQ(refusal([](BidDialogValues& v) {
                  v.m_bEnableGroup = true;
                  v.m_nQuantity = 0;
              }),
              bidtext::kNoGroupName);
    EXPECT_EQ(refusal([](BidDialogValues& v) { v.m_nQuantity = 0; }), bidtext::kNoQuantity);
    EXPECT_EQ(refusal([](BidDialogValues& v) { v.m_nQuantity = -2; }), bidtext::kNoQuantity);
    EXPECT_EQ(refusal([](BidDialogValues& v) { v.m_fMaxBid = 0; }), "");
    EXPECT_EQ(refusal([](BidDialogValues& v) { v.m_fMaxBid = 1000000; }), "");
    EXPECT_EQ(refusal([](BidDialogValues& v) { v.m_fMaxBid = 1000000.01; }), bidtext::kMaxBidRange);
    EXPECT_EQ(refusal([](BidDialogValues& v) { v.m_fMaxBid = -0.01; }), bidtext::kMaxBidRange);
    EXPECT_EQ(refusal([](BidDialogValues& v) { v.m_fMaxBid = std::nan(""); }),
              bidtext::kMaxBidRange);
    EXPECT_EQ(refusal([](BidDialogValues& v) { v.m_strPass = std::string(72, 'p'); }), "");
    EXPECT_EQ(refusal([](BidDialogValues& v) { v.m_strPass = std::string(73, 'p'); }),
              kPasswordTooLongText);

    BidDialogValues v;
    v.m_strUserName = "jo";
    v.m_strPass = "pw";
    v.m_strConfirm = "pW";
    EXPECT_FALSE(BidDialogOkEnabled(v));
    v.m_strConfirm = "pw";
    EXPECT_TRUE(BidDialogOkEnabled(v));
    v.m_strUserName.clear();
    EXPECT_FALSE(BidDialogOkEnabled(v));
}

TEST_F(BidSetup, AValueTheDialogShouldHaveRefusedChangesNothing) {
    CItem& item = Listed();
    Settings().WriteInt(setting::BidSec, 44);
    EXPECT_EQ(Bid([](BidDialogValues& v) {
                  Schedule(v, 0, 0, 1);
                  v.m_strPass = v.m_strConfirm = std::string(80, 'x');
                  return true;
              }),
              BidSetupResult::Cancelled);
    EXPECT_EQ(TakeShownPrompts(), std::vector<std::string>{kPasswordTooLongText});
    EXPECT_EQ(item.m_strMyBid, "N/A");
    EXPECT_EQ(item.m_bBidPending, 0);
    EXPECT_EQ(Settings().GetInt(setting::BidSec), 44);
}

// ---- the bid text ----

TEST(BidText, CurrencyPrefixAndAmount) {
    EXPECT_EQ(CurrencyPrefix("US $12.50"), "US $");
    EXPECT_EQ(CurrencyPrefix("  $1,234.50 "), "$");
    EXPECT_EQ(CurrencyPrefix("GBP 3.00"), "GBP ");
    EXPECT_EQ(FormatMyBid("US $12.50", 12.5), "US $12.50");
    EXPECT_EQ(FormatMyBid("$1,234.50", 1500), "$1500.00");
    EXPECT_EQ(FormatMyBid("US $5.00", 999999.99), "US $999999.99");
    EXPECT_DOUBLE_EQ(MinBidValue("US $1,234.56"), 1234.56);
    EXPECT_DOUBLE_EQ(MinBidValue(""), 0.0);
}

// The desktop program runs in the user's locale; a decimal comma there must
// not turn a bid of 12.50 into "12,50" (read back as 1250).
TEST(BidText, AmountsIgnoreADecimalCommaLocale) {
    TempDir dir;
    const std::string cmd =
        "localedef -i de_DE -f UTF-8 " + dir.File("de_DE.UTF-8") + " >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) GTEST_SKIP() << "no localedef";
    const char* old = getenv("LOCPATH");
    const std::string saved = old ? old : "";
    setenv("LOCPATH", dir.Path().c_str(), 1);
    if (!setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "locale not loadable";
    const std::string bid = FormatMyBid("US $1.00", 12.5);
    const double min = MinBidValue("US $14,999.99");
    setlocale(LC_ALL, "C");
    if (old)
        setenv("LOCPATH", saved.c_str(), 1);
    else
        unsetenv("LOCPATH");
    EXPECT_EQ(bid, "US $12.50");
    EXPECT_DOUBLE_EQ(min, 14999.99);
}

// ---- against the local auction site ----

TEST(BidSetupSite, ReadsTheRealPageAndSchedulesFromIt) {
    setenv("TZ", "America/Los_Angeles", 1);
    tzset();
    LocalSite site;
    ASSERT_TRUE(site.Ok());
    const std::string number = site.AddItem(R"({"title":"Brass lamp","price":5,"ends_in":900})");
    CebayDoc doc;
    doc.SetPathName(site.WorkFile("list.bid"));
    FakeFrontEnd front;
    CapturedJobs jobs;
    CUiDispatcher ui;
    CItemListCore core(doc, front, ui, &jobs);
    core.Initialize();
    ASSERT_TRUE(core.AddSingleItem(number));
    // A competitor moves the price after the item was added: the bid set-up
    // sees the page as it is now.
    site.Control("POST", "/_control/bid", R"({"item":")" + number + R"(","user":"rival","max":9})");
    core.SelectItems({number});
    TakeShownPrompts();

    BidDialogValues preset;
    CCallbackBidDialog dialog([&](BidDialogValues& v, const CBidGroupList&) {
        preset = v;
        v.m_strUserName = "jo";
        v.m_strPass = v.m_strConfirm = "pw";
        v.m_nMode = 1;
        v.m_nHours = v.m_nMinutes = 0;
        v.m_nSeconds = 8;
        v.m_fMaxBid = 25;
        return true;
    });
    EXPECT_EQ(OnBidOnItem(core, dialog), BidSetupResult::Scheduled);
    EXPECT_TRUE(TakeShownPrompts().empty());
    CItem& item = *core.GetItem(0);
    EXPECT_EQ(item.m_strBidCount, "1");
    EXPECT_GT(preset.m_fMaxBid, 5.0);
    EXPECT_EQ(preset.m_strMinBidText, "(Mininum bid: " + item.m_strMinBid + ")");
    EXPECT_EQ(item.m_strMyBid, CurrencyPrefix(item.m_strCurrentPrice) + "25.00");
    EXPECT_NE(CurrencyPrefix(item.m_strCurrentPrice), "");
    EXPECT_EQ(item.m_tBidTime, item.m_tEndTime - 8 + GetClockOffset(false));
    EXPECT_NEAR(static_cast<double>(item.m_tBidTime - LocalNow()), 892, 5);
    core.Shutdown();
    setenv("TZ", "UTC", 1);
    tzset();
}

}  // namespace
}  // namespace bexora::test
