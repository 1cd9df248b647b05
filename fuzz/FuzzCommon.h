#pragma once
// What every fuzz target shares: a private scratch folder as the working
// directory and the settings file's home, and a prompt handler that answers
// silently, so a target never writes outside its folder or waits on input.

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/Prompt.h"
#include "base/Settings.h"

namespace bexora::fuzz {

class CQuietPrompts : public IPromptHandler {
public:
    PromptAnswer Ask(const std::string&, PromptButtons buttons, PromptIcon) override {
        return buttons == PromptButtons::YesNo || buttons == PromptButtons::YesNoCancel
                   ? PromptAnswer::No
                   : PromptAnswer::Cancel;
    }
};

// The scratch folder, made once per process.
inline const std::string& ScratchDir() {
    static const std::string dir = [] {
        const char* tmp = getenv("TMPDIR");
        std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/bexora-fuzz-XXXXXX";
        const char* made = mkdtemp(tmpl.data());
        std::string d = made ? made : "/tmp";
        setenv("HOME", d.c_str(), 1);
        setenv("XDG_CONFIG_HOME", d.c_str(), 1);
        if (chdir(d.c_str()) != 0) {
        }
        static CQuietPrompts prompts;
        SetPromptHandler(&prompts);
        SetSettingsPath(d + "/Bexora.ini");
        return d;
    }();
    return dir;
}

inline std::string Bytes(const uint8_t* data, size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

}  // namespace bexora::fuzz
