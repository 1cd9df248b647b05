#pragma once
// Downloading one file of an update: an address to a file on disk, with
// progress reports that can stop the transfer. A download is complete or it
// fails: a transfer the server cuts short, an error answer (404, 500, ...)
// or a full disk all count as failures and leave no file behind.

#include <cstdint>
#include <string>

namespace bexora {

class IDownloadCallback {
public:
    virtual ~IDownloadCallback() = default;
    // Bytes received so far and the size the server announced (0 when it
    // announced none). Called on the downloading thread, also while
    // connecting. Returning false cancels the download.
    virtual bool OnProgress(uint64_t done, uint64_t expected) = 0;
};

// Status codes of DownloadToFile: 0 is success, every failure is negative.
// -1 .. -999: the curl error of that number (kDownloadAborted = cancelled);
// -1000 - S: the server answered with HTTP status S;
// -2000 - E: the local file could not be written (errno E);
// kDownloadShort: fewer bytes arrived than the server announced.
constexpr int kDownloadAborted = -42;  // CURLE_ABORTED_BY_CALLBACK
constexpr int kDownloadShort = -3000;
// The address, or a redirect on the way, is not https.
constexpr int kDownloadNotHttps = -3001;
// The server sends (or announces) more than the file may hold.
constexpr int kDownloadTooLarge = -3002;

// Downloads url (https only, redirects followed, each of them https too)
// into path, which is replaced. On failure path does not exist afterwards.
// maxBytes > 0: the file holds at most that many bytes; a server that
// announces or sends more is stopped there (kDownloadTooLarge), before it
// fills the disk.
int DownloadToFile(const std::string& url, const std::string& path, IDownloadCallback* callback,
                   uint64_t maxBytes = 0);

// The same into memory, at most maxBytes (more is a failure); text is empty
// after a failure.
int DownloadToString(const std::string& url, std::string& text, size_t maxBytes);

// True for an address that starts with "https://" (in any letter case).
bool IsHttpsUrl(const std::string& url);

// A short text for a status code, or "No message available." for one that
// has none.
std::string DownloadStatusText(int code);

// A byte count as a short text: "532 bytes", "1.21 KB", "12.3 MB", "123 GB".
std::string ShortSizeText(uint64_t bytes);

}  // namespace bexora
