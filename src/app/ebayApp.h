#pragma once
// CebayApp: the program's start-up, in its fixed order - settings file,
// splash with the update check, main window, command line, the last list
// again ("Load Save"), placement, landscape printing - and what it answers
// to --help and --version.

#include <QStringList>
#include <memory>
#include <string>

namespace bexora {

class CMainFrame;

struct CommandLine {
    std::string settingsFile;  // --settings FILE
    std::string file;          // a ".bid" file to open
    bool help = false;
    bool version = false;
    int quitAfter = -1;        // --quit-after SECONDS: close the window then (demos, pictures)
    std::string screenshot;    // --screenshot OUT.png: the window's picture just before
    std::string error;  // not empty: the arguments cannot be used
};

// Reads the program's arguments (the first is the program itself).
CommandLine ParseCommandLine(const QStringList& args);
std::string UsageText();

class CebayApp {
public:
    CebayApp();
    ~CebayApp();

    // The start-up steps. False: the program ends (no main window shown).
    bool InitInstance(const QStringList& args);
    CMainFrame* MainFrame() const { return m_pMainFrame.get(); }

private:
    void RestorePlacement();

    std::unique_ptr<CMainFrame> m_pMainFrame;
};

}  // namespace bexora
