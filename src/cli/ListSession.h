#pragma once
// What bexora-cli's item-list commands share: where a command runs and
// writes (a process of its own on the file, or inside the list's owner for a
// client), the session that opens the list or reaches its owner, and the
// page reads an owner does off its tick. The commands themselves live in
// ItemCommands.cpp (the rows), ListBidCommands.cpp (bids and their checks)
// and ListCommands.cpp (run, rewrite and the command table).

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bidding/UiDispatcher.h"
#include "cli/CliPrompts.h"
#include "cli/Commands.h"
#include "cli/ListCommands.h"
#include "listview/ItemListCore.h"
#include "listview/ListOwner.h"
#include "model/ebayDoc.h"

namespace bexora::cli {

bool FileExists(const std::string& path);
// A whole number, all of text; nullopt otherwise.
std::optional<long> WholeNumber(const std::string& text);
std::string FileNameOf(const std::string& path);

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
    // Inside an owner: its questions are answered yes (--yes).
    bool yes = false;
    // Inside an owner: the work done so far, for the client's progress
    // line ("Adding", 3 of 10; what empty: none).
    struct Progress {
        std::string what;
        int done = 0, total = 0;
    } progress;
};

// How long a command waits for another command's short hold on the list
// (an owner answers at once; only a plain command holds it without one).
constexpr int kLockWaitMs = 30000;
constexpr int kLockRetryMs = 50;

// Sends the command to list's owner and writes its answer as if it had run
// here (what the owner sends while it works as it comes, with the progress
// line unless quiet). NoOwner when nobody serves the list.
CListClient::Result Forward(CCommandEnv& env, const std::string& list, int& status);

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
        if (mode == Mode::ReadOnly || (mode == Mode::Change && !FileExists(path))) {
            // The owner's list is newer than its file (a new one may not be
            // on disk yet). A list that is nowhere gets no lock file.
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
bool SelectListed(CListSession& s, const std::string& list, const Args& numbers);
// Closes the session (saving the list); kFailed when the save failed, else status.
int Finish(CListSession& s, int status);
// Waits out another command's short hold on list; false, after saying so,
// when an owner has it open (an owner names itself in the lock file).
bool TakeForWriting(CCommandEnv& env, CListLock& lock, const std::string& list);

// End times, time left and ended auctions go by the site's clock: a list
// nobody runs has it read first (the owner of a running list has), 5 s at
// most; says so when it cannot.
void WaitForSiteClock(CListSession& s);

// A page read off an owner's tick: the item, and whether its page was read.
struct CReadPage {
    std::unique_ptr<CItem> item;
    bool ok = false;
};
// Inside a list's owner: reads one page per key on a thread of the
// command's own, so the owner's tick goes on meanwhile (a snipe due while a
// slow site answers leaves on time), and hands each to take on the UI thread
// as it comes in, in order. The result is true once every page was taken;
// polled from the command's waitFor. what names the work for the client's
// progress line (empty: none). The reads stop when the command is dropped
// (the owner closing).
std::function<bool()> ReadPagesOffTick(CCommandEnv& env, const Args& keys,
                                       std::function<CReadPage(const std::string& key)> read,
                                       std::function<void(const std::string& key, CReadPage page)> take,
                                       const std::string& what);

// The commands on a list.
int AddCommand(CCommandEnv& env, const Args& args);
int DeleteCommand(CCommandEnv& env, const Args& args);
int CancelCommand(CCommandEnv& env, const Args& args);
int NoteCommand(CCommandEnv& env, const Args& args);
int HistoryCommand(CCommandEnv& env, const Args& args);
int ListCommand(CCommandEnv& env, const Args& args);
int ExportCommand(CCommandEnv& env, const Args& args);
int AddPageCommand(CCommandEnv& env, const Args& args);
int RefreshCommand(CCommandEnv& env, const Args& args);
int BidCommand(CCommandEnv& env, const Args& args);
int CheckCommand(CCommandEnv& env, const Args& args);
// The keyring: list, forget USER, move-to-keyring LIST, move-to-file LIST.
int SecretsCommand(CCommandEnv& env, const Args& args);

}  // namespace bexora::cli
