#pragma once
// The update dialog's workings without its window: the two buttons, the
// worker that downloads the files of the local, signed "update.txt" into a
// staging folder and checks each against its signed checksum, and only then
// swaps them all in (each replaced file kept as NAME.bak, every swap undone
// if one fails) and records the new version; and the progress callback. A front end (the Qt dialog, bexora-cli) implements
// IUpdateView and forwards its button presses here.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "base/Prompt.h"
#include "update/Download.h"

namespace bexora {

struct CUpdateInstructions;

// The lock file that keeps a second updater of the same folder out.
constexpr const char kUpdateLockName[] = ".bexora-update.lock";

// An exclusive flock on folder's lock file, held while it lives; never waits.
class CUpdateLock {
public:
    explicit CUpdateLock(const std::string& folder);
    ~CUpdateLock();
    CUpdateLock(const CUpdateLock&) = delete;
    CUpdateLock& operator=(const CUpdateLock&) = delete;
    bool Held() const { return m_fd >= 0; }
    bool Busy() const { return m_bBusy; }  // another updater holds it
    const std::string& Error() const { return m_strError; }

private:
    int m_fd = -1;
    bool m_bBusy = false;
    std::string m_strError;
};

// A fresh folder inside the update folder where the files are downloaded
// and checked before any is swapped in; removed with what is left in it.
class CStagingFolder {
public:
    explicit CStagingFolder(const std::string& folder);
    ~CStagingFolder();
    CStagingFolder(const CStagingFolder&) = delete;
    CStagingFolder& operator=(const CStagingFolder&) = delete;
    bool Ok() const { return !m_strPath.empty(); }
    const std::string& Path() const { return m_strPath; }
    const std::string& Error() const { return m_strError; }

private:
    std::string m_strPath, m_strError;
};

// The dialog's controls by their resource ids.
enum class UpdateButton { First = 1057, Second = 1058 };

class IUpdateView {
public:
    virtual ~IUpdateView() = default;
    // Every call may come from the worker thread. A front end with a UI
    // thread must hand them over without waiting for that thread (the UI
    // thread may be waiting for the worker to end).
    virtual void SetFileLine(const std::string& text) = 0;    // 1066
    virtual void SetStatusLine(const std::string& text) = 0;  // 1059
    virtual void SetProgress(int percent) = 0;                // 1056, 0 to 100
    virtual void SetButtonText(UpdateButton button, const std::string& text) = 0;
    virtual void EnableButton(UpdateButton button, bool enable) = 0;
    virtual void FocusButton(UpdateButton button) = 0;
    // A byte count for the status line.
    virtual std::string SizeText(uint64_t bytes) { return ShortSizeText(bytes); }
    // A message box.
    virtual void ShowMessage(const std::string& text, PromptIcon icon) {
        ShowPrompt(text, PromptButtons::Ok, icon);
    }
};

// How the dialog ends.
enum class UpdateEnding { Ok, Cancel };

class CUpdateDownload {
public:
    // folder: where update.txt is read and the files are replaced (the
    // program folder in the program, a test folder in tests).
    CUpdateDownload(IUpdateView& view, std::string folder);
    // Cancels a running download and waits for the worker.
    ~CUpdateDownload();
    CUpdateDownload(const CUpdateDownload&) = delete;
    CUpdateDownload& operator=(const CUpdateDownload&) = delete;

    // The controls' first state: texts, bar at 0, focus on "&Update".
    void OnInitDialog();
    // "&Update" / "Cancel": starts the worker, or cancels it.
    void OnFirstButton();
    // "Cancel" / "Restart": how the dialog ends. Ok only after a complete
    // update, when the caller starts GetRestartCommand() and closes.
    UpdateEnding OnSecondButton();

    // Waits until the worker (if any) has ended.
    void WaitForWorker();
    bool WorkerRunning() const { return m_bRunning; }
    // The last download's status code: 0 before any, negative on failure.
    int LastResult() const { return m_nLastResult.load(); }
    const std::string& Folder() const { return m_strFolder; }

    // The worker routine; runs on the worker thread.
    void ApplyUpdate();

private:
    friend class CCallback;
    void Fail(const std::string& statusText);

    IUpdateView& m_view;
    std::string m_strFolder;
    std::thread m_worker;
    bool m_bRunning = false;            // dialog thread only
    std::atomic<int32_t> m_nAbort{0};   // set by the dialog thread, read in the callback
    std::atomic<int32_t> m_nLastResult{0};
    std::atomic<bool> m_bSecondIsCancel{true};  // the second button reads "Cancel"
};

// The file names an update may write: a plain name in the update folder.
// Empty names, names holding "/", "\", ".." or a control character, and the
// update's own file names are refused (an instruction file could otherwise
// write anywhere the program may).
bool IsPlainFileName(const std::string& name);

}  // namespace bexora
