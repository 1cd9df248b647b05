// bexora-cli's item-list commands: the same list core the desktop program
// runs, driven from the command line. Each command opens the list, does one
// thing through the core and saves as the program does; `run` keeps the
// scheduler going headless.
//
// Output: messages as "message: TEXT", notices as "notice LEVEL TEXT",
// balloons as "balloon TITLE | TEXT", result pages as "navigate URL", all on
// standard output in the order they happen.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/AtomicFile.h"
#include "base/Settings.h"
#include "bidding/UiDispatcher.h"
#include "browser/AddFromPage.h"
#include "browser/ItemSink.h"
#include "cli/CliPrompts.h"
#include "cli/Commands.h"
#include "cli/HeadlessLoop.h"
#include "cli/ItemFormat.h"
#include "cli/ListCommands.h"
#include "cli/ProgressLine.h"
#include "listview/BidSetup.h"
#include "listview/Export.h"
#include "listview/ItemListCore.h"
#include "listview/SleepGuard.h"
#include "model/ebayDoc.h"
#include "session/DesktopNotifier.h"
#include "session/LogindInhibitor.h"
#include "session/ServiceNotify.h"
#include "site/SiteTime.h"
#include "text/TextTools.h"

namespace bexora::cli {

// ---- the front end ----

void CCliFrontEnd::Print(const std::string& line) {
    CProgressLine::Interrupt();
    std::string out = line + "\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
}

void CCliFrontEnd::NoticeAdded(const std::string& text, int level) {
    if (m_bQuiet && level < 2) return;
    Print("notice " + std::to_string(level) + " " + EscapeValue(text));
}

void CCliFrontEnd::ShowBalloon(const std::string& title, const std::string& text) {
    Print("balloon " + EscapeValue(title) + " | " + EscapeValue(text));
}

void CCliFrontEnd::ShowItemBalloon(const std::string& title, const std::string& text,
                                   const std::string& itemNumber, int level) {
    ShowBalloon(title, text);
    if (!m_bCollect) return;
    if (!m_balloons.empty() && !itemNumber.empty() && m_balloons.back().itemNumber == itemNumber)
        m_balloons.pop_back();
    m_balloons.push_back({title, text, itemNumber, level});
}

std::vector<CCliFrontEnd::Balloon> CCliFrontEnd::TakeBalloons() {
    std::vector<Balloon> out;
    out.swap(m_balloons);
    return out;
}

void CCliFrontEnd::Navigate(const std::string& url) {
    ++m_nNavigations;
    Print("navigate " + url);
}

// ---- options ----

std::string ParseOptions(const Args& args, const std::set<std::string>& valued,
                         const std::set<std::string>& flags, ParsedArgs& out) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") {  // the rest are texts, even those that start with --
            out.positional.insert(out.positional.end(), args.begin() + i + 1, args.end());
            break;
        }
        if (a.size() < 3 || a.compare(0, 2, "--") != 0) {
            out.positional.push_back(a);
            continue;
        }
        std::string name = a.substr(2), value;
        bool inline_value = false;
        if (size_t eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            inline_value = true;
        }
        if (flags.count(name)) {
            if (inline_value) return "--" + name + " takes no value";
            out.flags.insert(name);
        } else if (valued.count(name)) {
            if (!inline_value) {
                if (i + 1 >= args.size()) return "--" + name + " needs a value";
                value = args[++i];
            }
            out.values[name] = value;
        } else {
            return "unknown option \"" + a + "\"";
        }
    }
    return "";
}

namespace {

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

// A whole number, all of text; nullopt otherwise.
std::optional<long> WholeNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE) return std::nullopt;
    return v;
}

// Keeps two bexora-cli processes from working on one list at once: each
// holds its own copy in memory and saves it whole, so a snipe that `bid`
// added while `run` had the list open would vanish at run's next save.
// The lock is an flock on LIST.bid.lock beside the list (the list itself is
// replaced by every save, so it cannot carry the lock); the file stays.
class CListLock {
public:
    ~CListLock() {
        if (m_fd >= 0) close(m_fd);  // releases the lock
    }
    // False, after saying so, when another process holds the list.
    bool Acquire(const std::string& list) {
        const std::string path = list + ".lock";
        m_fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0) return true;  // a folder we cannot write: the save will say so
        if (flock(m_fd, LOCK_EX | LOCK_NB) == 0) return true;
        close(m_fd);
        m_fd = -1;
        std::cerr << "bexora-cli: " << list
                  << " is in use by another bexora-cli (a run?); try again when it has ended\n";
        return false;
    }

private:
    int m_fd = -1;
};

// A private folder under the temporary directory, removed with its files.
class CScratchDir {
public:
    CScratchDir() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/bexora-cli-XXXXXX";
        if (mkdtemp(pattern.data())) m_path = pattern;
    }
    ~CScratchDir() {
        if (m_path.empty()) return;
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    // Empty when the folder could not be made.
    std::string File(const std::string& name) const { return m_path.empty() ? "" : m_path + "/" + name; }

private:
    std::string m_path;
};

std::string FileNameOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The list's two workers, counting the bids handed to them (bid --now
// waits for exactly those results).
class CCountingJobs : public IJobSink {
public:
    void Start(IWorkerOwner& owner, CUiDispatcher& ui) { m_workers = std::make_unique<CWorkerJobSink>(owner, ui); }
    void PostUpdate(std::unique_ptr<CItem> copy) override { m_workers->PostUpdate(std::move(copy)); }
    void PostBid(std::unique_ptr<CBidRequest> request) override {
        ++m_nBids;
        m_workers->PostBid(std::move(request));
    }
    void Stop() override {
        if (m_workers) m_workers->Stop();
    }
    int Bids() const { return m_nBids; }

private:
    std::unique_ptr<CWorkerJobSink> m_workers;
    int m_nBids = 0;
};

// One command's world: the prompts, the UI thread's dispatcher, the front
// end, the document and the list core with its two workers.
class CListSession {
public:
    CListSession(bool yes, bool quiet) : m_prompts(std::cout, yes), m_front(quiet) {}
    ~CListSession() {
        // The core saves when it shuts down; it goes before the document.
        m_core.reset();
    }

    enum class Mode { Create, Change, ReadOnly };

    // Opens path and builds the rows: Create makes an empty list there when
    // the file is missing; ReadOnly leaves the file alone (no lock, and the
    // core's save on the way out goes to a scratch copy), so it may look at
    // a list that a run is working on. False after a message.
    bool Open(const std::string& path, Mode mode) {
        if (mode != Mode::ReadOnly && !m_lock.Acquire(path)) return false;
        if (!FileExists(path)) {
            if (mode != Mode::Create) {
                std::cerr << "bexora-cli: " << path << " does not exist\n";
                return false;
            }
            m_doc.SetPathName(path);
        } else if (!m_doc.OnOpenDocument(path)) {
            return false;
        }
        if (mode == Mode::ReadOnly) {
            m_scratch = std::make_unique<CScratchDir>();
            if (m_scratch->File("x").empty()) {
                std::cerr << "bexora-cli: cannot make a temporary folder\n";
                return false;
            }
            m_doc.SetPathName(m_scratch->File(FileNameOf(path)));
        }
        m_bReadOnly = mode == Mode::ReadOnly;
        m_core = std::make_unique<CItemListCore>(m_doc, m_front, m_ui, &m_jobs);
        // The workers need the core as their owner, so they start after it
        // (nothing is posted before Initialize's first tick).
        m_jobs.Start(*m_core, m_ui);
        m_core->Initialize();
        return true;
    }

    // Ends the workers and saves.
    bool Close() {
        if (m_core) m_core->Shutdown();
        return m_bReadOnly || m_doc.LastSaveSucceeded();
    }

    CItemListCore& Core() { return *m_core; }
    CebayDoc& Doc() { return m_doc; }
    CUiDispatcher& Ui() { return m_ui; }
    CCliFrontEnd& Front() { return m_front; }
    int BidsPosted() const { return m_jobs.Bids(); }

private:
    CCliPrompts m_prompts;
    CUiDispatcher m_ui;
    CCliFrontEnd m_front;
    CListLock m_lock;
    std::unique_ptr<CScratchDir> m_scratch;  // goes after the document's last save
    bool m_bReadOnly = false;
    CCountingJobs m_jobs;  // outlives the core, which stops it
    CebayDoc m_doc;
    std::unique_ptr<CItemListCore> m_core;
};

// Selects the rows of numbers; reports those not listed. False when one is missing.
bool SelectListed(CListSession& s, const std::string& list, const Args& numbers) {
    bool all = true;
    std::vector<std::string> wanted;
    for (const std::string& n : numbers) {
        std::string number = Trim(n, " ");
        if (s.Core().FindRow(number) < 0) {
            std::cerr << "bexora-cli: item " << number << " is not in " << list << "\n";
            all = false;
        }
        wanted.push_back(number);
    }
    s.Core().SelectItems(wanted);
    return all;
}

int Finish(CListSession& s, int status) {
    if (!s.Close()) return kFailed;
    return status;
}

// ---- the commands ----

int AddCommand(const Args& args) {
    ParsedArgs p;
    std::string problem = ParseOptions(args, {}, {"yes", "quiet"}, p);
    if (!problem.empty()) return Usage("add: " + problem);
    if (p.positional.size() < 2) return Usage("add needs LIST.bid and at least one ITEM");
    CListSession s(p.flags.count("yes"), p.flags.count("quiet"));
    if (!s.Open(p.positional[0], CListSession::Mode::Create)) return kFailed;
    int status = kOk;
    CProgressLine progress(p.flags.count("quiet"));
    const int count = static_cast<int>(p.positional.size()) - 1;
    for (size_t i = 1; i < p.positional.size(); ++i) {
        progress.Show("Adding", static_cast<int>(i), count);
        // A number already listed is refreshed and reported, not an error.
        bool listed = s.Core().FindRow(Trim(p.positional[i], " ")) >= 0;
        if (!s.Core().AddSingleItem(p.positional[i]) && !listed) status = kFailed;
    }
    return Finish(s, status);
}

int DeleteCommand(const Args& args) {
    ParsedArgs p;
    std::string problem = ParseOptions(args, {}, {"yes"}, p);
    if (!problem.empty()) return Usage("delete: " + problem);
    if (p.positional.size() < 2) return Usage("delete needs LIST.bid and at least one ITEM");
    CListSession s(p.flags.count("yes"), false);
    if (!s.Open(p.positional[0], CListSession::Mode::Change)) return kFailed;
    bool all = SelectListed(s, p.positional[0], Args(p.positional.begin() + 1, p.positional.end()));
    s.Core().OnDeleteItem();
    return Finish(s, all ? kOk : kFailed);
}

int CancelCommand(const Args& args) {
    ParsedArgs p;
    std::string problem = ParseOptions(args, {}, {"yes"}, p);
    if (!problem.empty()) return Usage("cancel: " + problem);
    if (p.positional.size() < 2) return Usage("cancel needs LIST.bid and at least one ITEM");
    CListSession s(p.flags.count("yes"), false);
    if (!s.Open(p.positional[0], CListSession::Mode::Change)) return kFailed;
    bool all = SelectListed(s, p.positional[0], Args(p.positional.begin() + 1, p.positional.end()));
    s.Core().OnCancelPendingBid();
    return Finish(s, all ? kOk : kFailed);
}

int NoteCommand(const Args& args) {
    ParsedArgs p;
    std::string problem = ParseOptions(args, {}, {}, p);
    if (!problem.empty()) return Usage("note: " + problem);
    if (p.positional.size() != 3) return Usage("note needs LIST.bid, ITEM and TEXT");
    CListSession s(false, false);
    if (!s.Open(p.positional[0], CListSession::Mode::Change)) return kFailed;
    int row = s.Core().FindRow(Trim(p.positional[1], " "));
    if (row < 0) {
        std::cerr << "bexora-cli: item " << p.positional[1] << " is not in " << p.positional[0] << "\n";
        return Finish(s, kFailed);
    }
    s.Core().SetNote(row, p.positional[2]);
    return Finish(s, kOk);
}

int HistoryCommand(const Args& args) {
    ParsedArgs p;
    std::string problem = ParseOptions(args, {}, {}, p);
    if (!problem.empty()) return Usage("history: " + problem);
    if (p.positional.size() != 2) return Usage("history needs LIST.bid and ITEM");
    CListSession s(false, false);
    if (!s.Open(p.positional[0], CListSession::Mode::ReadOnly)) return kFailed;
    if (!SelectListed(s, p.positional[0], {p.positional[1]})) return Finish(s, kFailed);
    s.Core().OnViewHistory();
    return Finish(s, kOk);
}

int ListCommand(const Args& args) {
    ParsedArgs p;
    std::string problem = ParseOptions(args, {"sort"}, {}, p);
    if (!problem.empty()) return Usage("list: " + problem);
    if (p.positional.size() != 1) return Usage("list needs LIST.bid");
    std::optional<long> key;
    if (p.values.count("sort")) {
        key = WholeNumber(p.values["sort"]);
        if (!key || *key == 0 || *key > kColumnCount || *key < -kColumnCount)
            return Usage("--sort takes a key from 1 to 13, negative for descending");
    }
    CListSession s(false, false);
    if (!s.Open(p.positional[0], CListSession::Mode::ReadOnly)) return kFailed;
    if (key) s.Core().Sort(static_cast<int>(*key));
    std::string out;
    for (int row = 0; row < s.Core().GetRowCount(); ++row) {
        for (int col = 0; col < kColumnCount; ++col) {
            if (col) out += '\t';
            out += s.Core().GetCellText(row, col);
        }
        out += '\n';
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    return Finish(s, kOk);
}

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

int BidCommand(const Args& args) {
    ParsedArgs p;
    std::string problem = ParseOptions(args, {"max", "before", "user", "password", "group", "quantity"},
                                       {"now", "yes"}, p);
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
    }

    // With --now the result is waited for; the workers start with the list
    // and must leave the stop signals to the loop's watcher.
    if (now) CHeadlessLoop::BlockStopSignals();
    CListSession s(p.flags.count("yes"), false);
    if (!s.Open(p.positional[0], CListSession::Mode::Change)) return kFailed;
    if (!SelectListed(s, p.positional[0], {p.positional[1]})) return Finish(s, kFailed);

    bool noAccount = false;
    CCallbackBidDialog dialog([&](BidDialogValues& v, const CBidGroupList& groups) {
        v.m_nMode = now ? 0 : 1;
        if (delayed) {
            v.m_nHours = h;
            v.m_nMinutes = m;
            v.m_nSeconds = sec;
        }
        v.m_fMaxBid = maxBid;
        if (p.values.count("user")) v.m_strUserName = p.values["user"];
        if (password) v.m_strPass = v.m_strConfirm = *password;
        if (p.values.count("group")) {
            v.m_bEnableGroup = true;
            v.m_strGroupName = p.values["group"];
            // Without --quantity an existing group keeps its count.
            OnEnableGroupClicked(v, groups, true);
            if (quantity) v.m_nQuantity = static_cast<int>(*quantity);
        } else {
            OnEnableGroupClicked(v, groups, false);
            v.m_bEnableGroup = false;
        }
        // The dialog's OK stays disabled without an account.
        if (!BidDialogOkEnabled(v)) {
            noAccount = true;
            return false;
        }
        return CheckBidDialogOk(v);
    });
    const int bidsBefore = s.BidsPosted();
    const int resultsBefore = s.Front().Navigations();
    BidSetupResult result = OnBidOnItem(s.Core(), dialog);
    if (noAccount)
        std::cerr << "bexora-cli: bid needs --user and --password (none are remembered)\n";
    const int posted = s.BidsPosted() - bidsBefore;
    if (posted > 0) {
        // Every fetch of the conversation has its time-outs: the result comes.
        CHeadlessLoop loop(s.Ui());
        loop.RunUntil([&] { return s.Front().Navigations() >= resultsBefore + posted; }, -1);
    }
    const bool done = result == BidSetupResult::BidNow || result == BidSetupResult::Scheduled;
    return Finish(s, done ? kOk : kFailed);
}

int ExportCommand(const Args& args) {
    ParsedArgs p;
    std::string problem = ParseOptions(args, {}, {}, p);
    if (!problem.empty()) return Usage("export: " + problem);
    if (p.positional.size() != 2) return Usage("export needs LIST.bid and OUT.xls");
    CListSession s(false, false);
    if (!s.Open(p.positional[0], CListSession::Mode::ReadOnly)) return kFailed;
    bool ok = OnExport(s.Core(), p.positional[1]);
    return Finish(s, ok ? kOk : kFailed);
}

// "Add Item from Browser Page" on a page saved from the browser: the
// address tells an item's page from a listing; a listing is read fast
// unless --slow asks for every item's own page. The settings' choice of
// method and its dialog are the desktop's: here the option decides.
int AddPageCommand(const Args& args) {
    ParsedArgs p;
    std::string problem = ParseOptions(args, {"address"}, {"slow", "yes"}, p);
    if (!problem.empty()) return Usage("add-page: " + problem);
    if (p.positional.size() != 2) return Usage("add-page needs LIST.bid and PAGE.html");
    if (!p.values.count("address")) return Usage("add-page needs --address URL (where the page was shown)");
    std::string page, error;
    if (!ReadWholeFile(p.positional[1], page, &error)) {
        std::cerr << "bexora-cli: " << error << "\n";
        return kFailed;
    }
    CListSession s(p.flags.count("yes"), false);
    if (!s.Open(p.positional[0], CListSession::Mode::Create)) return kFailed;
    CListSink<CItemListCore> sink(&s.Core());
    AddFromPageWithMethod(std::move(page), p.values["address"], sink,
                          p.flags.count("slow") ? kAddSlow : kAddFast);
    return Finish(s, kOk);
}

int SiteTimeCommand(const Args& args) {
    if (!args.empty()) return Usage("site-time takes no arguments");
    CCliPrompts prompts(std::cout);
    std::string text = SiteTimeReport();
    if (text.empty() || text.back() != '\n') text += '\n';
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? kOk : kFailed;
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

int RunCommand(const Args& args) {
    ParsedArgs p;
    std::string problem = ParseOptions(args, {"for"}, {"quiet", "yes", "notify", "in-work-dir"}, p);
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
    // The workers start with the list; they must not take the stop signals.
    CHeadlessLoop::BlockStopSignals();
    CListSession s(p.flags.count("yes"), p.flags.count("quiet"));
    if (!s.Open(p.positional[0], CListSession::Mode::Change)) return kFailed;
    CHeadlessLoop loop(s.Ui());
    CItemListCore& core = s.Core();

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
    // A second signal while the workers stop and the list is saved ends
    // the program the ordinary way (the save itself is atomic).
    CHeadlessLoop::UnblockStopSignals();
    const int status = Finish(s, kOk);
    sendNotices();  // results that came in with the stop
    guard.Release();
    return status;
}

}  // namespace

void AddListCommands(CommandTable& commands) {
    commands.push_back({"add", &AddCommand,
                        "  add LIST.bid ITEM... [--quiet]\n"
                        "                                add items (their pages are read); creates\n"
                        "                                LIST.bid when missing\n"});
    commands.push_back({"delete", &DeleteCommand, "  delete LIST.bid ITEM...       delete items from the list\n"});
    commands.push_back({"cancel", &CancelCommand, "  cancel LIST.bid ITEM...       cancel the items' pending bids\n"});
    commands.push_back({"note", &NoteCommand, "  note LIST.bid ITEM TEXT       set an item's note (empty TEXT: none)\n"});
    commands.push_back({"history", &HistoryCommand, "  history LIST.bid ITEM         show an item's bidding history\n"});
    commands.push_back({"bid", &BidCommand,
                        "  bid LIST.bid ITEM --max AMOUNT (--now | --before H:M:S)\n"
                        "      [--user U --password P] [--group NAME [--quantity N]] [--yes]\n"
                        "                                bid on an item at once (waits for the\n"
                        "                                result) or H:M:S before its end\n"
                        "                                (--password - reads it from standard input)\n"});
    commands.push_back({"list", &ListCommand,
                        "  list LIST.bid [--sort KEY]    the rows as the list shows them, the 13\n"
                        "                                cells tab-separated (KEY 1..13, negative\n"
                        "                                for descending)\n"});
    commands.push_back({"export", &ExportCommand,
                        "  export LIST.bid OUT.xls       write the rows as a tab-separated file\n"});
    commands.push_back({"add-page", &AddPageCommand,
                        "  add-page LIST.bid PAGE.html --address URL [--slow] [--yes]\n"
                        "                                add the item of a saved item page, or the\n"
                        "                                items a listing page shows (--slow: read\n"
                        "                                each item's page); creates LIST.bid when\n"
                        "                                missing\n"});
    commands.push_back({"site-time", &SiteTimeCommand,
                        "  site-time                     the site's clock against this machine's\n"});
    commands.push_back({"run", &RunCommand,
                        "  run LIST.bid [--for SECONDS] [--quiet] [--notify] [--in-work-dir]\n"
                        "                                run the scheduler headless (until SIGINT or\n"
                        "                                SIGTERM without --for), printing notices,\n"
                        "                                balloons and result pages; --notify: also\n"
                        "                                as desktop notifications; --in-work-dir:\n"
                        "                                LIST names a list in the work folder. Keeps\n"
                        "                                the machine awake while a bid is near and\n"
                        "                                tells systemd when it is ready\n"});
}

}  // namespace bexora::cli
