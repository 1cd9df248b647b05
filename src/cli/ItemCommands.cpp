// bexora-cli's commands on a list's rows: add, delete, cancel, note,
// history, list, export, add-page and refresh.

#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "base/AtomicFile.h"
#include "browser/AddFromPage.h"
#include "browser/ItemSink.h"
#include "cli/ItemFormat.h"
#include "cli/ListSession.h"
#include "cli/ProgressLine.h"
#include "listview/Export.h"
#include "listview/Notices.h"
#include "site/SiteTime.h"
#include "text/TextTools.h"

namespace bexora::cli {

int AddCommand(CCommandEnv& env, const Args& args) {
    ParsedArgs p;
    std::string problem = ParseOptions(args, {}, {"yes", "quiet"}, p);
    if (!problem.empty()) return Usage("add: " + problem);
    if (p.positional.size() < 2) return Usage("add needs LIST.bid and at least one ITEM");
    CListSession s(env, p.flags.count("yes"), p.flags.count("quiet"));
    if (!s.Open(p.positional[0], CListSession::Mode::Create)) return s.Status();
    if (env.owned) {
        // The pages are read off the owner's tick; each item joins the list
        // on the UI thread as its page comes in.
        auto status = std::make_shared<int>(kOk);
        CItemListCore& core = s.Core();
        env.waitFor = ReadPagesOffTick(
            env, Args(p.positional.begin() + 1, p.positional.end()),
            [](const std::string& number) {
                CReadPage page{std::make_unique<CItem>(), false};
                page.item->m_strItemNumber = Trim(number, " ");
                page.ok = !page.item->m_strItemNumber.empty() && page.item->UpdateFromSite();
                return page;
            },
            [&core, status](const std::string&, CReadPage page) {
                // A number already listed is refreshed and reported, not an error.
                const bool listed = core.FindRow(page.item->m_strItemNumber) >= 0;
                if (!core.AddFetchedItem(std::move(page.item), page.ok) && !listed) *status = kFailed;
            },
            "Adding");
        env.finalStatus = [status] { return *status; };
        return kOk;
    }
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
    // The history as the window shows it, a line each (each line's control
    // characters escaped: the site's texts never reach the terminal raw).
    const CItem& item = *s.Core().GetItem(s.Core().FindRow(Trim(p.positional[1], " ")));
    std::string text = item.m_strMessages.empty() ? notice::kNoHistory : item.m_strMessages;
    ReplaceAll(text, "\r\n", "\n");
    std::string out;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        out += EscapeValue(text.substr(start, end - start)) + "\n";
        start = end + 1;
    }
    env.out << out << std::flush;
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
    // End times and time left as of now, by the site's clock.
    WaitForSiteClock(s);
    if (key) s.Core().Sort(static_cast<int>(*key));
    std::string out;
    for (int row = 0; row < s.Core().GetRowCount(); ++row) {
        for (int col = 0; col < kColumnCount; ++col) {
            if (col) out += '\t';
            out += s.Core().CellTextNow(row, col);
        }
        out += '\n';
    }
    env.out << out << std::flush;
    return Finish(s, kOk);
}

int ExportCommand(CCommandEnv& env, const Args& args) {
    ParsedArgs p;
    std::string problem = ParseOptions(args, {}, {}, p);
    if (!problem.empty()) return Usage("export: " + problem);
    if (p.positional.size() != 2) return Usage("export needs LIST.bid and OUT.xls");
    CListSession s(env, false, false);
    if (!s.Open(p.positional[0], CListSession::Mode::ReadOnly)) return s.Status();
    WaitForSiteClock(s);
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
    const int method = p.flags.count("slow") ? kAddSlow : kAddFast;
    if (!env.owned) {
        AddFromPageWithMethod(std::move(page), p.values["address"], sink, method);
        return Finish(s, kOk);
    }
    // In an owner what the page shows joins the list now; the item pages
    // the add has to read (the slow add's) are read off the owner's tick.
    auto pending = std::make_shared<PendingPageAdd>();
    auto result = std::make_shared<PageAddResult>(
        StartPageAdd(std::move(page), p.values["address"], sink, method, *pending));
    CItemListCore& core = s.Core();
    env.waitFor = ReadPagesOffTick(
        env, pending->numbers,
        [](const std::string& number) {
            CReadPage read{ReadItemPage(number), false};
            read.ok = read.item != nullptr;
            return read;
        },
        [&core, pending, result](const std::string&, CReadPage read) {
            CListSink<CItemListCore> sink(&core);
            std::vector<std::unique_ptr<CItem>> one;
            one.push_back(std::move(read.item));
            FinishPageAdd(*pending, std::move(one), sink, *result);
        },
        "Reading item pages");
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

}  // namespace bexora::cli
