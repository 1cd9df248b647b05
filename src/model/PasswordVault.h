#pragma once
// Where account passwords are kept: the desktop's keyring (a Secret Service
// on the session bus) or, as ever, the list files and the settings file.
// This is the seam: the keyring itself lives with the other session
// services; the layers below only ask whether one is in use and what it
// holds. One entry per account (the sign-in host and the user ID), shared
// by every list and item that bids with it.

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace bexora {

class IPasswordVault {
public:
    enum class Found { Yes, No, Locked, Failed };
    struct Account {
        std::string host, user;
        bool locked = false;
    };

    virtual ~IPasswordVault() = default;
    // Whether a keyring answers on the session bus (one that answered once is
    // taken to stay; one that did not is asked again every few seconds).
    virtual bool Answers() = 0;
    // The password kept for this user at the current sign-in host.
    virtual Found Find(const std::string& user, std::string& password, std::string* why) = 0;
    virtual bool Keep(const std::string& user, const std::string& password, std::string* why) = 0;
    // True also when there was nothing to forget.
    virtual bool Forget(const std::string& user, std::string* why) = 0;
    virtual bool Accounts(std::vector<Account>& out, std::string* why) = 0;
    // Whether this very password is known to be in the keyring for the user
    // (kept or found by this process): no call to the keyring.
    virtual bool Holds(const std::string& user, const std::string& password) = 0;
};

// The program's keyring (installed once at start; none in a program or test
// that does not install one).
void InstallPasswordVault(std::unique_ptr<IPasswordVault> vault);
IPasswordVault* InstalledPasswordVault();

// The "Keep passwords in" setting.
enum class PasswordPlace { Keyring, File };
PasswordPlace ChosenPasswordPlace();
const char* PasswordPlaceName(PasswordPlace place);  // "keyring", "file"

// The keyring passwords go to now: installed, chosen, and answering. Null:
// the files hold them, exactly as before there was a keyring.
IPasswordVault* ActivePasswordVault();

// Said once a process, the first time it writes a password into a list
// file or the settings file (bexora-cli prints it): where passwords are kept
// and why.
void SetFilePasswordNotice(std::function<void(const std::string&)> notice);
void NoteFilePasswordWritten();

// The message a bid or its check gives when the keyring has no password
// for the user (or cannot say, being locked).
std::string NoKeyringPasswordText(const std::string& user);

// The remembered account of the bid dialog and the options sheet: the
// user ID in the settings, the password in the keyring when one is in use
// (a password the settings file still holds is used, and moves to the
// keyring at the next write), else Base64 in the settings file.
std::string RememberedPassword(const std::string& user);
// Writes the user ID and the password; false only when the settings file
// could not be written.
bool RememberAccount(const std::string& user, const std::string& password);

}  // namespace bexora
