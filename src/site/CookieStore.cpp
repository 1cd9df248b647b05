#include "site/CookieStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <map>

#include "base/AtomicFile.h"
#include "base/Settings.h"

namespace bexora {

namespace {

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// A Netscape line's expiry field (the fifth); 0 for a session cookie.
long long ExpiryOf(const std::string& line) {
    size_t pos = 0;
    for (int field = 0; field < 4; ++field) {
        pos = line.find('\t', pos);
        if (pos == std::string::npos) return 0;
        ++pos;
    }
    return std::atoll(line.c_str() + pos);
}

// Which cookie a line is: domain (without curl's HttpOnly mark), path
// and name. Another line with the same key replaces it.
std::string KeyOf(const std::string& line) {
    std::vector<std::string> f;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        f.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    if (f.size() < 6) return line;
    std::string domain = f[0];
    if (domain.rfind("#HttpOnly_", 0) == 0) domain.erase(0, 10);
    return domain + "\t" + f[2] + "\t" + f[5];
}

// The cookie lines of a jar's text, by key.
std::map<std::string, std::string> JarLines(const std::string& text) {
    std::map<std::string, std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || (line[0] == '#' && line.rfind("#HttpOnly_", 0) != 0)) continue;
        out[KeyOf(line)] = line;
    }
    return out;
}

// The line with its expiry set long past: curl drops the cookie it names.
std::string ExpiredLine(const std::string& line) {
    size_t pos = 0;
    for (int field = 0; field < 4; ++field) {
        pos = line.find('\t', pos);
        if (pos == std::string::npos) return line;
        ++pos;
    }
    size_t end = line.find('\t', pos);
    if (end == std::string::npos) return line;
    return line.substr(0, pos) + "1" + line.substr(end);
}

// The jar's own lock (beside it): every process that shares the jar
// merges and writes under it.
class CJarLock {
public:
    explicit CJarLock(const std::string& jar) {
        m_fd = open((jar + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd >= 0) flock(m_fd, LOCK_EX);
    }
    ~CJarLock() {
        if (m_fd >= 0) close(m_fd);
    }

private:
    int m_fd = -1;
};

}  // namespace

CCookieStore& CCookieStore::Instance() {
    // Never destroyed: easy handles of threads that end late still use it.
    static CCookieStore* store = new CCookieStore();
    return *store;
}

CCookieStore::CCookieStore() {
    GlobalInit();
    m_share = curl_share_init();
    curl_share_setopt(m_share, CURLSHOPT_LOCKFUNC, &CCookieStore::Lock);
    curl_share_setopt(m_share, CURLSHOPT_UNLOCKFUNC, &CCookieStore::Unlock);
    curl_share_setopt(m_share, CURLSHOPT_USERDATA, this);
    curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    m_admin = curl_easy_init();
    curl_easy_setopt(m_admin, CURLOPT_SHARE, m_share);
    curl_easy_setopt(m_admin, CURLOPT_COOKIEFILE, "");  // switches the cookie engine on
}

void CCookieStore::Lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
    static_cast<CCookieStore*>(self)->m_locks[data].lock();
}

void CCookieStore::Unlock(CURL*, curl_lock_data data, void* self) {
    static_cast<CCookieStore*>(self)->m_locks[data].unlock();
}

std::string CCookieStore::JarPath() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_jarPath.empty()) m_jarPath = UserDataDir() + "/cookies.txt";
    if (!m_jarLoaded) {
        m_jarLoaded = true;
        LoadJar(m_jarPath);
    }
    return m_jarPath;
}

void CCookieStore::SetJarPath(const std::string& path) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_jarPath = path;
    m_jarLoaded = true;
    LoadJar(path);
}

void CCookieStore::LoadJar(const std::string& path) {
    std::string text;
    if (!ReadWholeFile(path, text)) {
        m_savedText.clear();
        return;
    }
    m_savedText = text;
    // The jar holds the account's session: a jar others can read (copied
    // in, or left by an older version) is made private as it is read.
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && (st.st_mode & 077) != 0) chmod(path.c_str(), 0600);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // Comment lines start with '#', except curl's "#HttpOnly_" prefix.
        if (line.empty() || (line[0] == '#' && line.rfind("#HttpOnly_", 0) != 0)) continue;
        curl_easy_setopt(m_admin, CURLOPT_COOKIELIST, line.c_str());
    }
    for (auto& l : ListLocked()) m_known.insert(l);
}

std::vector<std::string> CCookieStore::ListLocked() {
    std::vector<std::string> out;
    struct curl_slist* list = nullptr;
    if (curl_easy_getinfo(m_admin, CURLINFO_COOKIELIST, &list) == CURLE_OK) {
        // curl drops an expired cookie only at its next change; a cookie
        // another process signed out of is gone from now on.
        const long long now = static_cast<long long>(time(nullptr));
        for (auto* p = list; p; p = p->next) {
            long long expiry = ExpiryOf(p->data);
            if (expiry == 0 || expiry > now) out.emplace_back(p->data);
        }
        curl_slist_free_all(list);
    }
    return out;
}

std::vector<std::string> CCookieStore::AllCookies() {
    JarPath();
    std::lock_guard<std::mutex> lock(m_mutex);
    return ListLocked();
}

void CCookieStore::AddCookie(const std::string& line) {
    JarPath();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        curl_easy_setopt(m_admin, CURLOPT_COOKIELIST, line.c_str());
        // A cookie handed in from outside is not news to pass back out.
        for (auto& l : ListLocked()) m_known.insert(l);
    }
    Save();
}

void CCookieStore::Clear() {
    JarPath();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        curl_easy_setopt(m_admin, CURLOPT_COOKIELIST, "ALL");
        m_known.clear();
    }
    Save();
}

void CCookieStore::SetListener(Listener listener) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_listener = std::move(listener);
}

void CCookieStore::NoteResponse() {
    JarPath();
    std::vector<std::string> fresh;
    Listener listener;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<std::string> now = ListLocked();
        std::set<std::string> nowSet(now.begin(), now.end());
        if (nowSet == m_known) return;
        for (auto& l : now)
            if (!m_known.count(l)) fresh.push_back(l);
        m_known = std::move(nowSet);
        listener = m_listener;
    }
    Save();
    if (listener)
        for (auto& l : fresh) listener(l);
}

// Other processes (the desktop program, bexora-cli) share the jar. A save
// merges: what this process changed since it last read or wrote the jar
// wins, everything else is taken from the jar as it is now (and taken in),
// so no process drops another's sign-in or brings back its sign-out.
bool CCookieStore::Save(std::string* error) {
    std::string path = JarPath();
    std::lock_guard<std::mutex> lock(m_mutex);
    MakeDirs(DirName(path), 0700);
    CJarLock jarLock(path);
    std::string diskText;
    ReadWholeFile(path, diskText);
    const std::map<std::string, std::string> base = JarLines(m_savedText);
    const std::map<std::string, std::string> theirs = JarLines(diskText);
    std::map<std::string, std::string> ours_;
    for (auto& l : ListLocked())
        if (ExpiryOf(l) != 0) ours_[KeyOf(l)] = l;
    const std::map<std::string, std::string>& ours = ours_;
    std::map<std::string, std::string> merged = ours;
    std::set<std::string> keys;
    for (auto* m : {&base, &theirs, &ours})
        for (auto& [k, l] : *m) keys.insert(k);
    for (const std::string& k : keys) {
        auto b = base.find(k), t = theirs.find(k), o = ours.find(k);
        const bool weChanged = (b == base.end()) != (o == ours.end()) ||
                               (b != base.end() && o != ours.end() && b->second != o->second);
        if (weChanged) continue;
        // Theirs stands: a cookie they set or changed comes in, one they
        // dropped goes.
        if (t != theirs.end()) {
            merged[k] = t->second;
            if (o == ours.end() || o->second != t->second)
                curl_easy_setopt(m_admin, CURLOPT_COOKIELIST, t->second.c_str());
        } else if (o != ours.end()) {
            merged.erase(k);
            curl_easy_setopt(m_admin, CURLOPT_COOKIELIST, ExpiredLine(o->second).c_str());
        }
    }
    std::string text = "# Netscape HTTP Cookie File\n# Bexora's cookies. Do not share this file.\n";
    for (auto& [k, l] : merged) text += l + "\n";
    if (text == diskText) {
        m_savedText = text;
        return true;
    }
    if (!AtomicWriteFile(path, text, 0600, error)) return false;
    m_savedText = text;
    return true;
}

}  // namespace bexora
