#include "app/ebayApp.h"

#include <QApplication>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <cstdio>
#include <filesystem>

#include "app/ListOwnerHost.h"
#include "base/Settings.h"
#include "app/AboutDlg.h"
#include "app/ChildFrame.h"
#include "base/ui/DialogRunner.h"
#include "app/MainFrame.h"
#include "base/ui/QtPrompt.h"
#include "app/Welcome.h"
#include "model/ebayDoc.h"

namespace bexora {

CommandLine ParseCommandLine(const QStringList& args) {
    CommandLine line;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == "--help" || a == "-h") line.help = true;
        else if (a == "--version" || a == "-v") line.version = true;
        else if (a == "--settings") {
            if (i + 1 >= args.size()) {
                line.error = "--settings needs a file name";
                return line;
            }
            line.settingsFile = args[++i].toStdString();
        } else if ((a == "--quit-after" || a == "--screenshot") && i + 1 < args.size()) {
            const QString value = args[++i];
            if (a == "--screenshot") {
                line.screenshot = value.toStdString();
                continue;
            }
            bool ok = false;
            line.quitAfter = value.toInt(&ok);
            if (!ok || line.quitAfter < 0) {
                line.error = "--quit-after needs a number of seconds";
                return line;
            }
        } else if (a.startsWith("--settings=")) {
            line.settingsFile = a.mid(11).toStdString();
        } else if (a.startsWith("-") && a != "-") {
            line.error = "unknown option " + a.toStdString();
            return line;
        } else if (line.file.empty()) {
            line.file = a.toStdString();
        } else {
            line.error = "only one item list can be named";
            return line;
        }
    }
    return line;
}

std::string UsageText() {
    return "Usage: bexora [--settings FILE] [LIST.bid]\n"
           "       bexora --help | --version\n"
           "\n"
           "Bexora keeps lists of auction items, refreshes them from the auction site\n"
           "and places your bids by itself a chosen time before each auction ends.\n"
           "\n"
           "  LIST.bid          the item list to open (else the last one, or a new one)\n"
           "  --settings FILE   the settings file to use (also BEXORA_SETTINGS)\n"
           "  --help            this text\n"
           "  --version         the program's version\n"
           "  --quit-after SECONDS   close the window after that long (the lists are saved)\n"
           "  --screenshot OUT.png   with --quit-after: save a picture of the window first\n"
           "\n"
           "For the headless runner and other tools see bexora-cli --help.\n";
}

CebayApp::CebayApp() = default;

CebayApp::~CebayApp() { StopProgramServer(); }

bool CebayApp::InitInstance(const QStringList& args) {
    // The settings file is fixed before any setting is touched, so the
    // command line's --settings is looked at first.
    const CommandLine line = ParseCommandLine(args);
    if (!line.settingsFile.empty()) SetSettingsPath(line.settingsFile);
    InstallQtPrompt();
    QApplication::setApplicationName("Bexora");
    QApplication::setOrganizationName("Halvane Co.");
    // One desktop program per user: a second one hands its list over.
    if (HandToRunningProgram(line.file)) return false;

    // The splash with its update check: anything but OK ends the program.
    {
        CWelcome splash;
        if (ExecDialog(splash) != QDialog::Accepted) return false;
    }

    m_pMainFrame = std::make_unique<CMainFrame>();
    if (!m_pMainFrame->Create()) {
        m_pMainFrame.reset();
        return false;
    }
    CMainFrame& frame = *m_pMainFrame;
    SetProgramFrame(&frame);
    // The windows are built at the restored size, so the panes' default
    // sizes come from it.
    if (Settings().GetInt(setting::SaveWindow) != 0) RestorePlacement();
    else {
        const WindowRect r = kDefaultWindowRect;
        frame.setGeometry(r.left, r.top, r.Width(), r.Height());
    }

    // "Load Save": the most recent list again, unless a file was named.
    bool openRecent = false;
    CRecentFileList& recent = frame.RecentFiles();
    if (Settings().GetInt(setting::LoadSave) != 0 && line.file.empty() && recent.GetSize() > 0) {
        std::error_code ec;
        openRecent = std::filesystem::is_regular_file(recent[0], ec);
    }
    if (!line.file.empty()) {
        // A list another program runs opens later, in a window of its own.
        if (!frame.OpenDocumentFile(line.file)) {
            CChildFrame* standIn = ListHasOwner(line.file) ? frame.OnFileNew() : nullptr;
            if (!standIn) {
                StopProgramServer();
                m_pMainFrame.reset();
                return false;
            }
            frame.SetStandIn(standIn);
        }
    } else if (!openRecent) {
        if (!frame.OnFileNew()) {
            m_pMainFrame.reset();
            return false;
        }
    }

    frame.show();
    frame.repaint();
    if (openRecent) {
        const std::string path = recent[0];
        if (!frame.OpenDocumentFile(path)) {
            // A list another program runs stays a recent list.
            const bool owned = ListHasOwner(path);
            if (!owned) recent.Remove(0);
            recent.WriteList();
            CChildFrame* standIn = frame.OnFileNew();
            if (owned) frame.SetStandIn(standIn);
        }
    }
    // Printing defaults to landscape (the list is wide).
    frame.Printer();
    if (line.quitAfter >= 0) {
        const std::string shot = line.screenshot;
        QTimer::singleShot(line.quitAfter * 1000, &frame, [&frame, shot] {
            if (!shot.empty() && !frame.grab().save(QString::fromStdString(shot), "PNG"))
                std::fprintf(stderr, "bexora: cannot write %s\n", shot.c_str());
            frame.close();
        });
    }
    return true;
}

void CebayApp::RestorePlacement() {
    CMainFrame& frame = *m_pMainFrame;
    CSettingsStore& store = Settings();
    const WindowRect r = ParseWindowRect(store.GetString(setting::WindowRect));
    const bool icon = store.GetInt(setting::WindowIcon) != 0;
    const bool max = store.GetInt(setting::WindowMax) != 0;
    frame.RestoreBarState();
    const QRect normal(r.left, r.top, r.Width(), r.Height());
    frame.setGeometry(normal);
    if (max) frame.RestoreMaximised(normal);
    if (icon) frame.setWindowState(frame.windowState() | Qt::WindowMinimized);
    if (icon) frame.setAttribute(Qt::WA_ShowWithoutActivating);
}

}  // namespace bexora
