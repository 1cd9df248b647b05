#pragma once
// One QApplication with Qt WebEngine for the whole binary (offscreen, no
// sandbox, a private runtime folder), a host that records what the pane told
// it, and waits that pump the event loop instead of sleeping blind.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QThread>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "browser/ui/CookieBridge.h"
#include "browser/ui/ebayView.h"
#include "support/TempDir.h"

namespace bexora::test {

class WebEngineEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        // Chromium's sandbox cannot start as root in a container.
        setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
        setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --disable-dev-shm-usage", 0);
        const char* runtime = getenv("XDG_RUNTIME_DIR");
        struct stat st {};
        if (!runtime || stat(runtime, &st) != 0 || (st.st_mode & 0777) != 0700) {
            m_runtime = std::make_unique<TempDir>();
            chmod(m_runtime->Path().c_str(), 0700);
            setenv("XDG_RUNTIME_DIR", m_runtime->Path().c_str(), 1);
        }
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        static int argc = 1;
        static char name[] = "browserui_tests";
        static char* argv[] = {name, nullptr};
        m_app = new QApplication(argc, argv);
    }
    void TearDown() override {
        delete m_app;
        m_app = nullptr;
    }

private:
    QApplication* m_app = nullptr;
    std::unique_ptr<TempDir> m_runtime;
};

// Registered once for the binary, whichever test file includes this first.
inline ::testing::Environment* const g_webEngineEnvironment =
    ::testing::AddGlobalTestEnvironment(new WebEngineEnvironment);

// Pumps events until done() or timeoutMs; true when done.
inline bool WaitFor(const std::function<bool()>& done, int timeoutMs = 15000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

// Pumps events for ms (for "nothing else happens" checks).
inline void Settle(int ms = 300) {
    WaitFor([] { return false; }, ms);
}

struct RecordingHost : IBrowserHost {
    void SetAddressText(const std::string& url) override {
        address = url;
        addresses.push_back(url);
    }
    void NavigateToAddress() override {
        ++navigations;
        if (view) view->Navigate(address);
    }
    IItemSink* ListSink() override { return sink; }
    void ListChanged() override { ++listChanges; }

    CebayView* view = nullptr;  // NavigateToAddress navigates it when set
    IItemSink* sink = nullptr;
    std::string address;
    std::vector<std::string> addresses;
    int navigations = 0;
    int listChanges = 0;
};

// Navigates and waits for the pane's document-complete step; the address the
// step reported.
inline std::string LoadAndWait(CebayView& view, const std::string& url, int timeoutMs = 15000) {
    QString reported;
    bool done = false;
    auto c = QObject::connect(&view, &CebayView::DocumentComplete, [&](const QString& u) {
        reported = u;
        done = true;
    });
    view.Navigate(url);
    const bool ok = WaitFor([&] { return done; }, timeoutMs);
    QObject::disconnect(c);
    EXPECT_TRUE(ok) << "no document complete for " << url;
    return reported.toStdString();
}

// Runs script in the page and waits for its value.
inline QVariant RunScript(CebayView& view, const QString& script) {
    QVariant value;
    bool done = false;
    view.page()->runJavaScript(script, [&](const QVariant& v) {
        value = v;
        done = true;
    });
    EXPECT_TRUE(WaitFor([&] { return done; })) << script.toStdString();
    return value;
}

inline std::string PageText(CebayView& view) {
    return RunScript(view, "document.body ? document.body.innerText : ''").toString().toStdString();
}

inline CCookieBridge& Bridge() {
    auto* bridge = CebayView::Profile()->findChild<CCookieBridge*>();
    EXPECT_NE(bridge, nullptr);
    return *bridge;
}

}  // namespace bexora::test
