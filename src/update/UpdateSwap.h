#pragma once
// Putting an update's checked files in place so that a crash or a power cut
// never leaves the program folder holding some old and some new files.
//
// Before the first rename a journal in the program folder (written to disk
// first) names every file to replace, where its new copy waits in the
// staging folder and whether it had an old file and an older ".bak". Each
// step can be done again without harm. The journal goes only once every
// file is in place and the folder itself is on disk. A journal found later
// (the next start, the next update) means a swap was cut short: it is
// finished when every new file is still there, otherwise every old file is
// put back.

#include <cstdint>
#include <string>
#include <vector>

namespace bexora {

constexpr const char kUpdateJournalName[] = "update.journal";
// The version the program folder holds, written with every update (or the
// one the update brings, when it ships this file itself).
constexpr const char kVersionFileName[] = "bexora.version";

// One checked file of an update, waiting in the staging folder.
struct CSwapFile {
    std::string m_strName;
    std::string m_strSha256;
    uint64_t m_nSize = 0;
};

// A file named like one of the programs ("bexora", "bexora-cli"): a new one
// is made runnable.
bool IsProgramFileName(const std::string& name);

// Moves stage/NAME over folder/NAME for every file (stage: a folder inside
// folder), keeping each replaced file as NAME.bak. A new file takes the
// run bits of the one it replaces, or 0755 for a program and 0644 for any
// other. Once all are in place, folder's version file must read version
// ("" skips that check). On any failure every file is put back and error
// says why. The caller holds the update lock.
bool SwapInFiles(const std::string& folder, const std::string& stage,
                 const std::vector<CSwapFile>& files, const std::string& version,
                 std::string& error);

enum class SwapRecovery {
    Nothing,     // no swap was cut short
    Finished,    // every new file is now in place
    RolledBack,  // every old file is back
    Failed,      // the journal stays; report says why
};

// Finishes or undoes a swap a crash left behind in folder; report tells the
// user what happened (empty for Nothing). The caller holds the update lock.
SwapRecovery RecoverSwapLocked(const std::string& folder, std::string& report);
// The same, taking the update lock itself; an updater at work is left alone.
SwapRecovery RecoverInterruptedSwap(const std::string& folder, std::string& report);

// Tests: the process ends (_exit) before its steps-th rename or link after
// the journal is written, as a crash would end it. -1: never.
void SetSwapCrashForTests(int steps);

}  // namespace bexora
