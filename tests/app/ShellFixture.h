#pragma once
// The desktop program started for real (splash, main window, last list)
// against the local auction site, with every dialog answered by the test.

#include <gtest/gtest.h>

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
        ASSERT_TRUE(m_site.Ok());
        // The browser panes stay off the network: empty pages unless a
        // test asks for the maker's pages.
        WriteProfileString("Homepage", "left panel", "about:blank");
        WriteProfileInt("Program Start", "First Run", 0);
        WriteProfileString("Program Start", "Work Dir", m_site.WorkFile(""));
        CWelcome::s_updateStep = [](QWidget*, const std::function<void(const std::string&)>& status) {
            status("You are using the lastest version");
            return true;
        };

}  // namespace bexora::test
