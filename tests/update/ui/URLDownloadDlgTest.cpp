// The update dialog's window: buttons, texts and bar as the download goes.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "bidding/SiteHarness.h"
#include "update/UpdateCheck.h"
#include "update/ui/URLDownloadDlg.h"

namespace bexora {
namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "update_ui_tests";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    return app;
}

template <class F> bool WaitFor(F done, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

CRestartCommand g_started;
bool RecordStart(const CRestartCommand& c) {
    g_started = c;
    return true;
}

class DownloadDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        ASSERT_TRUE(m_site.Ok());
        m_folder = m_site.Dir() + "/app";
        ASSERT_TRUE(MakeDirs(m_folder, 0755));
        // As a user who owns the folder: root never updates itself.
        SetUpdateUidForTests(4242);
        ASSERT_EQ(chown(m_folder.c_str(), 4242, 4242), 0);
        CURLDownloadDlg::s_startProgram = &RecordStart;
        g_started = {};
    }
    void TearDown() override {
        SetUpdateUidForTests(-1);
        CloseThreadConnections();
    }
    test::LocalSite m_site;
    std::string m_folder;
};

TEST_F(DownloadDlgTest, CompleteUpdateOffersRestart) {
    m_site.Control("POST", "/_control/update",
                   R"({"version":"2.1.0.0","files":[{"name":"bexora","content":"new"}]})");
    ASSERT_TRUE(CheckForUpdate(m_folder));
    CURLDownloadDlg dlg(nullptr, m_folder);
    EXPECT_TRUE(dlg.windowTitle().isEmpty());
    EXPECT_EQ(dlg.FileLine()->text(), "Found new update");
    EXPECT_EQ(dlg.StatusLine()->text(), "Please click the update button.");
    EXPECT_EQ(dlg.FirstButton()->text(), "&Update");
    EXPECT_TRUE(dlg.FirstButton()->isDefault());
    EXPECT_EQ(dlg.ProgressBar()->maximum(), 100);

    int result = -1;
    QObject::connect(&dlg, &QDialog::finished, [&](int r) { result = r; });
    dlg.show();
    dlg.FirstButton()->click();
    EXPECT_EQ(dlg.FirstButton()->text(), "Cancel");
    ASSERT_TRUE(WaitFor([&] { return dlg.SecondButton()->text() == "Restart"; }));
    EXPECT_EQ(dlg.FileLine()->text(), "Update completed successfully!");
    EXPECT_FALSE(dlg.FirstButton()->isEnabled());
    EXPECT_TRUE(dlg.SecondButton()->isEnabled());
    EXPECT_EQ(dlg.ProgressBar()->value(), 100);
    dlg.SecondButton()->click();
    EXPECT_EQ(result, QDialog::Accepted);
    // Nothing starts until the main window has closed and main() ends.
    EXPECT_TRUE(g_started.m_strProgram.empty());
    StartRequestedRestart();
    EXPECT_TRUE(g_started.m_strProgram.empty());
    RestartAfterExit();
    StartRequestedRestart();
    EXPECT_EQ(g_started.m_strProgram, GetRestartCommand().m_strProgram);
    EXPECT_FALSE(g_started.m_strProgram.empty());
    EXPECT_FALSE(RestartRequested());
}

TEST_F(DownloadDlgTest, CancelLeavesTheFirstButtonDisabledAndEndsWithCancel) {
    m_site.Control("POST", "/_control/update",
                   R"({"version":"2.1.0.0","files":[{"name":"slow.dat","content":"x"}]})");
    m_site.Fault(R"({"path":"/vendor/files/slow.dat","stall":true,"stall_ms":20000})");
    ASSERT_TRUE(CheckForUpdate(m_folder));
    CURLDownloadDlg dlg(nullptr, m_folder);
    int result = -1;
    QObject::connect(&dlg, &QDialog::finished, [&](int r) { result = r; });
    dlg.show();
    dlg.FirstButton()->click();
    EXPECT_FALSE(dlg.SecondButton()->isEnabled());
    ASSERT_TRUE(m_site.WaitForRequest("/vendor/files/slow.dat"));
    dlg.FirstButton()->click();
    EXPECT_EQ(dlg.FirstButton()->text(), "Update");
    ASSERT_TRUE(WaitFor([&] { return dlg.SecondButton()->isEnabled(); }));
    EXPECT_EQ(dlg.FileLine()->text(), "Download failed. Please try again later.");
    EXPECT_FALSE(dlg.FirstButton()->isEnabled());
    dlg.SecondButton()->click();
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_TRUE(g_started.m_strProgram.empty());
}

TEST_F(DownloadDlgTest, ClosingDuringADownloadStopsTheWorker) {
    m_site.Control("POST", "/_control/update",
                   R"({"version":"2.1.0.0","files":[{"name":"slow.dat","content":"x"}]})");
    m_site.Fault(R"({"path":"/vendor/files/slow.dat","stall":true,"stall_ms":20000})");
    ASSERT_TRUE(CheckForUpdate(m_folder));
    QElapsedTimer t;
    {
        CURLDownloadDlg dlg(nullptr, m_folder);
        dlg.show();
        dlg.FirstButton()->click();
        ASSERT_TRUE(m_site.WaitForRequest("/vendor/files/slow.dat"));
        t.start();
    }
    EXPECT_LT(t.elapsed(), 5000);
    QApplication::processEvents();  // nothing queued for the gone window may run
}

}  // namespace
}  // namespace bexora
