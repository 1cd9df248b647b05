// bexora-cli's item-list commands: the same list core the desktop program
// runs, driven from the command line. Each command opens the list, does one
// thing through the core and saves as the program does; `run` keeps the
// scheduler going headless and serves the list's other commands. This file
// holds run, rewrite, site-time and the command table; the commands on the
// rows and the bids have files of their own.
//
// Output: messages as "message: TEXT", notices as "notice LEVEL TEXT",
// balloons as "balloon TITLE | TEXT", result pages as "navigate URL", all on
// standard output in the order they happen.

#include "cli/ListCommands.h"

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/AtomicFile.h"
#include "base/Clock.h"
#include "base/Settings.h"
#include "cli/CliPrompts.h"
#include "cli/HeadlessLoop.h"
#include "cli/ItemFormat.h"
#include "cli/ListSession.h"
#include "listview/SleepGuard.h"
#include "session/DesktopNotifier.h"
#include "session/LogindInhibitor.h"
#include "session/ServiceNotify.h"
#include "site/SiteTime.h"

namespace bexora::cli {

namespace {

int RewriteCommand(CCommandEnv& env, const Args& a) {
    if (a.size() != 2) return Usage("rewrite needs IN.bid and OUT.bid");
    const std::string in = env.Path(a[0]), out = env.Path(a[1]);
    const bool same = CanonicalListPath(in) == CanonicalListPath(out);
    CListLock outLock;
    if (env.owned) {
        // The owner writes its list as it has it now.
        CListSession s(env, false, false);
        if (!s.Open(a[0], CListSession::Mode::Change)) return kFailed;
        if (same) return Finish(s, kOk);
        if (!TakeForWriting(env, outLock, out)) return kFailed;
        s.Core().RebuildItemList();
        std::string error;
        s.SetReadOnly();
        if (!AtomicWriteFile(out, s.Doc().StoreToBytes(), 0600, &error)) {
            env.err << "bexora-cli: " << error << "\n";
            return Finish(s, kFailed);
        }
        return Finish(s, kOk);
    }
    CListLock inLock;
    if (!FileExists(in)) {
        // An owner may hold a list not yet saved; else there is nothing to
        // read, and no lock file is left behind for it.
        int status = kFailed;
        if (Forward(env, in, status) != CListClient::Result::NoOwner) return status;
        env.err << "bexora-cli: " << a[0] << " does not exist\n";
        return kFailed;
    }
    for (int waited = 0; !inLock.TryAcquire(in); waited += kLockRetryMs) {
        int status = kFailed;
        if (Forward(env, in, status) != CListClient::Result::NoOwner) return status;
        if (waited >= kLockWaitMs) {
            env.err << "bexora-cli: " << in
                    << " is in use by another bexora-cli; try again later\n";
            return kFailed;
        }
        usleep(kLockRetryMs * 1000);
    }
    if (!same && !TakeForWriting(env, outLock, out)) return kFailed;
    CCliPrompts prompts(std::cerr);
    CebayDoc doc;
    if (!doc.OnOpenDocument(in)) return kFailed;
    return doc.OnSaveDocument(out) ? kOk : kFailed;
}

int SiteTimeCommand(const Args& args) {
    if (!args.empty()) return Usage("site-time takes no arguments");
    CCliPrompts prompts(std::cout);
    std::string text = SiteTimeReport();
    if (text.empty() || text.back() != '\n') text += '\n';
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? kOk : kFailed;
}

// Takes the list as its owner. Another command's short hold is waited out;
// an owner that is already there is named and the run refused.
bool OpenAsOwner(CListOwner& owner, const std::string& list) {
    std::string error;
    for (int waited = 0;; waited += kLockRetryMs) {
        if (owner.Open(list, kRunOwnerName, &error)) return true;
        if (!owner.LastOpenBusy() || !CListLock::OwnerText(list).empty() || waited >= kLockWaitMs)
            break;
        usleep(kLockRetryMs * 1000);
    }
    std::cerr << "bexora-cli: " << error << "\n";
    if (owner.LastOpenBusy())
        std::cerr
            << "bexora-cli: a list is run by one program at a time; commands such as bid, cancel "
               "and add go to it\n";
    return false;
}

// The list NAME (or NAME.bid) in the work folder, as the user service names it.
std::string InWorkDir(const std::string& name) {
    std::string file = name;
    if (file.size() < 4 || file.compare(file.size() - 4, 4, ".bid") != 0) file += ".bid";
    const std::string dir = Settings().GetString(setting::WorkDir);
    return dir.empty() ? file : dir + "/" + file;
}

int64_t MonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// The run's first line: the list, its items and snipes, the next snipe and
// the site's clock as known now.
std::string RunStartLine(CItemListCore& core, const std::string& list) {
    int snipes = 0;
    const CItem* next = nullptr;
    int64_t nextMs = 0;
    for (int row = 0; row < core.GetRowCount(); ++row) {
        const CItem* item = core.GetItem(row);
        if (!item->m_bBidPending || item->m_tBidTime == 0) continue;
        ++snipes;
        const int64_t ms = core.BidMomentMs(*item);
        if (!next || ms < nextMs) next = item, nextMs = ms;
    }
    const int items = core.GetRowCount();
    std::string line = "Running " + list + ": " + std::to_string(items) + (items == 1 ? " item, " : " items, ") +
                       std::to_string(snipes) + (snipes == 1 ? " snipe" : " snipes");
    if (next) {
        const int64_t in = std::max<int64_t>(0, nextMs - GetClock().NowMs()) / 1000;
        line += "; next " + next->m_strItemNumber + " (" + EscapeValue(next->m_strTitle) + ") at " +
                FormatLocalTime(nextMs / 1000) + ", in " +
                FormatTimeSpan(in, in >= 86400 ? "%Dd %H:%M:%S" : "%H:%M:%S");
    }
    const ClockStatus clock = ReadClockStatus();
    line += clock.measured ? "; " + SiteClockText(clock) : "; site clock: being read";
    return line;
}

int RunCommand(CCommandEnv& env, const Args& args) {
    ParsedArgs p;
    std::string problem =
        ParseOptions(args, {"for"}, {"quiet", "yes", "notify", "in-work-dir", "dry-run"}, p);
    if (!problem.empty()) return Usage("run: " + problem);
    if (p.positional.size() != 1) return Usage("run needs LIST.bid");
    if (p.flags.count("in-work-dir")) {
        if (p.positional[0].find('/') != std::string::npos)
            return Usage("--in-work-dir takes a list name, not a path");
        p.positional[0] = InWorkDir(p.positional[0]);
    }
    int64_t forMs = -1;
    if (p.values.count("for")) {
        char* end = nullptr;
        const std::string& text = p.values["for"];
        double seconds = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !(seconds >= 0) || seconds > 1e9)
            return Usage("--for takes a number of seconds");
        forMs = static_cast<int64_t>(std::llround(seconds * 1000));
    }
    // The workers start with the list; they must not take the stop signals
    // (nor may the owner's connection threads).
    CHeadlessLoop::BlockStopSignals();
    CListSession s(env, p.flags.count("yes"), p.flags.count("quiet"));
    std::unique_ptr<COwnedList> owned;
    CListOwner owner(s.Ui(),
                     [&owned](const Args& argv, const std::string& cwd) -> CListOwner::PollFn {
                         if (owned) return StartOwnedCommand(*owned, argv, cwd);
                         return [](CListAnswer& a) {
                             a.err = "bexora-cli: the list is still being opened; try again\n";
                             return true;
                         };
                     });
    if (!OpenAsOwner(owner, p.positional[0])) return kFailed;
    if (!s.Open(p.positional[0], CListSession::Mode::Owned)) return s.Status();
    owned.reset(new COwnedList{s.Core(), s.Ui(), &s.Front()});
    CHeadlessLoop loop(s.Ui());
    CItemListCore& core = s.Core();
    core.SetDryRun(p.flags.count("dry-run") > 0);
    s.Front().SetTimestamps(true);
    s.Front().Say(RunStartLine(core, p.positional[0]));
    if (p.flags.count("dry-run"))
        s.Front().Say("Dry run: each bid goes up to its confirmation, which is printed, not sent");

    // Desktop notifications (with --notify, when the session has a service),
    // the sleep lock while a bid is near, and the service manager: each does
    // nothing where its bus or manager is missing.
    std::unique_ptr<CDesktopNotifier> notifier;
    if (p.flags.count("notify")) {
        notifier = std::make_unique<CDesktopNotifier>();
        s.Front().CollectBalloons(true);
    }
    auto sendNotices = [&] {
        if (!notifier) return;
        for (const auto& b : s.Front().TakeBalloons())
            notifier->Notify(b.title, b.text, UrgencyOfLevel(b.level));
    };
    CLogindInhibitor logind;
    CSleepGuard guard(logind);
    logind.WatchSleep([&core](bool sleeping) {
        // Whatever happens in the sleep, the list is on disk.
        if (sleeping) core.SaveDocument();
        else core.NoteWake();
    });
    CServiceNotifier service;
    service.Ready("running " + p.positional[0]);

    auto tick = [&] {
        logind.Process();
        core.OnTick();
        guard.Update({&core});
        sendNotices();
        service.Tick(MonotonicMs());
    };
    loop.Run(tick, [&core] { return core.MsUntilNextTick(); }, forMs);
    service.Stopping();
    // Clients still waiting are told the list was closed; the lock stays
    // until the list is saved.
    CListLock keep;
    owner.Close(&keep);
    // A second signal while the workers stop and the list is saved ends
    // the program the ordinary way (the save itself is atomic).
    CHeadlessLoop::UnblockStopSignals();
    const int status = Finish(s, kOk);
    sendNotices();  // results that came in with the stop
    guard.Release();
    return status;
}

using ListCommandFn = int (*)(CCommandEnv&, const Args&);

struct ListCommandDef {
    const char* name;
    ListCommandFn run;
    bool sendable;  // may be sent to a list's owner
    const char* usage;
};

const ListCommandDef kListCommands[] = {
    {"add", &AddCommand, true,
     "  add LIST.bid ITEM... [--quiet]\n"
     "                                add items (their pages are read); creates\n"
     "                                LIST.bid when missing\n"},
    {"delete", &DeleteCommand, true,
     "  delete LIST.bid ITEM...       delete items from the list\n"},
    {"cancel", &CancelCommand, true,
     "  cancel LIST.bid ITEM...       cancel the items' pending bids\n"},
    {"note", &NoteCommand, true,
     "  note LIST.bid ITEM TEXT       set an item's note (empty TEXT: none)\n"},
    {"history", &HistoryCommand, true,
     "  history LIST.bid ITEM         show an item's bidding history\n"},
    {"bid", &BidCommand, true,
     "  bid LIST.bid ITEM --max AMOUNT (--now | --before H:M:S)\n"
     "      [--user U --password P] [--group NAME [--quantity N]] [--yes]\n"
     "      [--set-default] [--save-password]\n"
     "                                bid on an item at once (waits for the\n"
     "                                result) or H:M:S before its end\n"
     "                                (--password - reads it from standard input);\n"
     "                                an amount under the item's minimum bid is\n"
     "                                refused; --set-default: the delay and account\n"
     "                                become the bid dialog's presets;\n"
     "                                --save-password: the account is remembered\n"
     "                                (in the keyring when one is used)\n"},
    {"secrets", &SecretsCommand, false,
     "  secrets list | forget USER | move-to-keyring LIST.bid | move-to-file LIST.bid\n"
     "                                the passwords Bexora keeps in the desktop's\n"
     "                                keyring; move a list's passwords there (or\n"
     "                                back into the file) and keep them there\n"
     "                                from now on\n"},
    {"list", &ListCommand, true,
     "  list LIST.bid [--sort KEY]    the rows as the list shows them, the 13\n"
     "                                cells tab-separated (KEY 1..13, negative\n"
     "                                for descending)\n"},
    {"export", &ExportCommand, true,
     "  export LIST.bid OUT.xls       write the rows as a tab-separated file\n"},
    {"add-page", &AddPageCommand, true,
     "  add-page LIST.bid PAGE.html --address URL [--slow] [--yes]\n"
     "                                add the item of a saved item page, or the\n"
     "                                items a listing page shows (--slow: read\n"
     "                                each item's page); creates LIST.bid when\n"
     "                                missing\n"},
    {"refresh", &RefreshCommand, true,
     "  refresh FILE.bid [ITEM...] [--quiet]\n"
     "                                refresh items from the site (all when\n"
     "                                none are named) and save the list\n"},
    {"check", &CheckCommand, true,
     "  check LIST.bid [ITEM...]      check the items' bids now (all with a bid\n"
     "                                when none are named): sign in and open the\n"
     "                                offer form, no bid is made; prints ok or\n"
     "                                what stands in the bid's way\n"},
    {"rewrite", &RewriteCommand, true,
     "  rewrite IN.bid OUT.bid        load an item list and save it as OUT\n"},
    {"run", &RunCommand, false,
     "  run LIST.bid [--for SECONDS] [--quiet] [--notify] [--in-work-dir] [--dry-run]\n"
     "                                run the scheduler headless (until SIGINT or\n"
     "                                SIGTERM without --for), printing notices,\n"
     "                                balloons and result pages; other commands on\n"
     "                                the list are sent to it meanwhile; --notify:\n"
     "                                also as desktop notifications;\n"
     "                                --in-work-dir: LIST names a list in the work\n"
     "                                folder. Keeps the machine awake while a bid\n"
     "                                is near and tells systemd when it is ready;\n"
     "                                --dry-run: bids go up to, not including, the\n"
     "                                confirmation and print what would be sent\n"},
};

template <size_t I>
int RunStandalone(const Args& args) {
    CCommandEnv env(kListCommands[I].name, args);
    return kListCommands[I].run(env, args);
}

template <size_t... I>
void AddAll(CommandTable& commands, std::index_sequence<I...>) {
    (commands.push_back({kListCommands[I].name, &RunStandalone<I>, kListCommands[I].usage}), ...);
}

// A command in an owner, with what it has written so far.
struct COwnedCommand {
    std::ostringstream out, err;
    std::unique_ptr<CCommandEnv> env;
    CCliFrontEnd* echo = nullptr;
    int status = kFailed;
    size_t sent = 0;  // of out, passed on while the command worked
    ~COwnedCommand() { StopEcho(); }
    void StopEcho() {
        if (echo && echo->Echo() == &out) echo->SetEcho(nullptr);
        echo = nullptr;
    }
};

}  // namespace

CListOwner::PollFn StartOwnedCommand(COwnedList& owned, const Args& argv, const std::string& cwd) {
    const ListCommandDef* def = nullptr;
    for (const ListCommandDef& d : kListCommands)
        if (!argv.empty() && argv[0] == d.name && d.sendable) def = &d;
    if (!def) {
        std::string name = argv.empty() ? "" : argv[0];
        return [name](CListAnswer& a) {
            a.err = "bexora-cli: \"" + name + "\" is not a command a list's owner takes\n";
            a.status = kUsage;
            return true;
        };
    }
    auto cmd = std::make_shared<COwnedCommand>();
    cmd->env = std::make_unique<CCommandEnv>(def->name, owned, cmd->out, cmd->err, cwd);
    if (owned.echo) {
        cmd->echo = owned.echo;
        owned.echo->SetEcho(&cmd->out);
    }
    const Args args(argv.begin() + 1, argv.end());
    for (const std::string& a : args) {
        if (a == "--") break;
        cmd->env->yes = cmd->env->yes || a == "--yes";
    }
    {
        // Its questions are answered as the client asked, and go back to it.
        CCliPrompts prompts(cmd->out, cmd->env->yes);
        cmd->status = def->run(*cmd->env, args);
    }
    return [cmd](CListAnswer& a) {
        // Questions asked as the command goes on are answered the same way.
        CCliPrompts prompts(cmd->out, cmd->env->yes);
        const std::string out = cmd->out.str();
        if (cmd->env->waitFor && !cmd->env->waitFor()) {
            // What it has written so far, and how far it got.
            a.out = out.substr(cmd->sent);
            cmd->sent = out.size();
            const CCommandEnv::Progress& p = cmd->env->progress;
            a.progress = p.what.empty() ? "" : p.what + "\t" + std::to_string(p.done) + "\t" +
                                                   std::to_string(p.total);
            return false;
        }
        cmd->StopEcho();
        a.out = cmd->out.str().substr(cmd->sent);
        a.err = cmd->err.str();
        a.status = cmd->env->finalStatus ? cmd->env->finalStatus() : cmd->status;
        return true;
    };
}

void AddListCommands(CommandTable& commands) {
    AddAll(commands, std::make_index_sequence<std::size(kListCommands)>());
    commands.push_back(
        {"site-time", &SiteTimeCommand,
         "  site-time                     the site's clock against this machine's\n"});
}

}  // namespace bexora::cli
