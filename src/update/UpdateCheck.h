#pragma once
// The update instruction file "update.txt" on the maker's site and the check
// made at every start and from "Check Program Update".
//
// The file is read by line position; the key words in front of the values
// are never compared, only their lengths count:
//   [update]                 header, compared lower-cased
//   Version=1.1.0.0          from offset 8: dots removed, a whole number (1100)
//   (any text)               not read
//   Base=https://.../files/  from offset 5: the download base address
//   NumberOfFiles=2          from offset 14: how many file lines follow
//   F1=bexora                from offset 3: one file name a line
//   H1=<sha256 hex> <size>   from offset 3: one line a file, in the same order
// A file's address is the base address followed by its name. The checksum
// lines come after the names, so a reader that knows only the names stops
// before them; the maker's signature (update.txt.sig) covers the whole text.

#include <cstdint>
#include <string>
#include <vector>

#include "base/Version.h"
#include "update/ProfileUpdate.h"

namespace bexora {

// A version number above this is newer than the program.
constexpr int kInstalledVersion = kProgramVersionNumber;

// The local copy of the instruction file, written by the check and read by
// the download, under this one name in the update folder.
constexpr const char kUpdateFileName[] = "update.txt";
// Where each file is downloaded before it takes its place.
constexpr const char kUpdateTempName[] = "bexora.tmp";

// The values of one instruction file.
struct CUpdateInstructions {
    bool m_bValid = false;      // the header is "[update]" in any letter case
    std::string m_strVersion;   // line 2's value as written, blanks trimmed
    int m_nVersion = 0;         // the same with the dots removed, as a number
    std::string m_strBaseUrl;   // line 4's value
    int m_nFiles = 0;           // line 5's value
    std::vector<std::string> m_files;  // the file names found, at most m_nFiles
    // The checksum line of each file found: lower-case SHA-256 and size.
    struct Check {
        std::string m_strSha256;
        uint64_t m_nSize = 0;
    };
    std::vector<Check> m_checks;  // as many as well-formed lines were found
    // Every one of the m_nFiles files has its name and its checksum line.
    bool Complete() const;
};

// Reads an instruction file's text. Empty lines are skipped; lines may end
// in CR LF.
CUpdateInstructions ParseUpdateInstructions(const std::string& text);

// Line-value helpers, exposed for the download and its tests.
int UpdateVersionNumber(const std::string& versionLine);  // "Version=1.1.0.0" -> 1100

// Why folder must not update itself, or "" when it may: a program run as
// root, or one in a folder its user does not own or cannot write (a package
// manager's install), is updated through the package manager.
std::string SelfUpdateProblem(const std::string& folder);
// Tests run as root: the user id the checks above take (-1: the real one).
void SetUpdateUidForTests(int uid);

// The folder whose files an update replaces and where the local copy and
// the temporary file live: the folder of the running program.
std::string ProgramFolder();

// What the check found.
struct CUpdateOffer {
    bool m_bRead = false;      // an instruction file with its header arrived
    bool m_bOffered = false;   // its version is newer than the program
    std::string m_strVersion;  // as written in the file
    int m_nVersion = 0;
    // A newer version exists but this copy must not update itself: the user
    // is told to use the package manager (m_strProblem says so).
    bool m_bManaged = false;
    // For the user when something is wrong: an address that is not https,
    // a file without the maker's signature, a managed install.
    std::string m_strProblem;
    // The site profile fetched beside update.txt, whatever became of the
    // program's update (its problem is told apart from m_strProblem: a
    // refused profile never stands in the way of a program update).
    CProfileUpdate m_profile;
    // An update a crash had cut short, finished or undone by this check:
    // what became of it, for the user ("" when there was none).
    std::string m_strRecovered;
};

// "Update"/"Update URL" followed by "update.txt".
std::string UpdateInstructionsUrl();

// Fetches "Update"/"Update URL" followed by "update.txt" and its signature
// (https only). A newer version with a valid signature, for a folder that
// may update itself, is kept as folder/update.txt and update.txt.sig. Then
// takes a newer signed site profile (CheckProfileUpdate) in every case.
// Blocks the calling thread.
CUpdateOffer CheckUpdateOffer(const std::string& folder);

// True when a newer version is offered (the local copy is then in folder).
bool CheckForUpdate(const std::string& folder);
bool CheckForUpdate();  // the program folder

// How to start the program again after an update: the binary that is
// running now and the arguments it was started with. Taken once, at the
// first call, before an update can rename the running binary to its ".bak"
// name; anything that may update should call it early.
struct CRestartCommand {
    std::string m_strProgram;
    std::vector<std::string> m_args;
};
const CRestartCommand& GetRestartCommand();

}  // namespace bexora
