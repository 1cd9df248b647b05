// bexora-cli secrets: what the keyring keeps for Bexora, and moving a list's
// passwords between the keyring and the list file.

#include <set>

#include "base/Settings.h"
#include "cli/ListSession.h"
#include "model/PasswordVault.h"
#include "site/SiteEndpoints.h"

namespace bexora::cli {

namespace {

// The keyring, or null after saying why there is none.
IPasswordVault* Keyring(CCommandEnv& env) {
    IPasswordVault* vault = InstalledPasswordVault();
    if (vault && vault->Answers()) return vault;
    env.err << "bexora-cli: no keyring answers on the session bus (is one running and unlocked?)\n";
    return nullptr;
}

int ListSecrets(CCommandEnv& env, IPasswordVault& vault) {
    std::vector<IPasswordVault::Account> accounts;
    std::string why;
    if (!vault.Accounts(accounts, &why)) {
        env.err << "bexora-cli: " << why << "\n";
        return kFailed;
    }
    if (accounts.empty()) env.out << "No Bexora passwords in the keyring.\n";
    for (const auto& a : accounts) env.out << a.user << " at " << a.host << (a.locked ? " (locked)" : "") << "\n";
    return kOk;
}

// Moves the list's passwords (and the remembered account's) to where
// "Keep passwords in" now says, by saving both with that choice.
int MovePasswords(CCommandEnv& env, const std::string& list, PasswordPlace to) {
    IPasswordVault* vault = Keyring(env);
    if (!vault) return kFailed;
    CListLock lock;
    if (!TakeForWriting(env, lock, list)) return kFailed;
    const PasswordPlace before = ChosenPasswordPlace();
    CSettingsStore& store = Settings();
    // Read with the keyring still answering: the items' empty fields are
    // filled from it.
    CebayDoc doc;
    if (!doc.OnOpenDocument(list)) return kFailed;
    std::set<std::string> users, missing;
    int items = 0;
    for (const auto& item : doc.Items()) {
        if (item->m_strUserId.empty()) continue;
        users.insert(item->m_strUserId);
        if (item->m_strPassword.empty())
            missing.insert(item->m_strUserId);
        else
            ++items;
    }
    if (to == PasswordPlace::File && !missing.empty()) {
        // Written now, the file would hold no password for them.
        for (const std::string& user : missing) env.err << "bexora-cli: " << NoKeyringPasswordText(user) << "\n";
        return kFailed;
    }
    const std::string user = store.GetString(setting::UserId);
    const std::string remembered = RememberedPassword(user);
    if (!store.WriteString(setting::KeepPasswords, PasswordPlaceName(to))) {
        env.err << "bexora-cli: cannot write the settings: " << store.LastError() << "\n";
        return kFailed;
    }
    if (!remembered.empty()) RememberAccount(user, remembered);
    if (!doc.OnSaveDocument(list)) {
        store.WriteString(setting::KeepPasswords, PasswordPlaceName(before));
        return kFailed;
    }
    if (to == PasswordPlace::Keyring) {
        // What the keyring refused stays in the file.
        int kept = 0;
        for (const auto& item : doc.Items())
            if (!item->m_strPassword.empty() && vault->Holds(item->m_strUserId, item->m_strPassword)) ++kept;
        if (kept < items) {
            env.err << "bexora-cli: the keyring took " << kept << " of " << items
                    << " passwords; the others stay in " << list << "\n";
            return kFailed;
        }
        env.out << "The passwords of " << items << " items are in the keyring now (" << users.size()
                << " accounts at " << site::SignInHost() << ").\n";
    } else {
        env.out << "The passwords of " << items << " items are in " << list << " now.\n";
    }
    if (before != to)
        env.out << "Passwords are kept in " << (to == PasswordPlace::Keyring ? "the keyring" : "the list files")
                << " from now on (other lists move at their next save).\n";
    return kOk;
}

}  // namespace

int SecretsCommand(CCommandEnv& env, const Args& a) {
    if (a.empty()) return Usage("secrets needs list, forget, move-to-keyring or move-to-file");
    if (a[0] == "list") {
        if (a.size() != 1) return Usage("secrets list takes nothing more");
        IPasswordVault* vault = Keyring(env);
        return vault ? ListSecrets(env, *vault) : kFailed;
    }
    if (a[0] == "forget") {
        if (a.size() != 2) return Usage("secrets forget needs USER");
        IPasswordVault* vault = Keyring(env);
        if (!vault) return kFailed;
        std::string why;
        if (!vault->Forget(a[1], &why)) {
            env.err << "bexora-cli: " << why << "\n";
            return kFailed;
        }
        env.out << "The keyring keeps no password for " << a[1] << " at " << site::SignInHost() << ".\n";
        return kOk;
    }
    if (a[0] == "move-to-keyring" || a[0] == "move-to-file") {
        if (a.size() != 2) return Usage("secrets " + a[0] + " needs LIST.bid");
        if (!FileExists(a[1])) {
            env.err << "bexora-cli: " << a[1] << " does not exist\n";
            return kFailed;
        }
        return MovePasswords(env, a[1], a[0] == "move-to-file" ? PasswordPlace::File : PasswordPlace::Keyring);
    }
    return Usage("unknown secrets command \"" + a[0] + "\"");
}

}  // namespace bexora::cli
