#pragma once
// The desktop's keyring through the Secret Service (GNOME Keyring, KWallet,
// KeePassXC), with libsecret's synchronous calls, each cut off after a few
// seconds: a keyring that hangs costs a bid or a save that long, never the
// program. Locked items are reported as locked, never unlocked from here (an
// unlock prompt would hang a headless runner). An account's entry is filed
// under the sign-in host and the user ID (in lower case: the site takes
// user IDs in any case) and labelled "Bexora: alice at signin.example".

#include <chrono>
#include <map>
#include <mutex>
#include <string>

#include "model/PasswordVault.h"

namespace bexora {

class CSecretStore : public IPasswordVault {
public:
    bool Answers() override;
    Found Find(const std::string& user, std::string& password, std::string* why) override;
    bool Keep(const std::string& user, const std::string& password, std::string* why) override;
    bool Forget(const std::string& user, std::string* why) override;
    bool Accounts(std::vector<Account>& out, std::string* why) override;
    bool Holds(const std::string& user, const std::string& password) override;

    static std::string Label(const std::string& host, const std::string& user);

private:
    std::mutex m_mutex;  // one keyring call at a time
    std::chrono::steady_clock::time_point m_askedAt{};
    bool m_asked = false;
    bool m_answers = false;
    std::map<std::string, std::string> m_known;  // host "\n" user -> password
    std::map<std::string, std::chrono::steady_clock::time_point> m_refused;  // when Keep last failed
};

// Installs the keyring for this process (the program and bexora-cli call it
// at start).
void InstallSecretStore();

}  // namespace bexora
