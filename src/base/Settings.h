#pragma once
// The per-user settings store: an INI-style file with sections and keys
// matched without regard to letter case, integers as decimal text, strings
// escaped, byte blocks as hex. Every read goes to the file (a change made by
// another window or process is seen by the next reader); every write is
// atomic and leaves the file private to the user (mode 0600), since it holds
// the encoded account password.
//
// The file is ${XDG_CONFIG_HOME:-~/.config}/Halvane Co./Bexora.ini unless
// --settings FILE or BEXORA_SETTINGS names another.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace bexora {

enum class SettingType { Int, Str, Bin };

// One row of the settings table: where a value lives, its type, its default.
struct SettingDef {
    const char* section;
    const char* key;
    SettingType type;
    int intDefault;
    const char* strDefault;  // nullptr for an int or a computed default
};

// Every setting the program reads or writes. Readers pass these so the
// default comes from this one table.
namespace setting {
extern const SettingDef LoadSave, UpdateAll, FirstRun, WorkDir, NextFile;
extern const SettingDef PromptPending, PromptSave, SaveWindow, ViewPos;
extern const SettingDef WindowRect, WindowIcon, WindowMax, WindowWidth, WindowHeight;
extern const SettingDef WindowWidth1, WindowHeight1, WindowState, BarState, StatusBarShown;
extern const SettingDef HomepageLeftPanel;
extern const SettingDef SavePass, UserId, Password, KeepPasswords, PasswordsTold, BidNow, BidHour, BidMin, BidSec, BidPending,
    EnableBidGroup;
extern const SettingDef UpdateMin, UpdateSec, UpdateRecent, UpdateEndDay, UpdateEndHour,
    UpdateEndMin, SleepGuardMin, PreFlightSec;
extern const SettingDef AddSel, AddSaveDefault, AddShowWindow;
extern const SettingDef MessageLevel;
extern const SettingDef UpdateUrl, SettingsVersion, UpdateKey, UpdateToldVersion;
// The auction site and the maker's site.
extern const SettingDef SiteItemHost, SiteTimeHost, SiteSignInHost, SiteOfferHost, SiteMyHost,
    SiteHomeUrl, SiteDomain, VendorSiteUrl, SiteCaFile, SiteProfile;

// All rows, for listing and for tests.
const std::vector<const SettingDef*>& All();
}  // namespace setting

// Several stores (and several processes) may work on the same file: writes
// are serialised across all of them, and reads always see the file as it is.
class CSettingsStore {
public:
    explicit CSettingsStore(std::string path);
    ~CSettingsStore();
    CSettingsStore(const CSettingsStore&) = delete;
    CSettingsStore& operator=(const CSettingsStore&) = delete;

    const std::string& Path() const { return m_path; }

    int GetProfileInt(const std::string& section, const std::string& key, int def) const;
    std::string GetProfileString(const std::string& section, const std::string& key,
                                 const std::string& def) const;
    // False (out untouched) when the value is missing or not a byte block.
    bool GetProfileBinary(const std::string& section, const std::string& key,
                          std::vector<uint8_t>& out) const;

    // False when the file could not be written; LastError() says why.
    bool WriteProfileInt(const std::string& section, const std::string& key, int value);
    bool WriteProfileString(const std::string& section, const std::string& key,
                            const std::string& value);
    bool WriteProfileBinary(const std::string& section, const std::string& key,
                            const std::vector<uint8_t>& value);
    // Removes a key; true when it is gone afterwards.
    bool DeleteProfileKey(const std::string& section, const std::string& key);

    // Reads through the table: the row's default when the value is missing.
    // "Homepage"/"left panel" defaults to the current SiteHomeUrl and
    // "Update"/"Update URL" to VendorSiteUrl with a "/" after it.
    int GetInt(const SettingDef& def) const;
    std::string GetString(const SettingDef& def) const;
    bool GetBinary(const SettingDef& def, std::vector<uint8_t>& out) const;
    bool WriteInt(const SettingDef& def, int value);
    bool WriteString(const SettingDef& def, const std::string& value);
    bool WriteBinary(const SettingDef& def, const std::vector<uint8_t>& value);
    bool DeleteKey(const SettingDef& def) { return DeleteProfileKey(def.section, def.key); }

    // Why the last failed write of this store failed (empty after a success).
    std::string LastError() const;

private:
    struct Impl;
    std::string m_path;
    std::unique_ptr<Impl> m_impl;
};

// The settings file in use: --settings FILE (SetSettingsPath), else
// BEXORA_SETTINGS, else the per-user default.
std::string DefaultSettingsPath();
void SetSettingsPath(const std::string& path);
// The process-wide store on the path above.
CSettingsStore& Settings();

// Shorthands for the process-wide store, named as the program has always
// called them.
int GetProfileInt(const std::string& section, const std::string& key, int def);
std::string GetProfileString(const std::string& section, const std::string& key,
                             const std::string& def);
bool WriteProfileInt(const std::string& section, const std::string& key, int value);
bool WriteProfileString(const std::string& section, const std::string& key,
                        const std::string& value);
bool GetProfileBinary(const std::string& section, const std::string& key,
                      std::vector<uint8_t>& out);
bool WriteProfileBinary(const std::string& section, const std::string& key,
                        const std::vector<uint8_t>& value);

// ${XDG_DATA_HOME:-~/.local/share}/Halvane Co./Bexora: cookie jar and other
// per-user data files.
std::string UserDataDir();

}  // namespace bexora
