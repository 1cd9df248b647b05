#include "update/UpdateDownload.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>
#include <system_error>

#include "base/AtomicFile.h"
#include "base/Settings.h"
#include "update/UpdateCheck.h"
#include "update/UpdateSignature.h"
#include "update/UpdateSwap.h"

namespace bexora {

namespace {

const char kFailedLine[] = "Download failed. Please try again later.";

std::string DownloadingText(int i, int n) {
    return "Downloading file " + std::to_string(i) + " of " + std::to_string(n);
}

const char kStagePrefix[] = ".bexora-update.";

void RemoveFolder(const std::string& path) {
    if (DIR* d = opendir(path.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") unlink((path + "/" + n).c_str());
        }
        closedir(d);
    }
    rmdir(path.c_str());
}

}  // namespace

CUpdateLock::CUpdateLock(const std::string& folder) {
    m_fd = open((folder + "/" + kUpdateLockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0) {
        m_strError = std::strerror(errno);
        return;
    }
    if (flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        m_bBusy = errno == EWOULDBLOCK;
        m_strError = std::strerror(errno);
        close(m_fd);
        m_fd = -1;
    }
}

CUpdateLock::~CUpdateLock() {
    if (m_fd >= 0) close(m_fd);  // the lock goes with the descriptor
}

CStagingFolder::CStagingFolder(const std::string& folder) {
    // Left-overs of an update that was killed half-way; the lock is held.
    if (DIR* d = opendir(folder.c_str())) {
        std::vector<std::string> old;
        while (dirent* e = readdir(d))
            if (std::strncmp(e->d_name, kStagePrefix, sizeof kStagePrefix - 1) == 0 &&
                std::strcmp(e->d_name, kUpdateLockName) != 0)
                old.push_back(folder + "/" + e->d_name);
        closedir(d);
        for (const std::string& o : old) RemoveFolder(o);
    }
    // Inside the program folder, so every swap is a rename on one file system.
    std::string tmpl = folder + "/" + kStagePrefix + "XXXXXX";
    if (mkdtemp(tmpl.data()))
        m_strPath = tmpl;
    else
        m_strError = std::strerror(errno);
}

CStagingFolder::~CStagingFolder() {
    if (!m_strPath.empty()) RemoveFolder(m_strPath);
}

bool IsPlainFileName(const std::string& name) {
    if (name.empty() || name == kUpdateTempName || name == kUpdateFileName ||
        name == kUpdateSignatureName || name == kUpdateJournalName || name.rfind(kStagePrefix, 0) == 0)
        return false;
    if (name.find("..") != std::string::npos) return false;
    for (unsigned char c : name)
        if (c == '/' || c == '\\' || c < 0x20 || c == 0x7F) return false;
    return true;
}

// The download's progress callback: stops the download once the dialog's
// abort flag is set, otherwise shows the bytes and the percentage.
class CCallback : public IDownloadCallback {
public:
    explicit CCallback(CUpdateDownload* dlg) : m_pDlg(dlg) {}

    bool OnProgress(uint64_t done, uint64_t expected) override {
        if (m_pDlg->m_nAbort.load() != 0) return false;
        std::string text;
        int percent = 0;
        if (expected != 0) {
            text = "Downloaded " + m_pDlg->m_view.SizeText(done) + " of " +
                   m_pDlg->m_view.SizeText(expected);
            percent = static_cast<int>(std::min<uint64_t>(done, expected) * 100 / expected);
        } else {
            text = "Downloaded " + m_pDlg->m_view.SizeText(done) + " (total size unknown)";
        }
        // curl reports many times a second; the window only hears of changes.
        if (text != m_strLastText) m_pDlg->m_view.SetStatusLine(text);
        if (percent != m_nLastPercent) m_pDlg->m_view.SetProgress(percent);
        m_strLastText = text;
        m_nLastPercent = percent;
        return true;
    }

private:
    CUpdateDownload* m_pDlg;
    std::string m_strLastText;
    int m_nLastPercent = -1;
};

CUpdateDownload::CUpdateDownload(IUpdateView& view, std::string folder)
    : m_view(view), m_strFolder(std::move(folder)) {
    GetRestartCommand();  // before any file is renamed to its ".bak" name
}

CUpdateDownload::~CUpdateDownload() {
    m_nAbort.store(1);
    WaitForWorker();
}

void CUpdateDownload::WaitForWorker() {
    if (m_worker.joinable()) m_worker.join();
}

void CUpdateDownload::OnInitDialog() {
    m_view.SetFileLine("Found new update");
    m_view.SetStatusLine("Please click the update button.");
    m_view.SetProgress(0);
    m_view.FocusButton(UpdateButton::First);
}

void CUpdateDownload::OnFirstButton() {
    if (m_bRunning) {
        m_bRunning = false;
        m_view.SetButtonText(UpdateButton::First, "Update");
        m_nAbort.store(1);
        return;
    }
    m_bRunning = true;
    m_view.SetButtonText(UpdateButton::First, "Cancel");
    // A worker that was cancelled may still be on its way out; it must be
    // gone before the flag is cleared, or two would download at once.
    WaitForWorker();
    m_nAbort.store(0);
    m_view.EnableButton(UpdateButton::Second, false);
    m_view.FocusButton(UpdateButton::Second);
    try {
        m_worker = std::thread([this] { ApplyUpdate(); });
    } catch (const std::system_error&) {
        m_bRunning = false;
        m_view.SetButtonText(UpdateButton::First, "Update");
        m_view.EnableButton(UpdateButton::Second, true);
        m_view.ShowMessage("Couldn't create worker thread!", PromptIcon::Error);
    }
}

UpdateEnding CUpdateDownload::OnSecondButton() {
    if (m_nLastResult.load() < 0) return UpdateEnding::Cancel;
    return m_bSecondIsCancel.load() ? UpdateEnding::Cancel : UpdateEnding::Ok;
}

void CUpdateDownload::Fail(const std::string& statusText) {
    if (m_nLastResult.load() >= 0) m_nLastResult.store(-1);
    m_view.SetFileLine(kFailedLine);
    m_view.SetStatusLine(statusText);
    m_view.EnableButton(UpdateButton::First, false);
    m_view.EnableButton(UpdateButton::Second, true);
}

void CUpdateDownload::ApplyUpdate() {
    // One updater per folder: two would share the staging names and swap
    // each other's files away.
    CUpdateLock lock(m_strFolder);
    if (!lock.Held()) {
        Fail(lock.Busy() ? "Another update of Bexora is running in this folder. Please wait until it "
                           "has finished."
                         : "The update cannot lock its folder: " + lock.Error());
        return;
    }
    if (std::string problem = SelfUpdateProblem(m_strFolder); !problem.empty()) {
        Fail(problem);
        return;
    }
    // A swap cut short by a crash is finished or undone before anything else.
    std::string recovery;
    if (RecoverSwapLocked(m_strFolder, recovery) == SwapRecovery::Failed) {
        Fail(recovery);
        return;
    }
    std::string text, signature;
    if (!ReadWholeFile(m_strFolder + "/" + kUpdateFileName, text)) {
        m_view.ShowMessage("Error open update instruction", PromptIcon::Error);
        // The dialog must still be closable with its second button.
        m_nLastResult.store(-1);
        m_view.EnableButton(UpdateButton::Second, true);
        return;
    }
    // The local copy is checked again: it may be older than this program's
    // check, or changed since.
    if (!ReadWholeFile(m_strFolder + "/" + kUpdateSignatureName, signature) ||
        !VerifyUpdateSignature(text, signature, UpdatePublicKey())) {
        Fail("The update instruction does not carry the maker's signature. Nothing was replaced.");
        return;
    }
    CUpdateInstructions in = ParseUpdateInstructions(text);
    if (!in.m_bValid) {
        m_nLastResult.store(-1);
        m_view.EnableButton(UpdateButton::Second, true);
        return;
    }
    for (const std::string& name : in.m_files) {
        if (!IsPlainFileName(name)) {
            Fail(name.empty() ? "The update instruction names no file here."
                              : "The update instruction names the file \"" + name +
                                    "\", which is not a plain file name.");
            return;
        }
    }
    if (!in.Complete()) {
        Fail("The update instruction does not name every file with its checksum. Nothing was replaced.");
        return;
    }
    if (in.m_nFiles > 0 && !IsHttpsUrl(in.m_strBaseUrl)) {
        Fail("The update's download address " + in.m_strBaseUrl +
             " does not start with https://. Nothing was downloaded.");
        return;
    }

    CStagingFolder stage(m_strFolder);
    if (!stage.Ok()) {
        Fail("Cannot make the update's staging folder: " + stage.Error());
        return;
    }
    // Everything is downloaded and checked before anything is replaced.
    CCallback callback(this);
    for (int i = 1; i <= in.m_nFiles; ++i) {
        const size_t idx = static_cast<size_t>(i - 1);
        const std::string& name = in.m_files[idx];
        m_view.SetFileLine(DownloadingText(i, in.m_nFiles));
        const std::string staged = stage.Path() + "/" + name;
        // Never more than the signed size: a larger body is stopped before
        // it fills the disk (a signed size of 0 is an empty file).
        int code = DownloadToFile(in.m_strBaseUrl + name, staged, &callback,
                                  std::max<uint64_t>(in.m_checks[idx].m_nSize, 1));
        m_nLastResult.store(code);
        if (code < 0) {
            Fail(DownloadStatusText(code));
            return;
        }
        std::string hex;
        uint64_t size = 0;
        if (!Sha256File(staged, hex, size) || hex != in.m_checks[idx].m_strSha256 ||
            size != in.m_checks[idx].m_nSize) {
            Fail("The file \"" + name +
                 "\" is not the one the maker signed (its checksum or size differ). Nothing was "
                 "replaced.");
            return;
        }
    }
    // The folder's version file comes with the swap, last, unless the
    // update brings its own.
    std::vector<CSwapFile> files;
    CSwapFile versionFile;
    for (size_t i = 0; i < in.m_files.size(); ++i) {
        CSwapFile f{in.m_files[i], in.m_checks[i].m_strSha256, in.m_checks[i].m_nSize};
        if (f.m_strName == kVersionFileName)
            versionFile = f;
        else
            files.push_back(f);
    }
    if (versionFile.m_strName.empty()) {
        const std::string path = stage.Path() + "/" + kVersionFileName;
        std::string why;
        versionFile.m_strName = kVersionFileName;
        if (!AtomicWriteFile(path, in.m_strVersion + "\n", 0644, &why) ||
            !Sha256File(path, versionFile.m_strSha256, versionFile.m_nSize)) {
            Fail("The update cannot write its version file: " + why + ". Nothing was replaced.");
            return;
        }
    }
    files.push_back(versionFile);
    std::string swapError;
    if (!SwapInFiles(m_strFolder, stage.Path(), files, in.m_strVersion, swapError)) {
        Fail(swapError);
        return;
    }
    Settings().WriteInt(setting::SettingsVersion, in.m_nVersion);
    m_view.SetFileLine("Update completed successfully!");
    m_view.SetStatusLine("Please restart the program now ...");
    Settings().WriteInt(setting::FirstRun, 2);
    m_view.EnableButton(UpdateButton::First, false);
    m_bSecondIsCancel.store(false);
    m_view.SetButtonText(UpdateButton::Second, "Restart");
    m_view.EnableButton(UpdateButton::Second, true);
    m_view.FocusButton(UpdateButton::Second);
}

}  // namespace bexora
