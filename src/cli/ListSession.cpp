#include "cli/ListSession.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>

#include "cli/ItemFormat.h"
#include "cli/ProgressLine.h"
#include "site/PageFetch.h"
#include "site/SiteEndpoints.h"
#include "site/SiteTime.h"
#include "text/TextTools.h"

namespace bexora::cli {

// ---- the front end ----

void CCliFrontEnd::PrintLine(const std::string& line) {
    CProgressLine::Interrupt();
    std::string out = line + "\n";
    std::string stamped = out;
    if (m_bStamp) {
        const time_t now = time(nullptr);
        struct tm tm {};
        char stamp[16];
        if (localtime_r(&now, &tm) && strftime(stamp, sizeof stamp, "%H:%M:%S ", &tm) > 0)
            stamped = stamp + out;
    }
    std::fwrite(stamped.data(), 1, stamped.size(), stdout);
    std::fflush(stdout);
    if (m_echo) *m_echo << out;
}

namespace {

// "Bid Wins, click to open ..." is the window's balloon, which opens the
// result page when clicked; a terminal line has nothing to click.
std::string WithoutClickToOpen(const std::string& title) {
    const size_t at = title.find(", click to open");
    return at == std::string::npos ? title : title.substr(0, at);
}

}  // namespace

void CCliFrontEnd::NoticeAdded(const std::string& text, int level) {
    if (m_bQuiet && level < 2) return;
    PrintLine("notice " + std::to_string(level) + " " + EscapeValue(text));
}

void CCliFrontEnd::ShowBalloon(const std::string& title, const std::string& text) {
    PrintLine("balloon " + EscapeValue(WithoutClickToOpen(title)) + " | " + EscapeValue(text));
}

void CCliFrontEnd::ShowItemBalloon(const std::string& title, const std::string& text,
                                   const std::string& itemNumber, int level) {
    ShowBalloon(title, text);
    if (!m_bCollect) return;
    if (!m_balloons.empty() && !itemNumber.empty() && m_balloons.back().itemNumber == itemNumber)
        m_balloons.pop_back();
    m_balloons.push_back({WithoutClickToOpen(title), text, itemNumber, level});
}

std::vector<CCliFrontEnd::Balloon> CCliFrontEnd::TakeBalloons() {
    std::vector<Balloon> out;
    out.swap(m_balloons);
    return out;
}

void CCliFrontEnd::Navigate(const std::string& url) {
    ++m_nNavigations;
    // A confirmation the site refused leaves its address as the result
    // page: its form key and pass token stay out of terminals and the
    // journal, as in a dry run.
    const std::string shown = site::MaskConfirmSecrets(url);
    PrintLine("navigate " + shown);
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

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

std::optional<long> WholeNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE) return std::nullopt;
    return v;
}

std::string FileNameOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

CListClient::Result Forward(CCommandEnv& env, const std::string& list, int& status) {
    Args argv{env.name};
    argv.insert(argv.end(), env.forward.begin(), env.forward.end());
    bool quiet = false;
    for (const std::string& a : env.forward) {
        if (a == "--") break;
        quiet = quiet || a == "--quiet";
    }
    // What the owner sends while it works: its output at once, and the
    // progress line this process would show had it done the work itself.
    std::optional<CProgressLine> line;
    auto progress = [&](const std::string& out, const std::string& shown) {
        if (!out.empty()) {
            CProgressLine::Interrupt();
            std::cout << out << std::flush;
        }
        const size_t tab = shown.find('\t'), tab2 = shown.find('\t', tab == std::string::npos ? tab : tab + 1);
        if (tab2 == std::string::npos) return;
        if (!line) line.emplace(quiet);
        line->Show(shown.substr(0, tab), std::atoi(shown.c_str() + tab + 1), std::atoi(shown.c_str() + tab2 + 1));
    };
    CListAnswer answer;
    std::string error;
    CListClient::Result r = CListClient::Send(list, argv, answer, error, -1, progress);
    line.reset();
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

// End times are written by the site's clock: a list nobody runs has it
// read first (the owner of a running list has), for 5 s at most.
void WaitForSiteClock(CListSession& s) {
    if (s.Env().owned || IsClockOffsetMeasured()) return;
    CClockKeeper& keeper = s.Core().ClockKeeper();
    for (int waited = 0; waited < 5000 && !IsClockOffsetMeasured() && keeper.ReadsFinished() == 0; waited += 20)
        usleep(20 * 1000);
    if (!IsClockOffsetMeasured())
        s.Env().err << "bexora-cli: the site's clock could not be read: end times are the site's own "
                       "and time left is as of the list's last save\n";
}

namespace {

// What the page reads of a command in an owner share with it.
struct COffTickReads {
    std::mutex mutex;
    std::vector<std::pair<std::string, CReadPage>> read;  // not yet taken
    bool done = false;
    std::atomic<bool> abort{false};  // the command was dropped: the fetch in progress ends
};

}  // namespace

std::function<bool()> ReadPagesOffTick(CCommandEnv& env, const Args& keys,
                                       std::function<CReadPage(const std::string& key)> read,
                                       std::function<void(const std::string& key, CReadPage page)> take,
                                       const std::string& what) {
    auto state = std::make_shared<COffTickReads>();
    std::thread([state, keys, read = std::move(read)] {
        SetFetchAbortFlag(&state->abort);
        for (const std::string& key : keys) {
            if (state->abort) break;
            CReadPage page = read(key);
            std::lock_guard<std::mutex> lock(state->mutex);
            state->read.emplace_back(key, std::move(page));
        }
        SetFetchAbortFlag(nullptr);
        std::lock_guard<std::mutex> lock(state->mutex);
        state->done = true;
    }).detach();
    // Dropped with the command (answered, or the owner closing).
    struct AbortOnDrop {
        explicit AbortOnDrop(std::shared_ptr<COffTickReads> s) : state(std::move(s)) {}
        AbortOnDrop(const AbortOnDrop&) = delete;
        AbortOnDrop& operator=(const AbortOnDrop&) = delete;
        ~AbortOnDrop() { state->abort = true; }
        std::shared_ptr<COffTickReads> state;
    };
    auto guard = std::make_shared<AbortOnDrop>(state);
    const int total = static_cast<int>(keys.size());
    if (!what.empty() && total > 1) env.progress = {what, 0, total};
    return [&env, guard, take = std::move(take), what, total] {
        COffTickReads& st = *guard->state;
        std::vector<std::pair<std::string, CReadPage>> batch;
        bool done = false;
        {
            std::lock_guard<std::mutex> lock(st.mutex);
            batch.swap(st.read);
            done = st.done;
        }
        for (auto& [key, page] : batch) {
            take(key, std::move(page));
            if (!what.empty() && total > 1) ++env.progress.done;
        }
        if (done) env.progress = {};
        return done;
    };
}

}  // namespace bexora::cli
