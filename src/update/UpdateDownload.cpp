#include "update/UpdateDownload.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "base/AtomicFile.h"
#include "base/Settings.h"
#include "update/UpdateCheck.h"

namespace bexora {

namespace {

const char kFailedLine[] = "Download failed. Please try again later.";

std::string DownloadingText(int i, int n) {
    return "Downloading file " + std::to_string(i) + " of " + std::to_string(n);
}

}  // namespace

bool IsPlainFileName(const std::string& name) {
    if (name.empty() || name == kUpdateTempName) return false;
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
    m_view.SetFileLine(kFailedLine);
    m_view.SetStatusLine(statusText);
    m_view.EnableButton(UpdateButton::First, false);
    m_view.EnableButton(UpdateButton::Second, true);
}

void CUpdateDownload::ReplaceFile(const std::string& name) {
    const std::string file = m_strFolder + "/" + name;
    const std::string bak = file + ".bak";
    const std::string tmp = m_strFolder + "/" + kUpdateTempName;
    // The new file gets the permission bits of the one it replaces, so the
    // program binary stays runnable.
    struct stat st {};
    if (stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode)) chmod(tmp.c_str(), st.st_mode & 07777);
    // Each step is tried even when the one before failed.
    std::remove(bak.c_str());
    std::rename(file.c_str(), bak.c_str());
    std::rename(tmp.c_str(), file.c_str());
}

void CUpdateDownload::ApplyUpdate() {
    std::string text;
    if (!ReadWholeFile(m_strFolder + "/" + kUpdateFileName, text)) {
        m_view.ShowMessage("Error open update instruction", PromptIcon::Error);
        // The dialog must still be closable with its second button.
        m_nLastResult.store(-1);
        m_view.EnableButton(UpdateButton::Second, true);
        return;
    }
    CUpdateInstructions in = ParseUpdateInstructions(text);
    if (!in.m_bValid) {
        m_nLastResult.store(-1);
        m_view.EnableButton(UpdateButton::Second, true);
        return;
    }
    CCallback callback(this);
    for (int i = 1; i <= in.m_nFiles; ++i) {
        const size_t idx = static_cast<size_t>(i - 1);
        const std::string name = idx < in.m_files.size() ? in.m_files[idx] : std::string();
        m_view.SetFileLine(DownloadingText(i, in.m_nFiles));
        if (!IsPlainFileName(name)) {
            m_nLastResult.store(-1);
            Fail(name.empty() ? "The update instruction names no file here."
                              : "The update instruction names the file \"" + name +
                                    "\", which is not a plain file name.");
            return;
        }
        int code = DownloadToFile(in.m_strBaseUrl + name, m_strFolder + "/" + kUpdateTempName, &callback);
        m_nLastResult.store(code);
        if (code < 0) {
            Fail(DownloadStatusText(code));
            return;
        }
        ReplaceFile(name);
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
