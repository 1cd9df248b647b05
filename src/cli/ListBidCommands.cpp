// bexora-cli's bids on a list's items: bid (set up or placed at once, as
// the bid dialog does) and check (the look ahead of a bid, now).

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "cli/HeadlessLoop.h"
#include "cli/ListSession.h"
#include "listview/BidSetup.h"
#include "text/TextTools.h"

namespace bexora::cli {

// "H:M:S", each a whole number from 0 (minutes and seconds below 60 are
// not required: 0:90:0 is an hour and a half).
bool ParseDelay(const std::string& text, int& h, int& m, int& s) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t colon = text.find(':', start);
        parts.push_back(text.substr(start, colon - start));
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    if (parts.size() != 3) return false;
    int* out[3] = {&h, &m, &s};
    for (size_t i = 0; i < 3; ++i) {
        std::optional<long> v = WholeNumber(parts[i]);
        if (!v || *v < 0 || *v > 1000000 || parts[i][0] == '+') return false;
        *out[i] = static_cast<int>(*v);
    }
    return true;
}

int BidCommand(CCommandEnv& env, const Args& args) {
    ParsedArgs p;
    std::string problem = ParseOptions(args, {"max", "before", "user", "password", "group", "quantity"},
                                       {"now", "yes", "set-default", "save-password"}, p);
    if (!problem.empty()) return Usage("bid: " + problem);
    if (p.positional.size() != 2) return Usage("bid needs LIST.bid and ITEM");
    const bool now = p.flags.count("now") > 0;
    const bool delayed = p.values.count("before") > 0;
    if (now == delayed) return Usage("bid needs either --now or --before H:M:S");
    if (!p.values.count("max")) return Usage("bid needs --max AMOUNT");
    char* end = nullptr;
    const std::string& maxText = p.values["max"];
    const double maxBid = std::strtod(maxText.c_str(), &end);
    if (maxText.empty() || *end != '\0' || !std::isfinite(maxBid))
        return Usage("--max takes an amount such as 12.50");
    int h = 0, m = 0, sec = 0;
    if (delayed && !ParseDelay(p.values["before"], h, m, sec))
        return Usage("--before takes hours, minutes and seconds as H:M:S");
    std::optional<long> quantity;
    if (p.values.count("quantity")) {
        if (!p.values.count("group")) return Usage("--quantity goes with --group");
        quantity = WholeNumber(p.values["quantity"]);
        if (!quantity || *quantity > 1000000 || *quantity < -1000000)
            return Usage("--quantity takes a whole number");
    }
    std::optional<std::string> password;
    if (p.values.count("password")) {
        password = p.values["password"];
        // "-": from standard input, out of ps and the shell's history.
        if (*password == "-") {
            if (!ReadPasswordFromStdin(*password)) return Usage("bid: no password on standard input");
        }
        // An owner has no terminal of ours: it is sent the password itself.
        env.forward = args;
        for (size_t i = 0; i < env.forward.size(); ++i) {
            if (env.forward[i] == "--password" && i + 1 < env.forward.size())
                env.forward[++i] = *password;
            else if (env.forward[i].rfind("--password=", 0) == 0)
                env.forward[i] = "--password=" + *password;
        }
    }

    // With --now the result is waited for; the workers start with the list
    // and must leave the stop signals to the loop's watcher.
    if (now) CHeadlessLoop::BlockStopSignals();
    CListSession s(env, p.flags.count("yes"), false);
    if (!s.Open(p.positional[0], CListSession::Mode::Change)) return s.Status();
    if (!SelectListed(s, p.positional[0], {p.positional[1]})) return Finish(s, kFailed);

    // The answers the dialog is given; shared, since inside an owner the
    // dialog runs once the page has been read, after this function returned.
    struct Answers {
        ParsedArgs p;
        bool now = false, delayed = false;
        double maxBid = 0;
        int h = 0, m = 0, sec = 0;
        std::optional<long> quantity;
        std::optional<std::string> password;
        bool noAccount = false;
    };
    auto ans = std::make_shared<Answers>(Answers{p, now, delayed, maxBid, h, m, sec, quantity, password, false});
    auto dialog = std::make_shared<CCallbackBidDialog>([ans, &env](BidDialogValues& v, const CBidGroupList& groups) {
        ParsedArgs& p = ans->p;
        // What the page asks at least: a bid under it would only be refused
        // by the site at the moment, when nothing can be done about it any
        // more. Checked before anything of the item's bid changes.
        const std::string minText = v.m_strMinBidText;
        const size_t colon = minText.find(':');
        const double minimum = colon == std::string::npos ? 0.0 : MinBidValue(minText.substr(colon + 1));
        if (ans->maxBid <= 0 || (minimum > 0 && ans->maxBid + 1e-9 < minimum)) {
            char text[160];
            std::snprintf(text, sizeof text, "bexora-cli: --max %.2f is below the minimum bid (%s)\n", ans->maxBid,
                          minimum > 0 ? Trim(minText.substr(colon + 1), " )").c_str() : "more than 0");
            env.err << text;
            return false;
        }
        v.m_nMode = ans->now ? 0 : 1;
        if (ans->delayed) {
            v.m_nHours = ans->h;
            v.m_nMinutes = ans->m;
            v.m_nSeconds = ans->sec;
        }
        v.m_fMaxBid = ans->maxBid;
        if (p.values.count("user")) v.m_strUserName = p.values["user"];
        if (ans->password) v.m_strPass = v.m_strConfirm = *ans->password;
        if (p.values.count("group")) {
            v.m_bEnableGroup = true;
            v.m_strGroupName = p.values["group"];
            // Without --quantity an existing group keeps its count.
            OnEnableGroupClicked(v, groups, true);
            if (ans->quantity) v.m_nQuantity = static_cast<int>(*ans->quantity);
        } else {
            OnEnableGroupClicked(v, groups, false);
            v.m_bEnableGroup = false;
        }
        // The dialog's OK stays disabled without an account.
        if (!BidDialogOkEnabled(v)) {
            ans->noAccount = true;
            return false;
        }
        // The dialog's presets (delay, account, group box) change only when
        // asked; then as the dialog's "Set as default" does.
        if (p.flags.count("set-default")) v.m_bSetDefault = true;
        return CheckBidDialogOk(v);
    });
    dialog->SetKeepsPresets(p.flags.count("set-default") > 0);
    // A password given here is remembered only when asked, whatever "Save
    // Pass" says: a script's password does not belong in the settings.
    dialog->SetSavesAccount(p.flags.count("save-password") > 0);
    CItemListCore& core = s.Core();
    const int bidsBefore = core.BidsPosted();
    const int resultsBefore = core.BidResults();
    // After the dialog: the results the command waits for (those of the
    // bids it sent), and what went wrong.
    auto wanted = [&core, bidsBefore, resultsBefore] { return resultsBefore + (core.BidsPosted() - bidsBefore); };
    auto finished = [ans, &env](BidSetupResult result) {
        if (ans->noAccount) env.err << "bexora-cli: bid needs --user and --password (none are remembered)\n";
        return result == BidSetupResult::BidNow || result == BidSetupResult::Scheduled;
    };

    if (env.owned) {
        // Inside a list's owner the page is read on a thread of its own: the
        // owner's tick goes on meanwhile. The dialog and the bid run on the
        // UI thread once the page is in.
        CItem fresh;
        if (!BeginBidOnItem(core, fresh)) return kFailed;
        auto status = std::make_shared<int>(kFailed);
        auto want = std::make_shared<int>(-1);  // results waited for, once the bid is set up
        auto read = ReadPagesOffTick(
            env, {fresh.m_strItemNumber},
            [fresh](const std::string&) {
                CReadPage page{std::make_unique<CItem>(fresh), false};
                page.ok = page.item->UpdateFromSite();
                return page;
            },
            [dialog, status, want, finished, wanted, &core](const std::string&, CReadPage page) {
                *status = finished(FinishBidOnItem(core, *dialog, *page.item, page.ok)) ? kOk : kFailed;
                *want = wanted();
            },
            "");
        env.waitFor = [read, want, &core] { return read() && core.BidResults() >= *want; };
        env.finalStatus = [status] { return *status; };
        return kOk;
    }

    const BidSetupResult result = OnBidOnItem(core, *dialog);
    const bool done = finished(result);
    if (core.BidsPosted() > bidsBefore) {
        // Every fetch of the conversation has its time-outs: the result comes.
        const int want = wanted();
        CHeadlessLoop loop(s.Ui());
        loop.RunUntil([&core, want] { return core.BidResults() >= want; }, -1);
    }
    return Finish(s, done ? kOk : kFailed);
}

// The check ahead of a bid, now: signs in and opens the offer form of each
// item's bid (no bid is made) and prints one line per item, the number and
// "ok" or what stands in the bid's way. Without ITEMs: every item with a bid.
// Inside an owner its bid worker does it, between the list's bids.
int CheckCommand(CCommandEnv& env, const Args& args) {
    ParsedArgs p;
    std::string problem = ParseOptions(args, {}, {}, p);
    if (!problem.empty()) return Usage("check: " + problem);
    if (p.positional.empty()) return Usage("check needs LIST.bid and optionally ITEM numbers");
    if (!env.owned) CHeadlessLoop::BlockStopSignals();
    CListSession s(env, false, false);
    if (!s.Open(p.positional[0], CListSession::Mode::Change)) return s.Status();
    WaitForSiteClock(s);  // an auction that has ended is not checked
    CItemListCore& core = s.Core();
    auto status = std::make_shared<int>(kOk);
    std::vector<std::string> chosen;
    if (p.positional.size() == 1) {
        for (int row = 0; row < core.GetRowCount(); ++row)
            if (core.GetItem(row)->m_strMyBid != "N/A")
                chosen.push_back(core.GetItem(row)->m_strItemNumber);
    } else {
        for (size_t i = 1; i < p.positional.size(); ++i) {
            const std::string number = Trim(p.positional[i], " ");
            if (core.FindRow(number) >= 0) {
                chosen.push_back(number);
            } else {
                env.err << "bexora-cli: item " << number << " is not in " << p.positional[0]
                        << "\n";
                *status = kFailed;
            }
        }
    }
    const int want = core.CheckResults() + [&] {
        int posted = 0;
        for (const std::string& number : chosen)
            posted += core.CheckItem(*core.GetItem(core.FindRow(number)));
        return posted;
    }();
    std::ostream& out = env.out;
    auto report = [&core, chosen, &out, want, status] {
        if (core.CheckResults() < want) return false;
        for (const std::string& number : chosen) {
            auto it = core.LastChecks().find(number);
            const std::string text = it == core.LastChecks().end() ? "not checked" : it->second;
            out << number << "\t" << (text.empty() ? "ok" : text) << "\n";
            if (!text.empty() && text != CItemListCore::kCheckEnded) *status = kFailed;
        }
        out << std::flush;
        return true;
    };
    if (env.owned) {
        env.waitFor = report;
        env.finalStatus = [status] { return *status; };
        return Finish(s, kOk);
    }
    // Every request of the check has its time-outs: the answers come.
    CHeadlessLoop loop(s.Ui());
    loop.RunUntil(report, -1);
    return Finish(s, *status);
}

}  // namespace bexora::cli
