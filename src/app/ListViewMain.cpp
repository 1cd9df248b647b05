// bexora-listview: one item list in a window of its own, with its notice
// window and its scheduler ticking against the site the settings point at.
// It stands in for the main window until that exists.
//
//   bexora-listview [--settings FILE] [--quit-after SECONDS [--screenshot OUT.png]] FILE.bid

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/Settings.h"
#include "app/ListOwnerHost.h"
#include "base/ui/QtPrompt.h"
#include "listview/ui/WarnDlg.h"
#include "base/ui/AnsiText.h"
#include "listview/ui/ebayListView.h"
#include "model/ebayDoc.h"

namespace bexora {
namespace {

class CListWindow : public QMainWindow, public IListViewHost {
public:
    explicit CListWindow(CebayDoc& doc) {
        m_pView = new CebayListView(doc, this, this);
        setCentralWidget(m_pView);
        m_pPane = new QLabel(this);
        m_pPane->setMinimumWidth(220);
        statusBar()->addPermanentWidget(m_pPane);

        // The item menu is the menu bar's "&Bid" menu, as in the main window.
        m_pBidMenu = CebayListView::CreateItemMenu(this).release();
        m_pBidMenu->addSeparator();
        m_pBidMenu->addAction("Select &All")->setData(listcmd::kSelectAll);
        m_pBidMenu->addAction("Export to Excel")->setData(listcmd::kExport);
        menuBar()->addMenu(m_pBidMenu);
        // The menu runs its commands, wherever it was opened: the menu bar
        // or the right button (the view then only shows it).
        connect(m_pBidMenu, &QMenu::triggered, this, [this](QAction* a) {
            if (a->data().isValid()) m_pView->OnItemCommand(a->data().toInt());
        });
        if (QSystemTrayIcon::isSystemTrayAvailable()) {
            m_pTray = new QSystemTrayIcon(windowIcon(), this);
            m_pTray->show();
        }
        setWindowTitle("Bexora - " + FromAnsi(doc.GetTitle().empty() ? doc.GetPathName() : doc.GetTitle()));
        resize(1100, 420);
    }

    CebayListView& View() { return *m_pView; }

    void Navigate(const std::string& url) override {
        statusBar()->showMessage(FromAnsi(url), 5000);
        QDesktopServices::openUrl(QUrl(FromAnsi(url)));
    }
    void SetStatusText(const std::string& text) override { m_pPane->setText(FromAnsi(text)); }
    bool IsActiveFrame() override { return true; }
    void ShowBalloon(const std::string& title, const std::string& text) override {
        if (m_pTray) m_pTray->showMessage(FromAnsi(title), FromAnsi(text));
        else statusBar()->showMessage(FromAnsi(title + ": " + text), 10000);
    }
    QMenu* BidMenu() override { return m_pBidMenu; }

private:
    CebayListView* m_pView;
    QLabel* m_pPane;
    QMenu* m_pBidMenu;
    QSystemTrayIcon* m_pTray = nullptr;
};

int Usage() {
    std::fprintf(stderr, "Usage: bexora-listview [--settings FILE] [--quit-after SECONDS [--screenshot OUT.png]] FILE.bid\n");
    return 2;
}

}  // namespace
}  // namespace bexora

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Bexora");
    QApplication::setApplicationDisplayName("Bexora");
    std::string file;
    int quitAfter = -1;
    QString screenshot;
    const QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == "--settings" && i + 1 < args.size()) bexora::SetSettingsPath(args[++i].toStdString());
        else if (a == "--quit-after" && i + 1 < args.size()) quitAfter = args[++i].toInt();
        else if (a == "--screenshot" && i + 1 < args.size()) screenshot = args[++i];
        else if (a.startsWith("-")) return bexora::Usage();
        else if (file.empty()) file = a.toStdString();
        else return bexora::Usage();
    }
    if (file.empty()) return bexora::Usage();

    bexora::InstallQtPrompt();
    // A list is run by one program at a time: two would both place its
    // snipes. The lock is taken before the file is read, so what is read is
    // the last owner's final save.
    bexora::CListLock lock;
    if (!lock.TryAcquire(file)) {
        std::string owner = bexora::CListLock::OwnerText(file);
        if (owner.empty()) owner = "another program";
        std::fprintf(stderr,
                     "bexora-listview: %s is open in %s; bexora-cli commands reach it there\n",
                     file.c_str(), owner.c_str());
        return 1;
    }
    bexora::CebayDoc doc;
    if (std::FILE* f = std::fopen(file.c_str(), "rb")) {
        std::fclose(f);
        if (!doc.OnOpenDocument(file)) return 1;  // the message named the file and the reason
    }
    doc.SetPathName(file);

    int rc = 0;
    {
        bexora::CListWindow window(doc);
        window.View().OnInitialUpdate();
        // bexora-cli's commands on this list come here while it is open.
        std::unique_ptr<bexora::CListOwner> owner =
            bexora::ServeListWindow(window.View(), file, lock, "bexora-listview");
        window.show();
        if (quitAfter >= 0) {
            QTimer::singleShot(quitAfter * 1000, &app, [&] {
                if (!screenshot.isEmpty() && !window.grab().save(screenshot, "PNG"))
                    std::fprintf(stderr, "bexora-listview: cannot write %s\n", qPrintable(screenshot));
                QApplication::quit();
            });
        }
        rc = QApplication::exec();
        // No more clients; the lock is let go only after the last save.
        bexora::CListLock keep;
        if (owner) owner->Close(&keep);
        window.View().OnDestroy();
    }
    return rc;
}
