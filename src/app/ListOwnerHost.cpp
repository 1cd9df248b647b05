#include "app/ListOwnerHost.h"

#include <unistd.h>

#include <QApplication>
#include <QMdiArea>
#include <QPointer>
#include <QTimer>
#include <filesystem>
#include <thread>

#include "app/ChildFrame.h"
#include "app/MainFrame.h"
#include "base/Prompt.h"
#include "cli/ListCommands.h"
#include "listview/ui/ebayListView.h"

namespace bexora {

namespace {

// "Waits" for a short-lived bexora-cli command (add, note, ...) that holds
// the list without serving it.
constexpr int kShortHoldMs = 3000;
constexpr int kRetryMs = 50;
constexpr int kOpenLaterPollMs = 2000;

bool TakeLock(const std::string& path, CListLock& lock, int waitMs) {
    for (int waited = 0;; waited += kRetryMs) {
        if (lock.TryAcquire(path)) return true;
        if (!CListLock::OwnerText(path).empty() || waited >= waitMs) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(kRetryMs));
    }
}

void OpenWhenFree(CMainFrame* frame, const std::string& path) {
    QPointer<CMainFrame> guard(frame);
    auto* timer = new QTimer(frame);
    QObject::connect(timer, &QTimer::timeout, frame, [guard, timer, path] {
        CListLock probe;
        if (!guard || !probe.TryAcquire(path)) return;
        probe.Release();
        timer->deleteLater();
        if (guard->OpenDocumentFile(path)) guard->DropStandIn();
    });
    timer->start(kOpenLaterPollMs);
}

}  // namespace

bool AcquireListForWindow(const std::string& path, CListLock& lock, CMainFrame* frame) {
    if (TakeLock(path, lock, kShortHoldMs)) return true;
    std::string owner = CListLock::OwnerText(path);
    if (owner.empty()) owner = "another bexora-cli command";
    // Two programs running one list would both place its snipes. The list
    // view has no read-only form, so the window waits for the list instead.
    const std::string text =
        path + " is open in " + owner +
        ".\nA list is run by one program at a time; bexora-cli commands such as "
        "bid and cancel reach it there.\n\nOpen the list here once " +
        owner + " has finished with it?";
    if (ShowPrompt(text, PromptButtons::YesNo, PromptIcon::Information) == PromptAnswer::Yes &&
        frame)
        OpenWhenFree(frame, path);
    return false;
}

bool ListHasOwner(const std::string& path) {
    CListLock probe;
    return !probe.TryAcquire(path);
}

std::unique_ptr<CListOwner> ServeListWindow(CebayListView& view, const std::string& path,
                                            CListLock& lock, const char* program) {
    if (!lock.Held()) return nullptr;
    auto owned =
        std::make_shared<cli::COwnedList>(cli::COwnedList{view.Core(), view.Dispatcher(), nullptr});
    auto owner = std::make_unique<CListOwner>(
        view.Dispatcher(), [owned](const std::vector<std::string>& argv, const std::string& cwd) {
            return cli::StartOwnedCommand(*owned, argv, cwd);
        });
    std::string error;
    if (!owner->Open(path, program, &error, &lock)) {
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return nullptr;
    }
    return owner;
}

// ---- one desktop program ----

namespace {

struct CProgramServer {
    CUiDispatcher* ui = nullptr;  // made on the UI thread, with the QApplication
    std::unique_ptr<CListOwner> owner;
    QPointer<CMainFrame> frame;
    std::vector<std::string> pending;  // files handed over before the main window was there

    void Open(const std::string& file) {
        if (!frame) {
            pending.push_back(file);
            return;
        }
        if (!file.empty()) frame->OpenDocumentFile(file);
        frame->setWindowState((frame->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        frame->show();
        frame->raise();
        frame->activateWindow();
    }
};

CProgramServer& Server() {
    static CProgramServer server;
    return server;
}

// The per-user name the desktop programs meet at: a "list" in the private
// socket folder, so its lock and socket are a list owner's.
std::string ProgramRendezvous() {
    std::string dir = OwnerSocketDir();
    return dir.empty() ? "" : dir + "/desktop";
}

std::string Absolute(const std::string& file, const std::string& cwd) {
    if (file.empty() || file[0] == '/') return file;
    return cwd + "/" + file;
}

}  // namespace

bool HandToRunningProgram(const std::string& file) {
    const std::string rendezvous = ProgramRendezvous();
    CProgramServer& server = Server();
    // This process is the one already (tests start the program in-process).
    if (rendezvous.empty() || server.owner) return false;
    if (!server.ui) {
        server.ui = new CUiDispatcher;  // lives as long as the program
        server.ui->SetWake([ui = server.ui] {
            QMetaObject::invokeMethod(
                qApp, [ui] { ui->RunPending(); }, Qt::QueuedConnection);
        });
    }
    for (int attempt = 0; attempt < 20; ++attempt) {
        auto owner = std::make_unique<CListOwner>(
            *server.ui,
            [](const std::vector<std::string>& argv, const std::string& cwd) -> CListOwner::PollFn {
                std::string file = argv.size() > 1 ? Absolute(argv[1], cwd) : "";
                Server().Open(file);
                return [](CListAnswer& a) {
                    a.status = 0;
                    return true;
                };
            });
        if (owner->Open(rendezvous, kDesktopOwnerName)) {
            server.owner = std::move(owner);
            return false;
        }
        CListAnswer answer;
        std::string error;
        auto r = CListClient::Send(rendezvous, {"open", file}, answer, error, 10000);
        if (r == CListClient::Result::Answered) return true;
        // Between one program's end and the next one's start: try again.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

void SetProgramFrame(CMainFrame* frame) {
    CProgramServer& server = Server();
    server.frame = frame;
    std::vector<std::string> pending;
    pending.swap(server.pending);
    for (const std::string& f : pending) server.Open(f);
}

void StopProgramServer() {
    CProgramServer& server = Server();
    if (server.owner) server.owner->Close();
    server.owner.reset();
    server.frame = nullptr;
}

}  // namespace bexora
