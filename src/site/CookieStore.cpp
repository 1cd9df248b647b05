#include "site/CookieStore.h"

#include <sys/stat.h>

#include <cstdlib>

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
        for (auto* p = list; p; p = p->next) out.emplace_back(p->data);
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

bool CCookieStore::Save(std::string* error) {
    std::string path = JarPath();
    std::lock_guard<std::mutex> lock(m_mutex);
    std::string text = "# Netscape HTTP Cookie File\n# Bexora's cookies. Do not share this file.\n";
    for (auto& l : ListLocked())
        if (ExpiryOf(l) != 0) text += l + "\n";
    if (text == m_savedText) return true;
    MakeDirs(DirName(path), 0700);
    if (!AtomicWriteFile(path, text, 0600, error)) return false;
    m_savedText = text;
    return true;
}

}  // namespace bexora
