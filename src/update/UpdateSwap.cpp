#include "update/UpdateSwap.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>

#include "base/AtomicFile.h"
#include "base/Settings.h"
#include "update/UpdateCheck.h"
#include "update/UpdateDownload.h"
#include "update/UpdateSignature.h"

namespace bexora {

namespace {

const char kJournalHeader[] = "bexora update journal 1";
const char kStagePrefix[] = ".bexora-update.";
int g_crashBeforeStep = -1;
int g_stepsDone = 0;

// One file of the journal and the names it touches.
struct Entry {
    std::string name, sha;
    uint64_t size = 0;
    bool existed = false;  // an old file is replaced (and kept as NAME.bak)
    bool hadBak = false;   // an older NAME.bak waits in the stage meanwhile
    std::string file, bak, staged, oldBak;
};

struct Journal {
    std::string stage;  // the staging folder's name inside the program folder
    std::string version;
    std::vector<Entry> entries;
};

void SetPaths(const std::string& folder, const std::string& stageName, Entry& e) {
    e.file = folder + "/" + e.name;
    e.bak = e.file + ".bak";
    e.staged = folder + "/" + stageName + "/" + e.name;
    e.oldBak = e.staged + ".oldbak";
}

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

// path holds the entry's new file.
bool IsNew(const std::string& path, const Entry& e) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<uint64_t>(st.st_size) != e.size)
        return false;
    std::string hex;
    uint64_t size = 0;
    return Sha256File(path, hex, size) && hex == e.sha && size == e.size;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    return lstat(a.c_str(), &sa) == 0 && lstat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool SyncFolder(const std::string& folder) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = fsync(fd) == 0;
    close(fd);
    return ok;
}

void RemoveStage(const std::string& path) {
    if (DIR* d = opendir(path.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") unlink((path + "/" + n).c_str());
        }
        closedir(d);
    }
    rmdir(path.c_str());
}

void BeforeStep() {
    if (g_crashBeforeStep >= 0 && g_stepsDone++ >= g_crashBeforeStep) _exit(86);
}

bool Step(int result, std::string& why) {
    if (result == 0) return true;
    why = std::strerror(errno);
    return false;
}

// Brings one file to its new state; may be done again after a crash at any
// point. The older .bak goes aside, the old file gets its .bak name as a
// second link (so the name never disappears), the new file takes the name.
bool Forward(const Entry& e, std::string& why) {
    if (IsNew(e.file, e)) return true;
    if (e.hadBak && !Exists(e.oldBak)) {
        BeforeStep();
        if (!Step(std::rename(e.bak.c_str(), e.oldBak.c_str()), why)) return false;
    }
    if (e.existed && !Exists(e.bak)) {
        BeforeStep();
        if (!Step(link(e.file.c_str(), e.bak.c_str()), why)) return false;
    }
    BeforeStep();
    return Step(std::rename(e.staged.c_str(), e.file.c_str()), why);
}

// Brings one file back to its old state; may be done again as well.
bool Back(const Entry& e, std::string& why) {
    if (e.existed) {
        if (IsNew(e.file, e)) {
            // The .bak is the old file: one rename puts it back.
            if (!Step(std::rename(e.bak.c_str(), e.file.c_str()), why)) return false;
        } else if (SameFile(e.file, e.bak)) {
            if (!Step(unlink(e.bak.c_str()), why)) return false;
        }
    } else if (IsNew(e.file, e)) {
        if (!Step(unlink(e.file.c_str()), why)) return false;
    }
    if (e.hadBak && Exists(e.oldBak) && !Exists(e.bak))
        return Step(std::rename(e.oldBak.c_str(), e.bak.c_str()), why);
    return true;
}

bool RollBack(const Journal& j, std::string& why) {
    bool ok = true;
    for (auto it = j.entries.rbegin(); it != j.entries.rend(); ++it) {
        std::string w;
        if (!Back(*it, w)) {
            ok = false;
            why = "\"" + it->name + "\": " + w;
        }
    }
    return ok;
}

std::string Trimmed(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

std::string JournalText(const Journal& j) {
    std::string t = std::string(kJournalHeader) + "\nstage " + j.stage + "\nversion " + j.version + "\n";
    for (const Entry& e : j.entries)
        t += std::string("file ") + (e.existed ? 'E' : '-') + (e.hadBak ? 'B' : '-') + " " + e.sha + " " +
             std::to_string(e.size) + " " + e.name + "\n";
    return t;
}

// A journal names only plain files of the folder and a staging folder in it.
bool ParseJournal(const std::string& folder, const std::string& text, Journal& j) {
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kJournalHeader) return false;
    if (!std::getline(in, line) || line.rfind("stage ", 0) != 0) return false;
    j.stage = line.substr(6);
    if (j.stage.rfind(kStagePrefix, 0) != 0 || j.stage == kUpdateLockName ||
        j.stage.find('/') != std::string::npos || j.stage.find("..") != std::string::npos)
        return false;
    if (!std::getline(in, line) || line.rfind("version ", 0) != 0) return false;
    j.version = line.substr(8);
    std::set<std::string> seen;
    while (std::getline(in, line)) {
        Entry e;
        char flags[3] = {};
        char sha[65] = {};
        unsigned long long size = 0;
        int used = 0;
        if (std::sscanf(line.c_str(), "file %2c %64[0-9a-f] %llu%n", flags, sha, &size, &used) != 3 ||
            used == 0 || line.size() <= static_cast<size_t>(used) || line[static_cast<size_t>(used)] != ' ' ||
            std::strlen(sha) != 64)
            return false;
        e.existed = flags[0] == 'E';
        e.hadBak = flags[1] == 'B';
        e.sha = sha;
        e.size = size;
        e.name = line.substr(static_cast<size_t>(used) + 1);
        if (!IsPlainFileName(e.name) || !seen.insert(e.name).second) return false;
        SetPaths(folder, j.stage, e);
        j.entries.push_back(e);
    }
    return true;
}

// Every file in place and on disk: the journal goes, then the stage.
void Done(const std::string& folder, const Journal& j) {
    SyncFolder(folder);
    unlink((folder + "/" + kUpdateJournalName).c_str());
    SyncFolder(folder);
    RemoveStage(folder + "/" + j.stage);
}

}  // namespace

void SetSwapCrashForTests(int steps) {
    g_crashBeforeStep = steps;
    g_stepsDone = 0;
}

bool IsProgramFileName(const std::string& name) { return name == "bexora" || name == "bexora-cli"; }

bool SwapInFiles(const std::string& folder, const std::string& stage,
                 const std::vector<CSwapFile>& files, const std::string& version,
                 std::string& error) {
    Journal j;
    const size_t slash = stage.find_last_of('/');
    j.stage = slash == std::string::npos ? stage : stage.substr(slash + 1);
    j.version = version;
    auto fail = [&](const std::string& name, const std::string& why) {
        error = "The file \"" + name + "\" could not be replaced (" + why +
                "). Every file was put back as it was.";
        return false;
    };
    // What each file needs, decided before anything is touched.
    std::set<std::string> seen;
    for (const CSwapFile& f : files) {
        Entry e;
        e.name = f.m_strName;
        e.sha = f.m_strSha256;
        e.size = f.m_nSize;
        SetPaths(folder, j.stage, e);
        if (!seen.insert(e.name).second) return fail(e.name, "it is named twice");
        struct stat st {};
        unsigned mode = IsProgramFileName(e.name) ? 0755 : 0644;
        if (lstat(e.file.c_str(), &st) == 0) {
            if (!S_ISREG(st.st_mode)) return fail(e.name, "it is not a plain file");
            // A file that is already the new one keeps its .bak: running
            // the same update twice must not lose the last good copy.
            if (IsNew(e.file, e)) continue;
            e.existed = true;
            // The run bits of the file it replaces, never set-uid or set-gid.
            mode = st.st_mode & 0777;
        }
        if (chmod(e.staged.c_str(), mode) != 0) return fail(e.name, std::strerror(errno));
        e.hadBak = Exists(e.bak);
        j.entries.push_back(e);
    }
    const std::string journalPath = folder + "/" + kUpdateJournalName;
    std::string why;
    if (!AtomicWriteFile(journalPath, JournalText(j), 0600, &why)) {
        error = "The update cannot write its journal (" + why + "). Nothing was replaced.";
        return false;
    }
    auto undo = [&](std::string message) {
        std::string w;
        if (RollBack(j, w)) {
            Done(folder, j);
        } else {
            message += " Putting the old files back failed too (" + w +
                       "); the next start tries again.";
            SyncFolder(folder);
        }
        error = message;
        return false;
    };
    for (const Entry& e : j.entries)
        if (!Forward(e, why))
            return undo("The file \"" + e.name + "\" could not be replaced (" + why +
                        "). Every file was put back as it was.");
    SyncFolder(folder);
    BeforeStep();  // tests: a crash with every file in place, the journal still there
    if (!version.empty()) {
        std::string found;
        if (!ReadWholeFile(folder + "/" + kVersionFileName, found)) found = "none";
        found = Trimmed(found);
        if (found != version)
            return undo("The update's files are version " + found + ", not the signed " + version +
                        ". Every file was put back as it was.");
    }
    Done(folder, j);
    return true;
}

SwapRecovery RecoverSwapLocked(const std::string& folder, std::string& report) {
    report.clear();
    const std::string journalPath = folder + "/" + kUpdateJournalName;
    if (!Exists(journalPath)) return SwapRecovery::Nothing;
    std::string text;
    Journal j;
    if (!ReadRegularFile(journalPath, text, 1 << 20) || !ParseJournal(folder, text, j)) {
        report = "An update was cut short and its journal " + journalPath +
                 " cannot be read; no file was touched. Please install the program again.";
        return SwapRecovery::Failed;
    }
    bool forward = true;
    for (const Entry& e : j.entries)
        if (!IsNew(e.file, e) && !IsNew(e.staged, e)) forward = false;
    std::string why;
    if (forward) {
        for (const Entry& e : j.entries)
            if (!Forward(e, why)) {
                report = "An update that was cut short could not be finished (\"" + e.name + "\": " + why + ").";
                return SwapRecovery::Failed;
            }
        Done(folder, j);
        Settings().WriteInt(setting::SettingsVersion, UpdateVersionNumber("Version=" + j.version));
        report = "An update to version " + j.version + " that was cut short has been finished.";
        return SwapRecovery::Finished;
    }
    if (!RollBack(j, why)) {
        report = "An update that was cut short could not be undone (" + why + ").";
        return SwapRecovery::Failed;
    }
    Done(folder, j);
    report = "An update to version " + j.version + " was cut short; every file was put back as it was.";
    return SwapRecovery::RolledBack;
}

SwapRecovery RecoverInterruptedSwap(const std::string& folder, std::string& report) {
    report.clear();
    if (!Exists(folder + "/" + kUpdateJournalName)) return SwapRecovery::Nothing;
    CUpdateLock lock(folder);
    if (!lock.Held()) return SwapRecovery::Nothing;  // the updater at work finishes it
    return RecoverSwapLocked(folder, report);
}

}  // namespace bexora
