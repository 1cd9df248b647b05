#pragma once
// The update dialog: downloads the files named in the local "update.txt"
// with a progress bar, and offers to start the program again once they are
// all in place. Ends with Accepted only through "Restart" after a complete
// update (the caller then starts the new copy); every other way ends with
// Rejected.

#include <QDialog>
#include <functional>
#include <memory>

#include "update/UpdateCheck.h"
#include "update/UpdateDownload.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace bexora {

class CURLDownloadDlg : public QDialog, public IUpdateView {
    Q_OBJECT
public:
    // folder: where update.txt is read and the files replaced.
    explicit CURLDownloadDlg(QWidget* parent = nullptr, const std::string& folder = ProgramFolder());
    ~CURLDownloadDlg() override;

    // IUpdateView: called from the worker too; each hands its work to the
    // dialog's thread and returns at once.
    void SetFileLine(const std::string& text) override;
    void SetStatusLine(const std::string& text) override;
    void SetProgress(int percent) override;
    void SetButtonText(UpdateButton button, const std::string& text) override;
    void EnableButton(UpdateButton button, bool enable) override;
    void FocusButton(UpdateButton button) override;
    std::string SizeText(uint64_t bytes) override;
    void ShowMessage(const std::string& text, PromptIcon icon) override;

    CUpdateDownload& Core() { return *m_core; }
    QPushButton* FirstButton() const { return m_pFirst; }
    QPushButton* SecondButton() const { return m_pSecond; }
    QLabel* FileLine() const { return m_pFileLine; }
    QLabel* StatusLine() const { return m_pStatusLine; }
    QProgressBar* ProgressBar() const { return m_pProgress; }

    // Starts the program again (at start-up at once, from the menu after
    // the main window closed); QProcess::startDetached unless a test
    // replaced it. False when it could not be started.
    static bool (*s_startProgram)(const CRestartCommand& command);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnFirstButton();
    void OnSecondButton();
    QPushButton* Button(UpdateButton button) const;
    template <class F> void OnUiThread(F f);

    QLabel* m_pFileLine = nullptr;
    QLabel* m_pStatusLine = nullptr;
    QProgressBar* m_pProgress = nullptr;
    QPushButton* m_pFirst = nullptr;
    QPushButton* m_pSecond = nullptr;
    std::unique_ptr<CUpdateDownload> m_core;  // last: its worker ends before the widgets go
    bool m_bInitDone = false;
};

// The splash's update step (start-up goes on when true; otherwise the new
// copy has been started) and the menu command "Check Program Update" (the
// main window should close when true, and call RestartAfterExit once it
// has), each running the dialog above when an update is offered.
bool RunSplashUpdate(QWidget* splash, const std::function<void(const std::string&)>& setStatus);
bool RunCheckProgramUpdate(QWidget* mainWindow);

// The program is to start again once this process has left its event loop
// (its windows closed, its lists saved and unlocked).
void RestartAfterExit();
bool RestartRequested();
// Starts the new copy when RestartAfterExit was called; main() calls it last.
void StartRequestedRestart();

}  // namespace bexora
