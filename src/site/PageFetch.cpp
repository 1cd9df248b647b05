#include "site/PageFetch.h"

#include <curl/curl.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <optional>

#include "base/AtomicFile.h"
#include "base/Settings.h"
#include "site/CookieStore.h"
#include "text/TextTools.h"

namespace bexora {

namespace {

std::mutex g_limitsMutex;
FetchLimits g_limits;
thread_local const std::atomic<bool>* t_abortFlag = nullptr;

// The header block every request carries. Accept-Encoding is set through
// CURLOPT_ACCEPT_ENCODING so that curl also decodes the body.
const char* const kHeaderBlock[] = {
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/vnd.ms-excel, "
    "application/msword, application/vnd.ms-powerpoint, */*",
    "Accept-Language: en-us",
};
const char kAcceptEncoding[] = "gzip, deflate";
const char kUserAgent[] = "Mozilla/4.0";

// The system's CA bundle and folder: curl's own defaults, read once, unless
// a test has named others.
struct CaDefaults {
    std::string file, path;
};
CaDefaults ReadCaDefaults() {
    CaDefaults d;
    CURL* probe = curl_easy_init();
    char* value = nullptr;
    if (curl_easy_getinfo(probe, CURLINFO_CAINFO, &value) == CURLE_OK && value) d.file = value;
    value = nullptr;
    if (curl_easy_getinfo(probe, CURLINFO_CAPATH, &value) == CURLE_OK && value) d.path = value;
    curl_easy_cleanup(probe);
    return d;
}
std::mutex g_caMutex;
std::optional<CaDefaults> g_caDefaults;
std::atomic<unsigned> g_caGeneration{0};

CaDefaults SystemCa() {
    std::lock_guard<std::mutex> lock(g_caMutex);
    if (!g_caDefaults) g_caDefaults = ReadCaDefaults();
    return *g_caDefaults;
}

// The system's bundle followed by the extra CA file, as one PEM text. curl
// takes it in place of the bundle file (the system's folder stays), and
// compares it when it reuses a connection or a TLS session, so nothing
// verified under one CA file is taken for verified under another.
std::string TrustedPem(const std::string& systemFile, const std::string& caFile) {
    std::string pem, extra;
    if (!systemFile.empty() && ReadRegularFile(systemFile, pem, 64u << 20)) pem += "\n";
    else pem.clear();
    if (ReadRegularFile(caFile, extra, 16u << 20)) pem += extra;
    return pem;
}

// The system's certificates are always trusted; an extra CA file (a local
// site's certificate) is added to them, never put in their place: systems
// that keep only a bundle file would otherwise lose every public CA.
void SetCaOptions(CURL* curl, const std::string& caFile) {
    const CaDefaults defaults = SystemCa();
    curl_easy_setopt(curl, CURLOPT_CAPATH, defaults.path.empty() ? nullptr : defaults.path.c_str());
    if (caFile.empty()) {
        curl_easy_setopt(curl, CURLOPT_CAINFO_BLOB, nullptr);
        curl_easy_setopt(curl, CURLOPT_CAINFO,
                         defaults.file.empty() ? nullptr : defaults.file.c_str());
        curl_easy_setopt(curl, CURLOPT_CA_CACHE_TIMEOUT, 86400L);  // curl's default
        return;
    }
    std::string pem = TrustedPem(defaults.file, caFile);
    if (pem.empty()) {
        // An unreadable CA file fails every TLS connection, as before: the
        // user named it and would otherwise never learn it is missing.
        curl_easy_setopt(curl, CURLOPT_CAINFO_BLOB, nullptr);
        curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.c_str());
        return;
    }
    curl_blob blob{pem.data(), pem.size(), CURL_BLOB_COPY};
    curl_easy_setopt(curl, CURLOPT_CAINFO_BLOB, &blob);
    // A store built from one handle's blob is not for the others.
    curl_easy_setopt(curl, CURLOPT_CA_CACHE_TIMEOUT, 0L);
}

// What identifies the CA file's content: a site that starts again writes
// a new certificate under the same name.
std::string CaFileStamp(const std::string& caFile) {
    struct stat st {};
    if (caFile.empty() || stat(caFile.c_str(), &st) != 0) return caFile;
    return caFile + "\n" + std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) + ":" +
           std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
}

// One easy handle per thread: curl keeps the thread's connections and TLS
// sessions alive in it between fetches.
struct ThreadHandle {
    CURL* curl = nullptr;
    curl_slist* headers = nullptr;
    curl_slist* freshHeaders = nullptr;  // the same, asking caches for a fresh copy
    std::string caFile;  // the extra CA file the handle was set up with
    ThreadHandle() {
        CCookieStore::Instance().JarPath();  // loads the persisted cookies first
        curl = curl_easy_init();
        for (const char* h : kHeaderBlock) headers = curl_slist_append(headers, h);
        for (const char* h : kHeaderBlock) freshHeaders = curl_slist_append(freshHeaders, h);
        freshHeaders = curl_slist_append(freshHeaders, "Cache-Control: no-cache");
        freshHeaders = curl_slist_append(freshHeaders, "Pragma: no-cache");
        SetUp();
    }
    void SetUp() {
        curl_easy_setopt(curl, CURLOPT_SHARE, CCookieStore::Instance().Share());
        curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");  // the cookie engine on
        ApplyCa();
    }
    // The CA file is read from the settings on every fetch. An extra file is
    // trusted besides the system's certificates.
    void UseCaFile(const std::string& ca) {
        std::string stamp = CaFileStamp(ca);
        if (ca == caFile && stamp == caStamp && caGeneration == g_caGeneration.load()) return;
        caFile = ca;
        ApplyCa();
    }
    void ApplyCa() {
        caGeneration = g_caGeneration.load();
        caStamp = CaFileStamp(caFile);
        SetCaOptions(curl, caFile);
    }
    unsigned caGeneration = 0;
    std::string caStamp;
    ~ThreadHandle() {
        curl_easy_cleanup(curl);
        curl_slist_free_all(headers);
        curl_slist_free_all(freshHeaders);
    }
    void Renew() {
        curl_easy_cleanup(curl);
        curl = curl_easy_init();
        SetUp();
    }
};



enum class Stage { First, AfterRedirect };

struct Transfer {
    std::string* page = nullptr;
    std::string headers;  // raw header lines of the current answer
    Stage stage = Stage::First;
    CURL* curl = nullptr;
    size_t appended = 0;
    size_t maxBody = 0;
    bool keepBody = false;
    bool decided = false;
};

size_t OnHeader(char* data, size_t size, size_t n, void* user) {
    auto* t = static_cast<Transfer*>(user);
    size_t len = size * n;
    std::string_view line(data, len);
    // A new status line starts the headers of a new answer (a 100 Continue
    // or a proxy's answer comes before the real one).
    if (line.rfind("HTTP/", 0) == 0) t->headers.clear();
    t->headers.append(data, len);
    return len;
}

bool BodyWanted(long status, Stage stage) {
    if (stage == Stage::First) return status != 401 && status != 301 && status != 302 && status != 303;
    return status == 200;
}

size_t OnBody(char* data, size_t size, size_t n, void* user) {
    auto* t = static_cast<Transfer*>(user);
    size_t len = size * n;
    if (!t->decided) {
        long status = 0;
        curl_easy_getinfo(t->curl, CURLINFO_RESPONSE_CODE, &status);
        t->keepBody = BodyWanted(status, t->stage);
        t->decided = true;
    }
    if (!t->keepBody) return len;  // a redirect's or refusal's own body is dropped
    if (t->appended + len > t->maxBody) {
        size_t room = t->maxBody - t->appended;
        t->page->append(data, room);
        t->appended += room;
        return 0;  // ends the transfer as an error: the page is cut here
    }
    t->page->append(data, len);
    t->appended += len;
    return len;
}

int OnProgress(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return t_abortFlag && t_abortFlag->load() ? 1 : 0;
}

// The value of the first "location: " header, else of the first
// "Location: "; false when there is neither.
bool FindLocation(const std::string& headers, std::string& target) {
    size_t pos = headers.find("location: ");
    if (pos == std::string::npos) pos = headers.find("Location: ");
    if (pos == std::string::npos) return false;
    pos += 10;
    size_t end = headers.find_first_of("\r\n", pos);
    target = headers.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    return true;
}

// A relative location is resolved against the address that answered.
std::string ResolveLocation(const std::string& base, const std::string& target) {
    if (target.find("://") != std::string::npos) return target;
    CURLU* u = curl_url();
    std::string out;
    if (curl_url_set(u, CURLUPART_URL, base.c_str(), 0) == CURLUE_OK &&
        curl_url_set(u, CURLUPART_URL, target.c_str(), 0) == CURLUE_OK) {
        char* s = nullptr;
        if (curl_url_get(u, CURLUPART_URL, &s, 0) == CURLUE_OK) {
            out = s;
            curl_free(s);
        }
    }
    curl_url_cleanup(u);
    return out;
}

void SetRequestOptions(CURL* curl, const std::string& url, Transfer& t, const FetchLimits& lim,
                       curl_slist* headers) {
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, kAcceptEncoding);
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);  // redirects follow our rules
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, lim.connectTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, lim.totalTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, std::max(1L, (lim.stallTimeoutMs + 999) / 1000));
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    // Certificates are always verified; a CA file from the settings (a local
    // site's own certificate) is trusted besides the system's (ThreadHandle).
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
}

}  // namespace

FetchLimits GetFetchLimits() {
    std::lock_guard<std::mutex> lock(g_limitsMutex);
    return g_limits;
}

void SetFetchLimits(const FetchLimits& limits) {
    std::lock_guard<std::mutex> lock(g_limitsMutex);
    g_limits = limits;
}

void SetFetchAbortFlag(const std::atomic<bool>* flag) { t_abortFlag = flag; }

bool FetchAborted() { return t_abortFlag && t_abortFlag->load(); }

void SetSystemCaLocations(const std::string& file, const std::string& path) {
    {
        std::lock_guard<std::mutex> lock(g_caMutex);
        if (file.empty() && path.empty())
            g_caDefaults.reset();
        else
            g_caDefaults = CaDefaults{file, path};
    }
    ++g_caGeneration;
}

void ApplyTlsOptions(void* curlEasyHandle) {
    CURL* curl = static_cast<CURL*>(curlEasyHandle);
    SetCaOptions(curl, Settings().GetString(setting::SiteCaFile));
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
}

bool SplitAddress(const std::string& url, std::string* scheme, std::string* host, int* port,
                  std::string* object) {
    if (url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0) return false;
    CURLU* u = curl_url();
    bool ok = curl_url_set(u, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK;
    auto part = [&](CURLUPart what, std::string* out, unsigned flags = 0) {
        char* s = nullptr;
        bool got = curl_url_get(u, what, &s, flags) == CURLUE_OK;
        if (got && out) *out = s;
        if (s) curl_free(s);
        return got;
    };
    std::string h, p;
    ok = ok && part(CURLUPART_HOST, &h) && !h.empty();
    if (ok) {
        if (host) *host = h;
        part(CURLUPART_SCHEME, scheme);
        if (port) {
            part(CURLUPART_PORT, &p, CURLU_DEFAULT_PORT);
            *port = std::atoi(p.c_str());
        }
        if (object) {
            std::string path, query;
            part(CURLUPART_PATH, &path);
            if (part(CURLUPART_QUERY, &query)) path += "?" + query;
            *object = path;
        }
    }
    curl_url_cleanup(u);
    return ok;
}

static ThreadHandle& HandleOfThisThread() {
    thread_local ThreadHandle handle;
    return handle;
}

void CloseThreadConnections() { HandleOfThisThread().Renew(); }

std::string FetchPage(const std::string& url, std::string& page, FetchFresh fresh) {
    if (!SplitAddress(url)) return "";
    const FetchLimits lim = GetFetchLimits();
    ThreadHandle& handle = HandleOfThisThread();
    handle.UseCaFile(Settings().GetString(setting::SiteCaFile));
    CURL* curl = handle.curl;

    Transfer t;
    t.page = &page;
    t.curl = curl;
    t.maxBody = lim.maxBodyBytes;
    const size_t before = page.size();
    std::string current = url;
    int redirects = 0;

    // The total time-out covers the redirect chain as a whole: each hop of
    // a slow redirecting site gets only what is left of it.
    using SteadyClock = std::chrono::steady_clock;
    const SteadyClock::time_point deadline =
        SteadyClock::now() + std::chrono::milliseconds(lim.totalTimeoutMs);

    for (;;) {
        t.headers.clear();
        t.decided = false;
        t.keepBody = false;
        FetchLimits hop = lim;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - SteadyClock::now())
                              .count();
        if (left <= 0) return url;  // timed out between hops: a network error
        hop.totalTimeoutMs = static_cast<long>(left);
        SetRequestOptions(curl, current, t, hop,
                          fresh == FetchFresh::Yes ? handle.freshHeaders : handle.headers);
        CURLcode rc = curl_easy_perform(curl);
        CCookieStore::Instance().NoteResponse();
        if (rc != CURLE_OK) {
            // Network error: the address asked for, with whatever arrived.
            return url;
        }
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        if (t.stage == Stage::First) {
            if (status == 401) return "";
            if (status != 301 && status != 302 && status != 303) return url;
        } else {
            if (status == 200) return url;
            if (status != 302) {
                page.resize(before);
                return "";
            }
        }
        // Follow the redirect.
        std::string target;
        if (!FindLocation(t.headers, target)) return "";
        target = ResolveLocation(current, target);
        if (target.empty() || !SplitAddress(target)) return "";
        if (++redirects > lim.maxRedirects) return "";
        current = target;
        t.stage = Stage::AfterRedirect;
    }
}

std::string ResultPagesDir() {
    return UserDataDir() + "/pages";
}

bool KeepResultPage(const std::string& page, const std::string& name) {
    // The site's answers to a signed-in user: nobody else may read them.
    const std::string dir = ResultPagesDir();
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) {
        std::filesystem::create_directories(dir, ec);
        chmod(dir.c_str(), 0700);
    }
    return WriteTextFile(page, dir + "/" + name, 0600);
}

}  // namespace bexora
