#pragma once
// Adding from pages without the local site: a private settings file whose
// hosts refuse connections at once (so a fetch that should not happen shows
// as a failed page, never as a request to the real site), the clock offset
// pinned, and no prompt left over from another test.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "base/Prompt.h"
#include "base/Settings.h"
#include "site/ItemPageParser.h"
#include "site/SiteTime.h"
#include "support/TempDir.h"

namespace bexora::test {

class PageTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetSettingsPath(m_dir.File("Bexora.ini"));
        for (const SettingDef* host : {&setting::SiteItemHost, &setting::SiteTimeHost})
            Settings().WriteString(*host, "127.0.0.1:9");
        FixClockOffset(0);
        OverrideSavedUserId("");
        TakeShownPrompts();
    }
    void TearDown() override {
        FixClockOffset(std::nullopt);
        OverrideSavedUserId(std::nullopt);
        TakeShownPrompts();
    }

    static std::string ReadPage(const std::string& name) {
        std::ifstream in(std::string(BEXORA_TEST_DATA) + "/pages/" + name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    TempDir m_dir;
};

}  // namespace bexora::test
