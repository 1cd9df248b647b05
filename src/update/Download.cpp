#include "update/Download.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "site/PageFetch.h"

namespace bexora {

namespace {

struct Target {
    int fd = -1;
    std::string* text = nullptr;  // instead of fd
    size_t maxText = 0;
    uint64_t maxFile = 0;  // 0: no limit
    uint64_t written = 0;
    bool tooLarge = false;
    int writeErrno = 0;
    IDownloadCallback* callback = nullptr;
};

size_t OnData(char* data, size_t size, size_t n, void* user) {
    auto* t = static_cast<Target*>(user);
    size_t len = size * n;
    if (t->text) {
        if (t->text->size() + len > t->maxText) {
            t->writeErrno = EFBIG;
            return 0;
        }
        t->text->append(data, len);
        return len;
    }
    if (t->maxFile > 0 && (len > t->maxFile || t->written > t->maxFile - len)) {
        t->tooLarge = true;
        return 0;
    }
    t->written += len;
    size_t done = 0;
    while (done < len) {
        ssize_t w = write(t->fd, data + done, len - done);
        if (w < 0) {
            if (errno == EINTR) continue;
            t->writeErrno = errno;
            return 0;  // ends the transfer with a write error
        }
        done += static_cast<size_t>(w);
    }
    return len;
}

int OnProgress(void* user, curl_off_t dltotal, curl_off_t dlnow, curl_off_t, curl_off_t) {
    auto* t = static_cast<Target*>(user);
    // The thread is stopping (the window closes during a check): given up
    // now rather than after the time-outs.
    if (FetchAborted()) return 1;
    // Announced larger than it may be: stopped before a byte of it is kept.
    if (t->maxFile > 0 && dltotal > 0 && static_cast<uint64_t>(dltotal) > t->maxFile) {
        t->tooLarge = true;
        return 1;
    }
    if (!t->callback) return 0;
    uint64_t done = dlnow > 0 ? static_cast<uint64_t>(dlnow) : 0;
    uint64_t total = dltotal > 0 ? static_cast<uint64_t>(dltotal) : 0;
    return t->callback->OnProgress(done, total) ? 0 : 1;
}

int Perform(CURL* curl, const std::string& url, Target& t) {
    const FetchLimits lim = GetFetchLimits();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Mozilla/4.0");
    // Program files come over TLS only, redirects included: whoever could
    // answer a plain-http request could otherwise run code as the user.
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, static_cast<long>(lim.maxRedirects));
    // A 404 page must never take the place of a program file.
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, lim.connectTimeoutMs);
    // No limit on the whole download (files can be large on a slow line),
    // but a server that stops sending ends it.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, std::max(1L, (lim.stallTimeoutMs + 999) / 1000));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &OnData);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);
    ApplyTlsOptions(curl);

    CURLcode rc = curl_easy_perform(curl);
    if (t.tooLarge) {
        // An error answer's page may be what was announced as too large.
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        return status >= 400 ? -1000 - static_cast<int>(status) : kDownloadTooLarge;
    }
    if (t.writeErrno) return -2000 - t.writeErrno;
    if (rc == CURLE_HTTP_RETURNED_ERROR) {
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        return -1000 - static_cast<int>(status);
    }
    if (rc == CURLE_UNSUPPORTED_PROTOCOL) return kDownloadNotHttps;
    if (rc != CURLE_OK) return -static_cast<int>(rc);
    // curl notices a connection closed before the announced length; this
    // also covers a server that announces one length and sends more.
    curl_off_t announced = -1, got = 0;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    curl_easy_getinfo(curl, CURLINFO_SIZE_DOWNLOAD_T, &got);
    if (announced >= 0 && got != announced) return kDownloadShort;
    return 0;
}

}  // namespace

int DownloadToFile(const std::string& url, const std::string& path, IDownloadCallback* callback,
                   uint64_t maxBytes) {
    // A fresh file: whatever stood under the name (a symbolic link too) goes.
    unlink(path.c_str());
    Target t;
    t.callback = callback;
    t.maxFile = maxBytes;
    t.fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (t.fd < 0) return -2000 - errno;

    CURL* curl = curl_easy_init();
    int code = curl ? Perform(curl, url, t) : -static_cast<int>(CURLE_FAILED_INIT);
    if (curl) curl_easy_cleanup(curl);
    // The file must be on disk before it is renamed over a program file.
    if (code == 0 && fsync(t.fd) != 0) code = -2000 - errno;
    if (close(t.fd) != 0 && code == 0) code = -2000 - errno;
    if (code != 0) unlink(path.c_str());
    return code;
}

int DownloadToString(const std::string& url, std::string& text, size_t maxBytes) {
    text.clear();
    Target t;
    t.text = &text;
    t.maxText = maxBytes;
    CURL* curl = curl_easy_init();
    int code = curl ? Perform(curl, url, t) : -static_cast<int>(CURLE_FAILED_INIT);
    if (curl) curl_easy_cleanup(curl);
    if (code != 0) text.clear();
    return code;
}

bool IsHttpsUrl(const std::string& url) {
    return url.size() > 8 && strncasecmp(url.c_str(), "https://", 8) == 0;
}

std::string DownloadStatusText(int code) {
    if (code >= 0) return "No message available.";
    if (code == kDownloadAborted) return "The download was cancelled.";
    if (code == kDownloadNotHttps)
        return "The update site sent the program to an address that is not https; nothing was "
               "downloaded from it.";
    if (code == kDownloadShort) return "The server ended the file before all of it had arrived.";
    if (code == kDownloadTooLarge)
        return "The server sent a larger file than the update names; the download was stopped.";
    if (code <= -2000 && code > -3000) return std::string("Cannot write the file: ") + std::strerror(-2000 - code);
    if (code <= -1000 && code > -2000)
        return "The server answered with status " + std::to_string(-1000 - code) + ".";
    if (code > -1000) {
        // curl's own text, as the system gave one for each of its codes.
        const char* text = curl_easy_strerror(static_cast<CURLcode>(-code));
        if (text && std::strncmp(text, "Unknown error", 13) != 0) return text;
    }
    return "No message available.";
}

std::string ShortSizeText(uint64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + " bytes";
    static const char* const units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    double v = static_cast<double>(bytes) / 1024.0;
    size_t u = 0;
    while (v >= 1024.0 && u + 1 < std::size(units)) {
        v /= 1024.0;
        ++u;
    }
    // Three significant figures, cut rather than rounded (never "1024 KB").
    char buf[32];
    if (v < 10)
        std::snprintf(buf, sizeof buf, "%.2f %s", std::floor(v * 100) / 100, units[u]);
    else if (v < 100)
        std::snprintf(buf, sizeof buf, "%.1f %s", std::floor(v * 10) / 10, units[u]);
    else
        std::snprintf(buf, sizeof buf, "%.0f %s", std::floor(v), units[u]);
    return buf;
}

}  // namespace bexora
