#include "session/SecretStore.h"

#include <libsecret/secret.h>
#include <systemd/sd-bus.h>

#include <cctype>
#include <condition_variable>
#include <thread>

#include "site/SiteEndpoints.h"

namespace bexora {

namespace {

// Each keyring call gets this long; then it is cancelled.
constexpr auto kCallLimit = std::chrono::milliseconds(3000);
// Whether the keyring runs is asked again after this long.
constexpr auto kAskAgain = std::chrono::seconds(10);
constexpr uint64_t kNameCheckUsec = 1500 * 1000;
constexpr auto kAskAgainAfterRefusal = std::chrono::seconds(60);

const SecretSchema* Schema() {
    static const SecretSchema schema = {
        "com.halvane.Bexora.Password",
        SECRET_SCHEMA_NONE,
        {
            {"host", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
        },
        0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    return &schema;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A cancellable that cancels itself when the call outlasts kCallLimit.
class Deadline {
public:
    Deadline() : m_cancel(g_cancellable_new()) {
        m_watch = std::thread([this] {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (!m_cv.wait_for(lock, kCallLimit, [this] { return m_done; })) {
                m_expired = true;
                g_cancellable_cancel(m_cancel);
            }
        });
    }
    ~Deadline() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_cv.notify_all();
        m_watch.join();
        g_object_unref(m_cancel);
    }
    GCancellable* Get() const { return m_cancel; }
    bool Expired() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_expired;
    }

private:
    GCancellable* m_cancel;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_done = false, m_expired = false;
    std::thread m_watch;
};

// The error's text for the user, and frees it.
void Take(GError* error, Deadline& deadline, std::string* why) {
    if (why) {
        if (deadline.Expired())
            *why = "the keyring did not answer within 3 seconds";
        else
            *why = error ? std::string("the keyring: ") + error->message : "the keyring refused";
    }
    if (error) g_error_free(error);
}

// A Secret Service is running on the session bus (asked without starting
// one: a bus may start a keyring nobody unlocks).
bool SecretServiceRuns() {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) return false;
    sd_bus_set_method_call_timeout(bus, kNameCheckUsec);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int owned = 0;
    if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "NameHasOwner", &error, &reply, "s", "org.freedesktop.secrets") >= 0)
        sd_bus_message_read(reply, "b", &owned);
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    sd_bus_flush_close_unref(bus);
    return owned != 0;
}

std::string Key(const std::string& host, const std::string& user) { return host + "\n" + Lower(user); }

}  // namespace

std::string CSecretStore::Label(const std::string& host, const std::string& user) {
    return "Bexora: " + user + " at " + host;
}

bool CSecretStore::Answers() {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto now = std::chrono::steady_clock::now();
    // A keyring that answered is taken to stay (a call that fails says so
    // then); one that did not is asked again now and then, as a desktop's
    // keyring may start after the program.
    if (!m_asked || (!m_answers && now - m_askedAt >= kAskAgain)) {
        m_answers = SecretServiceRuns();
        m_asked = true;
        m_askedAt = now;
    }
    return m_answers;
}

IPasswordVault::Found CSecretStore::Find(const std::string& user, std::string& password, std::string* why) {
    const std::string host = site::SignInHost();
    std::lock_guard<std::mutex> lock(m_mutex);
    Deadline deadline;
    GError* error = nullptr;
    GHashTable* attributes = secret_attributes_build(Schema(), "host", host.c_str(), "user", Lower(user).c_str(), nullptr);
    GList* items = secret_service_search_sync(
        nullptr, Schema(), attributes,
        static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS), deadline.Get(), &error);
    g_hash_table_unref(attributes);
    if (error) {
        Take(error, deadline, why);
        return Found::Failed;
    }
    Found found = Found::No;
    for (GList* l = items; l; l = l->next) {
        SecretItem* item = SECRET_ITEM(l->data);
        if (secret_item_get_locked(item)) {
            if (found == Found::No) found = Found::Locked;
            continue;
        }
        SecretValue* value = secret_item_get_secret(item);
        if (!value) continue;
        password = secret_value_get_text(value) ? secret_value_get_text(value) : "";
        secret_value_unref(value);
        found = Found::Yes;
        break;
    }
    g_list_free_full(items, g_object_unref);
    if (found == Found::Yes)
        m_known[Key(host, user)] = password;
    else if (why)
        *why = found == Found::Locked ? "the keyring is locked" : "no entry for " + user + " at " + host;
    return found;
}

bool CSecretStore::Keep(const std::string& user, const std::string& password, std::string* why) {
    const std::string host = site::SignInHost();
    std::lock_guard<std::mutex> lock(m_mutex);
    // A keyring that refused (locked: on a desktop it may show an unlock
    // prompt) is not asked again at every save of the list.
    const auto now = std::chrono::steady_clock::now();
    auto refused = m_refused.find(Key(host, user));
    if (refused != m_refused.end() && now - refused->second < kAskAgainAfterRefusal) {
        if (why) *why = "the keyring refused a moment ago";
        return false;
    }
    Deadline deadline;
    GError* error = nullptr;
    const std::string label = Label(host, user);
    const gboolean ok = secret_password_store_sync(Schema(), SECRET_COLLECTION_DEFAULT, label.c_str(),
                                                   password.c_str(), deadline.Get(), &error, "host",
                                                   host.c_str(), "user", Lower(user).c_str(), nullptr);
    if (!ok || error) {
        Take(error, deadline, why);
        m_refused[Key(host, user)] = now;
        return false;
    }
    m_refused.erase(Key(host, user));
    m_known[Key(host, user)] = password;
    return true;
}

bool CSecretStore::Forget(const std::string& user, std::string* why) {
    const std::string host = site::SignInHost();
    std::lock_guard<std::mutex> lock(m_mutex);
    Deadline deadline;
    GError* error = nullptr;
    secret_password_clear_sync(Schema(), deadline.Get(), &error, "host", host.c_str(), "user",
                               Lower(user).c_str(), nullptr);
    m_known.erase(Key(host, user));
    if (error) {
        Take(error, deadline, why);
        return false;
    }
    return true;
}

bool CSecretStore::Accounts(std::vector<Account>& out, std::string* why) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Deadline deadline;
    GError* error = nullptr;
    GHashTable* attributes = secret_attributes_build(Schema(), nullptr);
    GList* items = secret_service_search_sync(nullptr, Schema(), attributes, SECRET_SEARCH_ALL, deadline.Get(), &error);
    g_hash_table_unref(attributes);
    if (error) {
        Take(error, deadline, why);
        return false;
    }
    for (GList* l = items; l; l = l->next) {
        SecretItem* item = SECRET_ITEM(l->data);
        GHashTable* attrs = secret_item_get_attributes(item);
        Account a;
        if (auto* h = static_cast<const char*>(g_hash_table_lookup(attrs, "host"))) a.host = h;
        if (auto* u = static_cast<const char*>(g_hash_table_lookup(attrs, "user"))) a.user = u;
        a.locked = secret_item_get_locked(item);
        g_hash_table_unref(attrs);
        out.push_back(a);
    }
    g_list_free_full(items, g_object_unref);
    return true;
}

bool CSecretStore::Holds(const std::string& user, const std::string& password) {
    const std::string host = site::SignInHost();
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_known.find(Key(host, user));
    return it != m_known.end() && it->second == password;
}

void InstallSecretStore() { InstallPasswordVault(std::make_unique<CSecretStore>()); }

}  // namespace bexora
