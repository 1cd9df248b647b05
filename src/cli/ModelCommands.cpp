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

}  // namespace

void AddModelCommands(CommandTable& commands) {
    commands.push_back(
        {"dump", &Dump,
         "  dump FILE.bid [--show-passwords]\n"
         "                                print the items and bid groups of an\n"
         "                                item list, one NAME=VALUE line a field\n"
         "                                (passwords masked unless --show-passwords)\n"});
}

}  // namespace bexora::cli
