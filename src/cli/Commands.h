#pragma once
// The command table of bexora-cli. Each group of commands lives in a file of
// its own and adds itself through a function called from main.cpp.

#include <string>
#include <vector>

namespace bexora::cli {

using Args = std::vector<std::string>;

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

struct Command {
    std::string name;
    int (*run)(const Args& args);
    std::string usage;  // help lines, each "  name ARGS   what it does\n"
};
using CommandTable = std::vector<Command>;

// Prints the problem and a pointer to --help on standard error; returns 2.
int Usage(const std::string& problem);

// Item-list files: dump, rewrite.
void AddModelCommands(CommandTable& commands);
// Site texts: parse-page, parse-date.
void AddSiteCommands(CommandTable& commands);
// Bids: place-bid, test-login.
void AddBiddingCommands(CommandTable& commands);
// Item lists: add, delete, cancel, note, history, bid, list, export,
// add-page, site-time, run.
void AddListCommands(CommandTable& commands);
// Program update: check-update, apply-update.
void AddUpdateCommands(CommandTable& commands);

}  // namespace bexora::cli
