// Item-list files on the command line: dump one as text, or load and save it.

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/CliPrompts.h"
#include "cli/Commands.h"
#include "cli/ItemFormat.h"
#include "cli/ProgressLine.h"
#include "model/ebayDoc.h"

namespace bexora::cli {

namespace {

int Dump(const Args& args) {
    // Passwords stay masked unless asked for: a dump ends up on screens and
    // in bug reports.
    Args a;
    bool showPasswords = false;
    for (const std::string& arg : args) {
        if (arg == "--show-passwords")
            showPasswords = true;
        else
            a.push_back(arg);
    }
    if (a.size() != 1) return Usage("dump needs one FILE.bid");
    CCliPrompts prompts(std::cerr);
    CebayDoc doc;
    if (!doc.OnOpenDocument(a[0])) return kFailed;

    std::string out = "items=" + std::to_string(doc.Items().size()) + "\n";
    size_t k = 0;
    for (const auto& item : doc.Items()) {
        out += "[item " + std::to_string(++k) + "]\n";
        out += FormatItemFields(*item, showPasswords);
    }
    const auto& groups = doc.BidGroups().Groups();
    out += "groups=" + std::to_string(groups.size()) + "\n";
    k = 0;
    for (const auto& group : groups) {
        out += "[group " + std::to_string(++k) + "]\n";
        out += "m_strName=" + EscapeValue(group->m_strName) + "\n";
        out += "m_nWanted=" + std::to_string(group->m_nWanted) + "\n";
        out += "m_nMembers=" + std::to_string(group->m_nMembers) + "\n";
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? kOk : kFailed;
}

// Refreshes items of a list from their pages, saves the list, and prints
// one line per item: number, price, bids and time left, tab-separated, with
// "failed" after them when the page could not be read.
int Refresh(const Args& args) {
    // --quiet: no progress line (the only option; everything else is a file or a number).
    Args a;
    bool quiet = false;
    for (const std::string& arg : args) {
        if (arg == "--quiet") quiet = true;
        else a.push_back(arg);
    }
    if (a.empty()) return Usage("refresh needs FILE.bid and optionally ITEM numbers");
    CCliPrompts prompts(std::cerr);
    CebayDoc doc;
    if (!doc.OnOpenDocument(a[0])) return kFailed;

    std::vector<CItem*> chosen;
    int status = kOk;
    if (a.size() == 1) {
        for (auto& item : doc.Items()) chosen.push_back(item.get());
    } else {
        for (size_t i = 1; i < a.size(); ++i) {
            CItem* item = doc.FindItem(a[i]);
            if (item) {
                chosen.push_back(item);
            } else {
                std::cerr << "bexora-cli: item " << a[i] << " is not in " << a[0] << "\n";
                status = kFailed;
            }
        }
    }
    std::string out;
    CProgressLine progress(quiet);
    int done = 0;
    for (CItem* item : chosen) {
        progress.Show("Refreshing", ++done, static_cast<int>(chosen.size()));
        bool ok = item->UpdateFromSite();
        out += item->m_strItemNumber + "\t" + item->m_strCurrentPrice + "\t" +
               item->m_strBidCount + "\t" + item->m_strTimeLeft + (ok ? "" : "\tfailed") + "\n";
    }
    CProgressLine::Interrupt();
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    if (!doc.OnSaveDocument(doc.GetPathName())) return kFailed;
    return status;
}

int Rewrite(const Args& a) {
    if (a.size() != 2) return Usage("rewrite needs IN.bid and OUT.bid");
    CCliPrompts prompts(std::cerr);
    CebayDoc doc;
    if (!doc.OnOpenDocument(a[0])) return kFailed;
    return doc.OnSaveDocument(a[1]) ? kOk : kFailed;
}

}  // namespace

void AddModelCommands(CommandTable& commands) {
    commands.push_back(
        {"dump", &Dump,
         "  dump FILE.bid [--show-passwords]\n"
         "                                print the items and bid groups of an\n"
         "                                item list, one NAME=VALUE line a field\n"
         "                                (passwords masked unless --show-passwords)\n"});
    commands.push_back({"rewrite", &Rewrite,
                        "  rewrite IN.bid OUT.bid        load an item list and save it as OUT\n"});
    commands.push_back({"refresh", &Refresh,
                        "  refresh FILE.bid [ITEM...] [--quiet]\n"
                        "                                refresh items from the site (all when\n"
                        "                                none are named) and save the list\n"});
}

}  // namespace bexora::cli
