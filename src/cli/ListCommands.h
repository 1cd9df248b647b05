#pragma once
// What bexora-cli's item-list commands are built from: the front end that
// prints what the list core tells the user, and the option reader.

#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "bidding/UiDispatcher.h"
#include "cli/Commands.h"
#include "listview/ItemListCore.h"
#include "listview/ListFrontEnd.h"
#include "listview/ListOwner.h"

namespace bexora::cli {

// Prints, one line each and at once: every notice that passed the filter
// as "notice LEVEL TEXT" (with quiet only levels 2 and 3), every balloon as
// "balloon TITLE | TEXT", every result page as "navigate URL". Line feeds
// inside a text are written as \n. A balloon's "click to open ..." is the
// window's: a terminal line and a run's notification leave it out.
class CCliFrontEnd : public IListFrontEnd {
public:
    explicit CCliFrontEnd(bool quiet = false) : m_bQuiet(quiet) {}

    void NoticeAdded(const std::string& text, int level) override;
    void ShowBalloon(const std::string& title, const std::string& text) override;
    void ShowItemBalloon(const std::string& title, const std::string& text,
                         const std::string& itemNumber, int level) override;
    void Navigate(const std::string& url) override;

    // How many result pages were shown (one per bid result).
    int Navigations() const { return m_nNavigations; }
    // A line of the program's own (the run's start line).
    void Say(const std::string& line) { PrintLine(line); }
    // Lines on standard output start with the local time ("14:02:07 "),
    // as a run's log wants; what goes to a client (the echo) does not.
    void SetTimestamps(bool on) { m_bStamp = on; }
    // Every line is also written to echo (nullptr: none): a client's
    // command sees the notices its work caused in the owner.
    void SetEcho(std::ostream* echo) { m_echo = echo; }
    std::ostream* Echo() const { return m_echo; }

    // A balloon waiting to become a desktop notification.
    struct Balloon {
        std::string title, text, itemNumber;
        int level = 2;
    };
    // Keeps balloons for TakeBalloons (run --notify).
    void CollectBalloons(bool on) { m_bCollect = on; }
    // The balloons since the last call. Two in a row about one item are one
    // notice told twice (the second replaces the first, as on a tray icon),
    // so only the last of them is kept.
    std::vector<Balloon> TakeBalloons();

private:
    void PrintLine(const std::string& line);
    bool m_bQuiet;
    bool m_bStamp = false;
    std::ostream* m_echo = nullptr;
    int m_nNavigations = 0;
    bool m_bCollect = false;
    std::vector<Balloon> m_balloons;
};

struct ParsedArgs {
    Args positional;
    std::map<std::string, std::string> values;  // --name VALUE or --name=VALUE
    std::set<std::string> flags;                 // --name
};

// Sorts args into positional ones, options with a value (names in valued)
// and flags; after "--" every argument is positional. Returns the problem,
// empty when there is none.
std::string ParseOptions(const Args& args, const std::set<std::string>& valued,
                         const std::set<std::string>& flags, ParsedArgs& out);

// A list this process owns, as the commands its clients send see it.
struct COwnedList {
    CItemListCore& core;
    CUiDispatcher& ui;
    CCliFrontEnd* echo = nullptr;  // the runner's front end; null in the desktop program
};

// Starts a client's command (argv[0] its name: add, delete, cancel, note,
// bid, list, history, export, add-page, refresh, rewrite) on the owned list,
// through the same code as when the command opens the file itself. Runs on
// the UI thread; the poll function finishes it (a bid placed at once ends
// with its result).
CListOwner::PollFn StartOwnedCommand(COwnedList& owned, const Args& argv, const std::string& cwd);

// What bexora-cli run and the desktop program write into the lock file.
constexpr char kRunOwnerName[] = "bexora-cli run";

}  // namespace bexora::cli
