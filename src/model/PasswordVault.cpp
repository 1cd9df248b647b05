#include "model/PasswordVault.h"

#include <cctype>

#include <mutex>

#include "base/Settings.h"
#include "model/Item.h"
#include "text/TextTools.h"

namespace bexora {

namespace {

std::mutex g_vaultMutex;
std::unique_ptr<IPasswordVault> g_vault;
std::function<void(const std::string&)> g_notice;
bool g_noticed = false;

}  // namespace

void InstallPasswordVault(std::unique_ptr<IPasswordVault> vault) {
    std::lock_guard<std::mutex> lock(g_vaultMutex);
    g_vault = std::move(vault);
}

IPasswordVault* InstalledPasswordVault() {
    std::lock_guard<std::mutex> lock(g_vaultMutex);
    return g_vault.get();
}

PasswordPlace ChosenPasswordPlace() {
    std::string v = Settings().GetString(setting::KeepPasswords);
    for (char& c : v) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return v == "file" ? PasswordPlace::File : PasswordPlace::Keyring;
}

const char* PasswordPlaceName(PasswordPlace place) {
    return place == PasswordPlace::File ? "file" : "keyring";
}

IPasswordVault* ActivePasswordVault() {
    IPasswordVault* vault = InstalledPasswordVault();
    if (!vault || ChosenPasswordPlace() != PasswordPlace::Keyring) return nullptr;
    return vault->Answers() ? vault : nullptr;
}

void SetFilePasswordNotice(std::function<void(const std::string&)> notice) {
    std::lock_guard<std::mutex> lock(g_vaultMutex);
    g_notice = std::move(notice);
    g_noticed = false;
}

void NoteFilePasswordWritten() {
    std::function<void(const std::string&)> notice;
    {
        std::lock_guard<std::mutex> lock(g_vaultMutex);
        if (g_noticed || !g_notice) return;
        g_noticed = true;
        notice = g_notice;
    }
    // Told once, not at every command: again only when the reason changes.
    const bool chosen = ChosenPasswordPlace() == PasswordPlace::File;
    const std::string reason = chosen ? "file" : "no keyring";
    CSettingsStore& store = Settings();
    if (store.GetString(setting::PasswordsTold) == reason) return;
    store.WriteString(setting::PasswordsTold, reason);
    notice(chosen ? "passwords are kept in the list files and the settings file (\"Keep passwords in\" is file)"
                  : "no keyring answers on the session bus: passwords are kept in the list files and the "
                    "settings file");
}

std::string NoKeyringPasswordText(const std::string& user) {
    return "No password for " + user + " in the keyring (locked?)";
}

std::string RememberedPassword(const std::string& user) {
    if (IPasswordVault* vault = user.empty() ? nullptr : ActivePasswordVault()) {
        std::string password;
        if (vault->Find(user, password, nullptr) == IPasswordVault::Found::Yes) return password;
    }
    return Base64Decode(Settings().GetString(setting::Password));
}

bool RememberAccount(const std::string& user, const std::string& password) {
    CSettingsStore& store = Settings();
    bool ok = store.WriteString(setting::UserId, user);
    IPasswordVault* vault = ActivePasswordVault();
    if (vault && !user.empty() && !password.empty() &&
        (vault->Holds(user, password) || vault->Keep(user, password, nullptr))) {
        // In the keyring: the settings file keeps no trace of it.
        if (!store.GetString(setting::Password).empty()) ok &= store.WriteString(setting::Password, "");
        return ok;
    }
    // No keyring (or it refused): the settings file, as ever, rather than
    // losing the password.
    if (!password.empty()) NoteFilePasswordWritten();
    return ok && store.WriteString(setting::Password, EncodeStoredPassword(password));
}

}  // namespace bexora
