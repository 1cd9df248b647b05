#pragma once
// The one cookie store of the process. All page fetches of every thread keep
// and send their cookies here (a curl share with its cookie engine), so a
// sign-in made by the bid worker is valid for the item refreshes and the
// other way round. Persistent cookies are kept across runs in a cookie-jar
// file (Netscape format, mode 0600) in the user's data folder; session
// cookies end with the process, as in a browser.

#include <curl/curl.h>

#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace bexora {

class CCookieStore {
public:
    static CCookieStore& Instance();

    // The share every easy handle of the fetch layer attaches to.
    CURLSH* Share() const { return m_share; }

    // The cookie-jar file; UserDataDir()/cookies.txt unless set. Setting it
    // loads that file's cookies (in addition to those already held).
    std::string JarPath();
    void SetJarPath(const std::string& path);

    // Every cookie held, as Netscape cookie-file lines
    // (domain, tailmatch, path, secure, expires, name, value; tab-separated).
    std::vector<std::string> AllCookies();
    // Adds or replaces a cookie, given as a Netscape line or as a
    // "Set-Cookie: ..." header line.
    void AddCookie(const std::string& line);
    // Drops every cookie (and, with the jar, the persisted ones on next save).
    void Clear();

    // Called after each fetch: writes the jar when the persistent cookies
    // changed and tells the listener about cookies that are new or changed.
    void NoteResponse();
    // Writes the jar now. False when it could not be written.
    bool Save(std::string* error = nullptr);

    // Told of each cookie the fetch layer received that was not there before
    // (a Netscape line); used to hand them on to the browser pane's store.
    using Listener = std::function<void(const std::string& line)>;
    void SetListener(Listener listener);

private:
    CCookieStore();
    void LoadJar(const std::string& path);
    std::vector<std::string> ListLocked();

    CURLSH* m_share = nullptr;
    CURL* m_admin = nullptr;  // easy handle on the share for listing and adding
    std::mutex m_mutex;       // guards m_admin, the jar path and the snapshots
    std::mutex m_locks[CURL_LOCK_DATA_LAST];
    std::string m_jarPath;
    bool m_jarLoaded = false;
    std::set<std::string> m_known;  // every cookie line seen at the last check
    std::string m_savedText;        // what the jar file holds
    Listener m_listener;

    static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* self);
    static void Unlock(CURL*, curl_lock_data data, void* self);
};

}  // namespace bexora
