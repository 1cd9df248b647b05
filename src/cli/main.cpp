// bexora-cli: the command-line front end. It runs the same core as the
// desktop program: inspect and change settings, fetch and read pages, and
// (as the program grows) run an item list's scheduler headless on a server.

#include <cstdio>
#include <filesystem>
#include <cstring>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "base/AtomicFile.h"
#include "base/Settings.h"
#include "base/Version.h"
#include "model/PasswordVault.h"
#include "session/SecretStore.h"
#include "site/PageFetch.h"
#include "site/SiteProfile.h"
#include "text/TextTools.h"

#include "cli/Commands.h"
#include "cli/ItemFormat.h"

namespace {

using namespace bexora::cli;

const char kUsageText[] =
    "Usage: bexora-cli [--settings FILE] COMMAND [ARGS]\n"
    "       bexora-cli --help | --version\n"
    "\n"
    "Commands:\n"
    "  config get SECTION KEY        print a setting (its default when unset)\n"
    "  config set SECTION KEY VALUE  store a setting\n"
    "  config list [--show-passwords]\n"
    "                                print every known setting with its value\n"
    "                                (the stored password masked unless asked)\n"
    "  fetch URL                     print the page body; the result address goes\n"
    "                                to standard error\n"
    "  strip-tags [FILE]             print the page text with its tags replaced by\n"
    "                                line feeds (standard input without FILE)\n"
    "%COMMANDS%"
    "  help                          this text\n"
    "\n"
    "The settings file is $BEXORA_SETTINGS, or ~/.config/Halvane Co./Bexora.ini.\n";

bool SameText(const std::string& a, const char* b) {
    return strcasecmp(a.c_str(), b) == 0;
}

const bexora::SettingDef* FindSetting(const std::string& section, const std::string& key) {
    for (const bexora::SettingDef* def : bexora::setting::All())
        if (SameText(section, def->section) && SameText(key, def->key)) return def;
    return nullptr;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::string ValueText(const bexora::SettingDef* def, const std::string& section,
                      const std::string& key) {
    auto& store = bexora::Settings();
    if (def && def->type == bexora::SettingType::Int) return std::to_string(store.GetInt(*def));
    if (def && def->type == bexora::SettingType::Bin) {
        std::vector<uint8_t> bytes;
        return store.GetProfileBinary(section, key, bytes) ? Hex(bytes) : std::string();
    }
    if (def) return store.GetString(*def);
    return store.GetProfileString(section, key, "");
}

int ConfigGet(const Args& a) {
    if (a.size() != 2) return Usage("config get needs SECTION and KEY");
    const bexora::SettingDef* def = FindSetting(a[0], a[1]);
    std::string probe = bexora::Settings().GetProfileString(a[0], a[1], "\x01");
    if (!def && probe == "\x01") {
        std::cerr << "bexora-cli: no setting \"" << a[1] << "\" in section \"" << a[0] << "\"\n";
        return kFailed;
    }
    std::cout << ValueText(def, a[0], a[1]) << "\n";
    return kOk;
}

int ConfigSet(const Args& a) {
    if (a.size() != 3) return Usage("config set needs SECTION, KEY and VALUE");
    const bexora::SettingDef* def = FindSetting(a[0], a[1]);
    auto& store = bexora::Settings();
    bool ok;
    if (def && def->type == bexora::SettingType::Int) {
        char* end = nullptr;
        long v = std::strtol(a[2].c_str(), &end, 10);
        if (a[2].empty() || *end != '\0' || v < INT32_MIN || v > INT32_MAX)
            return Usage("\"" + std::string(def->key) + "\" takes a whole number, not \"" + a[2] + "\"");
        ok = store.WriteProfileInt(def->section, def->key, static_cast<int>(v));
    } else if (def && def->type == bexora::SettingType::Bin) {
        return Usage("\"" + std::string(def->key) + "\" is kept by the program itself");
    } else if (def == &bexora::setting::SiteProfile && !a[2].empty() && a[2] != "builtin") {
        // A profile that does not read would leave every list on the
        // built-in one without a word: refused here, with the line at fault.
        bexora::CSiteProfile profile;
        std::string error;
        std::error_code ec;
        // Kept as a whole path: the program may start from any folder.
        const std::string path = std::filesystem::absolute(a[2], ec).string();
        if (!bexora::LoadSiteProfile(path, profile, error)) {
            std::cerr << "bexora-cli: " << error << "\n";
            return kFailed;
        }
        ok = store.WriteProfileString(def->section, def->key, path);
    } else if (def == &bexora::setting::KeepPasswords && a[2] != "keyring" && a[2] != "file") {
        return Usage("\"Keep Passwords\" is keyring or file, not \"" + a[2] + "\"");
    } else {
        ok = store.WriteProfileString(def ? def->section : a[0], def ? def->key : a[1], a[2]);
    }
    if (!ok) {
        std::cerr << "bexora-cli: cannot write the settings: " << store.LastError() << "\n";
        return kFailed;
    }
    return kOk;
}

int ConfigList(const Args& a) {
    const bool showPasswords = a.size() == 1 && a[0] == "--show-passwords";
    if (!a.empty() && !showPasswords) return Usage("config list takes only --show-passwords");
    for (const bexora::SettingDef* def : bexora::setting::All()) {
        std::string value = ValueText(def, def->section, def->key);
        // The stored password is only Base64: as good as clear text.
        if (def == &bexora::setting::Password) value = ShownPassword(value, showPasswords);
        std::cout << "[" << def->section << "] " << def->key << " = " << value << "\n";
    }
    return kOk;
}

int Config(const Args& a) {
    if (a.empty()) return Usage("config needs get, set or list");
    Args rest(a.begin() + 1, a.end());
    if (a[0] == "get") return ConfigGet(rest);
    if (a[0] == "set") return ConfigSet(rest);
    if (a[0] == "list") return ConfigList(rest);
    return Usage("unknown config command \"" + a[0] + "\"");
}

int Fetch(const Args& a) {
    if (a.size() != 1) return Usage("fetch needs one URL");
    std::string page;
    std::string result = bexora::FetchPage(a[0], page);
    std::fwrite(page.data(), 1, page.size(), stdout);
    std::fflush(stdout);
    std::cerr << result << "\n";
    return result.empty() ? kFailed : kOk;
}

int StripTagsCommand(const Args& a) {
    if (a.size() > 1) return Usage("strip-tags takes at most one FILE");
    std::string text;
    if (a.empty() || a[0] == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::string error;
        if (!bexora::ReadWholeFile(a[0], text, &error)) {
            std::cerr << "bexora-cli: " << error << "\n";
            return kFailed;
        }
    }
    bexora::StripTags(text);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? kOk : kFailed;
}

// The help text, with the lines of the commands added by other files.
std::string UsageText(const CommandTable& commands) {
    std::string text = kUsageText;
    std::string more;
    for (const Command& c : commands) more += c.usage;
    text.replace(text.find("%COMMANDS%"), 10, more);
    return text;
}

// Commands kept in files of their own, one per subsystem.
void AddMoreCommands(CommandTable& commands) {
    AddModelCommands(commands);
    AddSiteCommands(commands);
    AddBiddingCommands(commands);
    AddUpdateCommands(commands);
    AddListCommands(commands);
}

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    Args args(argv + 1, argv + argc);
    size_t i = 0;
    while (i < args.size() && args[i].rfind("--", 0) == 0) {
        const std::string& opt = args[i];
        if (opt == "--help") {
            CommandTable commands;
            AddMoreCommands(commands);
            std::cout << UsageText(commands);
            return kOk;
        }
        if (opt == "--version") {
            std::cout << "Bexora " << bexora::kProgramVersion << "\n";
            return kOk;
        }
        if (opt == "--settings") {
            if (i + 1 >= args.size()) return Usage("--settings needs a FILE");
            bexora::SetSettingsPath(args[i + 1]);
            i += 2;
            continue;
        }
        if (opt.rfind("--settings=", 0) == 0) {
            bexora::SetSettingsPath(opt.substr(11));
            ++i;
            continue;
        }
        return Usage("unknown option \"" + opt + "\"");
    }
    if (i >= args.size()) return Usage("no command given");
    const std::string command = args[i];
    Args rest(args.begin() + i + 1, args.end());

    // Passwords in the desktop's keyring when one answers; said once when
    // one goes into a file instead.
    bexora::InstallSecretStore();
    bexora::SetFilePasswordNotice([](const std::string& text) { std::cerr << "bexora-cli: " << text << "\n"; });
    CommandTable commands = {
        {"config", &Config, ""},
        {"fetch", &Fetch, ""},
        {"strip-tags", &StripTagsCommand, ""},
    };
    AddMoreCommands(commands);
    if (command == "help") {
        std::cout << UsageText(commands);
        return kOk;
    }
    for (const Command& c : commands)
        if (c.name == command) return c.run(rest);
    return Usage("unknown command \"" + command + "\"");
}
