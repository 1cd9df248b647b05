#pragma once
// The desktop program started for real (splash, main window, last list)
// against the local auction site, with every dialog answered by the test.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDialog>
#include <QStringList>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/MainFrame.h"
#include "app/Welcome.h"
#include "app/ebayApp.h"
#include "base/Prompt.h"
#include "base/Settings.h"
#include "base/ui/DialogRunner.h"
#include "bidding/SiteHarness.h"
#include "browserui/BrowserTestSupport.h"
#include "model/ebayDoc.h"

namespace bexora::test {

class ShellFixture : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        static const CWelcome::UpdateStep realStep = CWelcome::s_updateStep;
        m_realStep = realStep;
        static const auto realOpen = CMainFrame::s_openUrl;
        m_realOpen = realOpen;
        ASSERT_TRUE(m_site.Ok());
        // Sockets of their own: ctest runs these tests side by side, and a
        // desktop program that finds another's socket hands over to it.
        const std::string runtime = m_site.Dir() + "/run";
        mkdir(runtime.c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        // The browser panes stay off the network: empty pages unless a
        // test asks for the maker's pages.
        WriteProfileString("Homepage", "left panel", "about:blank");
        WriteProfileInt("Program Start", "First Run", 0);
        WriteProfileString("Program Start", "Work Dir", m_site.WorkFile(""));
        CWelcome::s_updateStep = [](QWidget*, const std::function<void(const std::string&)>& status) {
            status("You are using the lastest version");
            return true;
        };
        CMainFrame::s_openUrl = [this](const std::string& url) { m_opened.push_back(url); };
        SetDialogRunner([](QDialog& d) {
            // The splash runs its step at once; other dialogs are cancelled.
            if (auto* splash = dynamic_cast<CWelcome*>(&d)) {
                return CWelcome::s_updateStep(splash, [](const std::string&) {}) ? int(QDialog::Accepted)
                                                                                 : int(QDialog::Rejected);
            }
            return int(QDialog::Rejected);
        });
        TakeShownPrompts();
    }
    void TearDown() override {
        m_app.reset();
        SetDialogRunner({});
        TakeShownPrompts();
    }

    CMainFrame& Start(QStringList args = {}) {
        args.prepend("bexora");
        args << "--settings" << QString::fromStdString(m_site.SettingsFile());
        m_app = std::make_unique<CebayApp>();
        m_started = m_app->InitInstance(args);
        EXPECT_TRUE(m_started);
        return *m_app->MainFrame();
    }

    std::string WriteList(const std::string& name, int items) {
        CebayDoc doc;
        for (int i = 0; i < items; ++i) {
            auto item = std::make_unique<CItem>();
            item->m_strItemNumber = std::to_string(1000000000 + i);
            item->m_strTitle = "Listed item " + std::to_string(i);
            doc.AddItem(std::move(item));
        }
        const std::string path = m_site.WorkFile(name);
        EXPECT_TRUE(doc.OnSaveDocument(path));
        return path;
    }

    // The maker's update folder on the local site offers this version.
    void Publish(const std::string& version) {
        m_site.Control("POST", "/_control/update",
                       "{\"version\":\"" + version + "\",\"files\":[{\"name\":\"notes.txt\",\"content\":\"x\"}]}");
    }

    LocalSite m_site;
    CWelcome::UpdateStep m_realStep;
    std::function<void(const std::string&)> m_realOpen;
    std::unique_ptr<CebayApp> m_app;
    bool m_started = false;
    std::vector<std::string> m_opened;
};

}  // namespace bexora::test
