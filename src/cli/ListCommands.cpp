// bexora-cli's item-list commands: the same list core the desktop program
// runs, driven from the command line. Each command opens the list, does one
// thing through the core and saves as the program does; `run` keeps the
// scheduler going headless.
//
// Output: messages as "message: TEXT", notices as "notice LEVEL TEXT",
// balloons as "balloon TITLE | TEXT", result pages as "navigate URL", all on
// standard output in the order they happen.

#include "cli/ListCommands.h"

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
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <utility>
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
#include "cli/ProgressLine.h"
#include "listview/BidSetup.h"
#include "listview/Export.h"
#include "listview/ItemListCore.h"
#include "listview/SleepGuard.h"
#include "model/ebayDoc.h"
#include "session/DesktopNotifier.h"
#include "session/LogindInhibitor.h"
#include "session/ServiceNotify.h"
#include "site/PageFetch.h"
#include "site/SiteTime.h"
#include "text/TextTools.h"

namespace bexora::cli {

// ---- the front end ----

void CCliFrontEnd::PrintLine(const std::string& line) {
    CProgressLine::Interrupt();
    std::string out = line + "\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    if (m_echo) *m_echo << out;
}

void CCliFrontEnd::NoticeAdded(const std::string& text, int level) {
    if (m_bQuiet && level < 2) return;
    PrintLine("notice " + std::to_string(level) + " " + EscapeValue(text));
}

void CCliFrontEnd::ShowBalloon(const std::string& title, const std::string& text) {
    PrintLine("balloon " + EscapeValue(title) + " | " + EscapeValue(text));
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
    PrintLine("navigate " + url);
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
    void PostCheck(std::unique_ptr<CBidRequest> request) override {
        m_workers->PostCheck(std::move(request));
    }
    void Stop() override {
        if (m_workers) m_workers->Stop();
    }
    int Bids() const { return m_nBids; }

private:
    std::unique_ptr<CWorkerJobSink> m_workers;
    int m_nBids = 0;
};

// Where one command runs and writes: in a process of its own on the file
// (standard output and error), or inside the list's owner for a client
// (texts sent back in the answer).
struct CCommandEnv {
    CCommandEnv(std::string name, const Args& args)
        : out(std::cout), err(std::cerr), name(std::move(name)), forward(args) {}
    CCommandEnv(std::string name, COwnedList& owned, std::ostream& out, std::ostream& err,
                std::string cwd)
        : out(out), err(err), name(std::move(name)), owned(&owned), cwd(std::move(cwd)) {}

    // A path as the user meant it: a client's relative path is relative to
    // the client's working folder, not the owner's.
    std::string Path(const std::string& path) const {
        if (!owned || path.empty() || path[0] == '/') return path;
        return cwd + "/" + path;
    }

    std::ostream& out;
    std::ostream& err;
    std::string name;
    Args forward;  // the arguments an owner is sent (a password read already)
    COwnedList* owned = nullptr;
    std::string cwd;
    // Inside an owner: the command is done once this holds.
    std::function<bool()> waitFor;
    // Inside an owner: the exit status once waitFor holds (unset: the one
    // the command returned).
    std::function<int()> finalStatus;
};

// How long a command waits for another command's short hold on the list
// (an owner answers at once; only a plain command holds it without one).
constexpr int kLockWaitMs = 30000;
constexpr int kLockRetryMs = 50;

// Sends the command to list's owner and writes its answer as if it had run
// here. NoOwner when nobody serves the list.
CListClient::Result Forward(CCommandEnv& env, const std::string& list, int& status) {
    Args argv{env.name};
    argv.insert(argv.end(), env.forward.begin(), env.forward.end());
    CListAnswer answer;
    std::string error;
    CListClient::Result r = CListClient::Send(list, argv, answer, error);
    if (r == CListClient::Result::Answered) {
        std::cout << answer.out << std::flush;
        std::cerr << answer.err << std::flush;
        status = answer.status;
    } else if (r == CListClient::Result::Failed) {
        std::cerr << "bexora-cli: " << error << "\n";
        status = kFailed;
    }
    return r;
}

// One command's world: the prompts, the UI thread's dispatcher, the front
// end, the document and the list core with its two workers; or, inside the
// list's owner, the owner's own core.
class CListSession {
public:
    CListSession(CCommandEnv& env, bool yes, bool quiet) : m_env(env), m_front(quiet) {
        if (!env.owned) m_prompts.emplace(std::cout, yes);
    }
    ~CListSession() {
        // The core saves when it shuts down; it goes before the document.
        m_core.reset();
    }

    // Owned: this process is the list's owner and holds its lock already.
    enum class Mode { Create, Change, ReadOnly, Owned };

    // Opens path and builds the rows: Create makes an empty list there when
    // the file is missing; ReadOnly leaves the file alone (no lock, and the
    // core's save on the way out goes to a scratch copy). A list that has
    // an owner is not opened: the command goes to the owner, and Status()
    // is its exit status. False then and after a message.
    bool Open(const std::string& path, Mode mode) {
        if (m_env.owned) return Attach(path);
        if (mode == Mode::ReadOnly) {
            // The owner's list is newer than its file.
            if (Forward(m_env, path, m_nStatus) != CListClient::Result::NoOwner) return false;
        } else if (mode != Mode::Owned && !TakeList(path)) {
            return false;
        }
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

    // Ends the workers and saves (an owner's list: saves).
    bool Close() {
        if (m_env.owned) {
            if (!m_bReadOnly && m_pCore) m_pCore->SaveDocument();
            return m_bReadOnly || !m_pCore || m_pCore->Document().LastSaveSucceeded();
        }
        if (m_core) m_core->Shutdown();
        return m_bReadOnly || m_doc.LastSaveSucceeded();
    }

    // kFailed, or the owner's answer when the command went there.
    int Status() const { return m_nStatus; }
    void SetReadOnly() { m_bReadOnly = true; }

    CItemListCore& Core() { return m_pCore ? *m_pCore : *m_core; }
    CebayDoc& Doc() { return Core().Document(); }
    CUiDispatcher& Ui() { return m_env.owned ? m_env.owned->ui : m_ui; }
    CCommandEnv& Env() { return m_env; }
    CCliFrontEnd& Front() { return m_front; }

private:
    // The lock, or the owner: false when the command went to the owner or
    // the list stayed busy.
    bool TakeList(const std::string& path) {
        for (int waited = 0;; waited += kLockRetryMs) {
            if (m_lock.TryAcquire(path)) return true;
            if (Forward(m_env, path, m_nStatus) != CListClient::Result::NoOwner) return false;
            if (waited >= kLockWaitMs) break;
            usleep(kLockRetryMs * 1000);
        }
        std::cerr << "bexora-cli: " << path
                  << " is in use by another bexora-cli; try again later\n";
        return false;
    }

    bool Attach(const std::string& path) {
        CItemListCore& core = m_env.owned->core;
        if (CanonicalListPath(m_env.Path(path)) !=
            CanonicalListPath(core.Document().GetPathName())) {
            m_env.err << "bexora-cli: " << path << " is not the list open here\n";
            return false;
        }
        m_pCore = &core;
        return true;
    }

    CCommandEnv& m_env;
    std::optional<CCliPrompts> m_prompts;
    CUiDispatcher m_ui;
    CCliFrontEnd m_front;
    CListLock m_lock;
    std::unique_ptr<CScratchDir> m_scratch;  // goes after the document's last save
    bool m_bReadOnly = false;
    int m_nStatus = kFailed;
    CCountingJobs m_jobs;  // outlives the core, which stops it
    CebayDoc m_doc;
    std::unique_ptr<CItemListCore> m_core;
    CItemListCore* m_pCore = nullptr;  // the owner's, inside the owner
};

// Selects the rows of numbers; reports those not listed. False when one is missing.
bool SelectListed(CListSession& s, const std::string& list, const Args& numbers) {
    bool all = true;
    std::vector<std::string> wanted;
    for (const std::string& n : numbers) {
        std::string number = Trim(n, " ");
        if (s.Core().FindRow(number) < 0) {
            s.Env().err << "bexora-cli: item " << number << " is not in " << list << "\n";
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

// The item pages an add reads inside a list's owner, read on a thread of
// the command's own: the owner's tick goes on meanwhile (a snipe due while
// a slow site answers leaves on time), and each item joins the list on the
// UI thread as its page comes in.
struct COwnedAdd {
    std::mutex mutex;
    std::vector<std::pair<std::unique_ptr<CItem>, bool>> fetched;  // page read?
    bool done = false;
    std::atomic<bool> abort{false};  // the owner closed: the fetch in progress ends
};

int AddInOwner(CCommandEnv& env, const Args& numbers, bool yes) {
    auto state = std::make_shared<COwnedAdd>();
    std::thread([state, numbers] {
        SetFetchAbortFlag(&state->abort);
        for (const std::string& n : numbers) {
            if (state->abort) break;
            auto item = std::make_unique<CItem>();
            item->m_strItemNumber = Trim(n, " ");
            const bool ok = !item->m_strItemNumber.empty() && item->UpdateFromSite();
            std::lock_guard<std::mutex> lock(state->mutex);
            state->fetched.emplace_back(std::move(item), ok);
        }
        SetFetchAbortFlag(nullptr);
        std::lock_guard<std::mutex> lock(state->mutex);
        state->done = true;
    }).detach();
    // Dropped with the command (answered, or the owner closing).
    struct AbortOnDrop {
        explicit AbortOnDrop(std::shared_ptr<COwnedAdd> s) : state(std::move(s)) {}
        AbortOnDrop(const AbortOnDrop&) = delete;
        AbortOnDrop& operator=(const AbortOnDrop&) = delete;
        ~AbortOnDrop() { state->abort = true; }
        std::shared_ptr<COwnedAdd> state;
    };
    auto guard = std::make_shared<AbortOnDrop>(state);
    auto status = std::make_shared<int>(kOk);
    env.waitFor = [&env, guard, status, yes] {
        COwnedAdd& st = *guard->state;
        std::vector<std::pair<std::unique_ptr<CItem>, bool>> batch;
        bool done = false;
        {
            std::lock_guard<std::mutex> lock(st.mutex);
            batch.swap(st.fetched);
            done = st.done;
        }
        // The UI thread: the items join the list, its questions go back to
        // the client.
        CCliPrompts prompts(env.out, yes);
        CItemListCore& core = env.owned->core;
        for (auto& [item, ok] : batch) {
            const bool listed = core.FindRow(item->m_strItemNumber) >= 0;
            if (!core.AddFetchedItem(std::move(item), ok) && !listed) *status = kFailed;
        }
        return done;
    };
    env.finalStatus = [status] { return *status; };
    return kOk;
}

int AddCommand(CCommandEnv& env, const Args& args) {
    ParsedArgs p;
    std::string problem = ParseOptions(args, {}, {"yes", "quiet"}, p);
    if (!problem.empty()) return Usage("add: " + problem);
    if (p.positional.size() < 2) return Usage("add needs LIST.bid and at least one ITEM");
    CListSession s(env, p.flags.count("yes"), p.flags.count("quiet"));
    if (!s.Open(p.positional[0], CListSession::Mode::Create)) return s.Status();
    if (env.owned) return AddInOwner(env, Args(p.positional.begin() + 1, p.positional.end()), p.flags.count("yes") > 0);
    int status = kOk;
    // A progress line only on this process's own terminal, not in an owner.
    CProgressLine progress(p.flags.count("quiet") || env.owned);
    const int count = static_cast<int>(p.positional.size()) - 1;
    for (size_t i = 1; i < p.positional.size(); ++i) {
        progress.Show("Adding", static_cast<int>(i), count);
        // A number already listed is refreshed and reported, not an error.
        bool listed = s.Core().FindRow(Trim(p.positional[i], " ")) >= 0;
        if (!s.Core().AddSingleItem(p.positional[i]) && !listed) status = kFailed;
    }
    return Finish(s, status);
}

int DeleteCommand(CCommandEnv& env, const Args& args) {
    ParsedArgs p;
    std::string problem = ParseOptions(args, {}, {"yes"}, p);
    if (!problem.empty()) return Usage("delete: " + problem);
    if (p.positional.size() < 2) return Usage("delete needs LIST.bid and at least one ITEM");
    CListSession s(env, p.flags.count("yes"), false);
    if (!s.Open(p.positional[0], CListSession::Mode::Change)) return s.Status();
    bool all = SelectListed(s, p.positional[0], Args(p.positional.begin() + 1, p.positional.end()));
    s.Core().OnDeleteItem();
    return Finish(s, all ? kOk : kFailed);
}

int CancelCommand(CCommandEnv& env, const Args& args) {
    ParsedArgs p;
    std::string problem = ParseOptions(args, {}, {"yes"}, p);
    if (!problem.empty()) return Usage("cancel: " + problem);
    if (p.positional.size() < 2) return Usage("cancel needs LIST.bid and at least one ITEM");
    CListSession s(env, p.flags.count("yes"), false);
    if (!s.Open(p.positional[0], CListSession::Mode::Change)) return s.Status();
    bool all = SelectListed(s, p.positional[0], Args(p.positional.begin() + 1, p.positional.end()));
    s.Core().OnCancelPendingBid();
    return Finish(s, all ? kOk : kFailed);
}

int NoteCommand(CCommandEnv& env, const Args& args) {
    ParsedArgs p;
    std::string problem = ParseOptions(args, {}, {}, p);
    if (!problem.empty()) return Usage("note: " + problem);
    if (p.positional.size() != 3) return Usage("note needs LIST.bid, ITEM and TEXT");
    CListSession s(env, false, false);
    if (!s.Open(p.positional[0], CListSession::Mode::Change)) return s.Status();
    int row = s.Core().FindRow(Trim(p.positional[1], " "));
    if (row < 0) {
        env.err << "bexora-cli: item " << p.positional[1] << " is not in " << p.positional[0]
                << "\n";
        return Finish(s, kFailed);
    }
    s.Core().SetNote(row, p.positional[2]);
    return Finish(s, kOk);
}

int HistoryCommand(CCommandEnv& env, const Args& args) {
    ParsedArgs p;
    std::string problem = ParseOptions(args, {}, {}, p);
    if (!problem.empty()) return Usage("history: " + problem);
    if (p.positional.size() != 2) return Usage("history needs LIST.bid and ITEM");
    CListSession s(env, false, false);
    if (!s.Open(p.positional[0], CListSession::Mode::ReadOnly)) return s.Status();
    if (!SelectListed(s, p.positional[0], {p.positional[1]})) return Finish(s, kFailed);
    s.Core().OnViewHistory();
    return Finish(s, kOk);
}

int ListCommand(CCommandEnv& env, const Args& args) {
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
    CListSession s(env, false, false);
    if (!s.Open(p.positional[0], CListSession::Mode::ReadOnly)) return s.Status();
    if (key) s.Core().Sort(static_cast<int>(*key));
    std::string out;
    for (int row = 0; row < s.Core().GetRowCount(); ++row) {
        for (int col = 0; col < kColumnCount; ++col) {
            if (col) out += '\t';
            out += s.Core().GetCellText(row, col);
        }
        out += '\n';
    }
    env.out << out << std::flush;
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

int BidCommand(CCommandEnv& env, const Args& args) {
    ParsedArgs p;
    std::string problem = ParseOptions(args, {"max", "before", "user", "password", "group", "quantity"},
                                       {"now", "yes", "set-default"}, p);
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
        struct Read {
            std::mutex mutex;
            CItem fresh;
            bool in = false, ok = false;
        };
        auto read = std::make_shared<Read>();
        CItem fresh;
        if (!BeginBidOnItem(core, fresh)) return kFailed;
        read->fresh = fresh;
        std::thread([read] {
            CItem copy;
            {
                std::lock_guard<std::mutex> lock(read->mutex);
                copy = read->fresh;
            }
            const bool ok = copy.UpdateFromSite();
            std::lock_guard<std::mutex> lock(read->mutex);
            read->fresh = copy;
            read->ok = ok;
            read->in = true;
        }).detach();
        auto status = std::make_shared<int>(kFailed);
        auto decided = std::make_shared<bool>(false);
        auto want = std::make_shared<int>(0);
        env.waitFor = [read, dialog, status, decided, want, finished, wanted, &core, &env,
                       yes = p.flags.count("yes") > 0] {
            if (!*decided) {
                CItem page;
                bool ok = false;
                {
                    std::lock_guard<std::mutex> lock(read->mutex);
                    if (!read->in) return false;
                    page = read->fresh;
                    ok = read->ok;
                }
                *decided = true;
                CCliPrompts prompts(env.out, yes);
                *status = finished(FinishBidOnItem(core, *dialog, page, ok)) ? kOk : kFailed;
                *want = wanted();
            }
            return core.BidResults() >= *want;
        };
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

int ExportCommand(CCommandEnv& env, const Args& args) {
    ParsedArgs p;
    std::string problem = ParseOptions(args, {}, {}, p);
    if (!problem.empty()) return Usage("export: " + problem);
    if (p.positional.size() != 2) return Usage("export needs LIST.bid and OUT.xls");
    CListSession s(env, false, false);
    if (!s.Open(p.positional[0], CListSession::Mode::ReadOnly)) return s.Status();
    bool ok = OnExport(s.Core(), env.Path(p.positional[1]));
    return Finish(s, ok ? kOk : kFailed);
}

// "Add Item from Browser Page" on a page saved from the browser: the
// address tells an item's page from a listing; a listing is read fast
// unless --slow asks for every item's own page. The settings' choice of
// method and its dialog are the desktop's: here the option decides.
int AddPageCommand(CCommandEnv& env, const Args& args) {
    ParsedArgs p;
    std::string problem = ParseOptions(args, {"address"}, {"slow", "yes"}, p);
    if (!problem.empty()) return Usage("add-page: " + problem);
    if (p.positional.size() != 2) return Usage("add-page needs LIST.bid and PAGE.html");
    if (!p.values.count("address")) return Usage("add-page needs --address URL (where the page was shown)");
    const std::string pagePath = env.Path(p.positional[1]);
    struct stat st {};
    // The owner has a standard input of its own: reading it would wait for
    // ever. What the client read from its own comes along as a file.
    if (env.owned && (stat(pagePath.c_str(), &st) != 0 || !S_ISREG(st.st_mode))) {
        env.err << "bexora-cli: " << p.positional[1] << " is not a file the list's owner can read\n";
        return kFailed;
    }
    std::string page, error;
    if (!ReadWholeFile(pagePath, page, &error)) {
        env.err << "bexora-cli: " << error << "\n";
        return kFailed;
    }
    // A page from standard input or a pipe is handed to an owner as a
    // private file of its own, removed once the owner has answered.
    std::string handed;
    if (!env.owned && (stat(pagePath.c_str(), &st) != 0 || !S_ISREG(st.st_mode))) {
        const std::string dir = OwnerSocketDir();
        if (!dir.empty()) {
            handed = dir + "/page-" + std::to_string(getpid()) + ".html";
            if (AtomicWriteFile(handed, page, 0600)) {
                env.forward = args;
                for (std::string& a : env.forward)
                    if (a == p.positional[1]) a = handed;
            } else {
                handed.clear();
            }
        }
    }
    struct RemoveAfter {
        std::string path;
        ~RemoveAfter() {
            if (!path.empty()) unlink(path.c_str());
        }
    } removeAfter{handed};
    CListSession s(env, p.flags.count("yes"), false);
    if (!s.Open(p.positional[0], CListSession::Mode::Create)) return s.Status();
    CListSink<CItemListCore> sink(&s.Core());
    AddFromPageWithMethod(std::move(page), p.values["address"], sink,
                          p.flags.count("slow") ? kAddSlow : kAddFast);
    return Finish(s, kOk);
}

// Refreshes items of a list from their pages, saves the list, and prints
// one line per item: number, price, bids and time left, tab-separated, with
// "failed" after them when the page could not be read. Inside an owner the
// pages are read by its update worker, so its tick goes on meanwhile.
int RefreshCommand(CCommandEnv& env, const Args& args) {
    // --quiet: no progress line (the only option; everything else is a file or a number).
    Args a;
    bool quiet = false;
    for (const std::string& arg : args) {
        if (arg == "--quiet") quiet = true;
        else a.push_back(arg);
    }
    if (a.empty()) return Usage("refresh needs FILE.bid and optionally ITEM numbers");
    CListSession s(env, false, false);
    if (!s.Open(a[0], CListSession::Mode::Change)) return s.Status();
    CItemListCore& core = s.Core();
    std::vector<std::string> chosen;
    int status = kOk;
    if (a.size() == 1) {
        for (int row = 0; row < core.GetRowCount(); ++row)
            chosen.push_back(core.GetItem(row)->m_strItemNumber);
    } else {
        for (size_t i = 1; i < a.size(); ++i) {
            if (core.FindRow(Trim(a[i], " ")) >= 0) {
                chosen.push_back(Trim(a[i], " "));
            } else {
                env.err << "bexora-cli: item " << a[i] << " is not in " << a[0] << "\n";
                status = kFailed;
            }
        }
    }
    auto line = [](const CItem& item, bool ok) {
        return item.m_strItemNumber + "\t" + item.m_strCurrentPrice + "\t" + item.m_strBidCount +
               "\t" + item.m_strTimeLeft + (ok ? "" : "\tfailed") + "\n";
    };
    if (!env.owned) {
        std::string out;
        CProgressLine progress(quiet);
        int done = 0;
        for (const std::string& number : chosen) {
            progress.Show("Refreshing", ++done, static_cast<int>(chosen.size()));
            CItem* item = core.GetItem(core.FindRow(number));
            bool ok = item->UpdateFromSite();
            out += line(*item, ok);
        }
        CProgressLine::Interrupt();
        env.out << out << std::flush;
        return Finish(s, status);
    }
    for (const std::string& number : chosen) core.UpdateRow(core.FindRow(number));
    std::ostream& out = env.out;
    env.waitFor = [&core, chosen, &out, line] {
        for (const std::string& number : chosen)
            if (core.IsUpdateInFlight(number)) return false;
        for (const std::string& number : chosen)
            if (const CItem* item = core.GetItem(core.FindRow(number)))
                out << line(*item, item->m_tEndTime != 0 || item->m_strTimeLeft == "Ended");
        out << std::flush;
        return true;
    };
    return Finish(s, status);
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
            if (!text.empty()) *status = kFailed;
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

// Waits out another command's short hold on list; false, after saying so,
// when an owner has it open (an owner names itself in the lock file).
bool TakeForWriting(CCommandEnv& env, CListLock& lock, const std::string& list) {
    for (int waited = 0;; waited += kLockRetryMs) {
        if (lock.TryAcquire(list)) return true;
        std::string owner = CListLock::OwnerText(list);
        // Inside a list's owner this is the tick's thread: it does not wait
        // out another command's hold.
        if (!owner.empty() || waited >= kLockWaitMs || env.owned) {
            env.err << "bexora-cli: " << list << " is open in "
                    << (owner.empty() ? "another program" : owner)
                    << "; writing it now would undo that program's work\n";
            return false;
        }
        usleep(kLockRetryMs * 1000);
    }
}

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
     "      [--set-default]\n"
     "                                bid on an item at once (waits for the\n"
     "                                result) or H:M:S before its end\n"
     "                                (--password - reads it from standard input);\n"
     "                                an amount under the item's minimum bid is\n"
     "                                refused; --set-default: the delay and account\n"
     "                                become the bid dialog's presets\n"},
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
    bool yes = false;
    for (const std::string& a : args) {
        if (a == "--") break;
        yes = yes || a == "--yes";
    }
    {
        // Its questions are answered as the client asked, and go back to it.
        CCliPrompts prompts(cmd->out, yes);
        cmd->status = def->run(*cmd->env, args);
    }
    return [cmd](CListAnswer& a) {
        if (cmd->env->waitFor && !cmd->env->waitFor()) return false;
        cmd->StopEcho();
        a.out = cmd->out.str();
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
