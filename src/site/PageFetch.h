#pragma once
// FetchPage: one GET of an http or https address, following the site's
// redirects by our own rules, with the body appended to the caller's text.
// All threads share one cookie store (CookieStore.h); each thread keeps its
// own connection, so a refresh worker fetching item after item reuses its
// connection and TLS session.

#include <atomic>
#include <string>

namespace bexora {

// Appends the body of url to page. Returns url when a body was read (whatever
// its status) and after a network error (page then holds what arrived);
// returns "" and leaves page as it was when the address is not http/https,
// the first answer is 401, a redirect has no location or leads off http/https,
// an answer after a redirect is neither 200 nor 302, or there are more than
// FetchLimits::maxRedirects redirects in a row.
// FetchFresh::Yes asks every cache on the way for a fresh answer (the time
// page).
enum class FetchFresh { No, Yes };

// Where the site's pages are kept for the user to look at or send in (the
// latest bid conversation, a page that was not recognised): "pages" in the
// program's data folder, private to the user, whichever folder the program
// was started from.
std::string ResultPagesDir();
// Writes page there as name (mode 0600, the folder 0700); false when it
// could not (inspection copies only: a bid goes on without them).
bool KeepResultPage(const std::string& page, const std::string& name);
std::string FetchPage(const std::string& url, std::string& page, FetchFresh fresh = FetchFresh::No);

// Time-outs and bounds. Neither curl nor the site sets any by default, and a
// fetch must never hang a worker: a server that accepts and never answers,
// or stops sending mid-page, ends the fetch as a network error.
struct FetchLimits {
    long connectTimeoutMs = 15000;   // TCP + TLS handshake
    long stallTimeoutMs = 30000;     // no byte received for this long
    long totalTimeoutMs = 180000;    // the whole fetch, redirects included
    int maxRedirects = 10;           // successive 3xx answers followed
    // A larger page is cut there (the fetch then ends as a network error
    // with the first maxBodyBytes in the page). The site's largest pages
    // are a few hundred kilobytes; a server that sends without end must not
    // fill the memory of a list that refreshes 500 items.
    size_t maxBodyBytes = 16u << 20;
};
FetchLimits GetFetchLimits();
void SetFetchLimits(const FetchLimits& limits);

// A flag the fetches of the calling thread watch: once it reads true, a
// running fetch ends as a network error (used by workers that are stopping).
void SetFetchAbortFlag(const std::atomic<bool>* flag);
// Whether the calling thread's flag says stop (other transfers, such as the
// update's downloads, watch it too).
bool FetchAborted();

// Gives a curl easy handle of another kind of transfer (a file download) the
// certificate checks every fetch has: peer and host verified, the settings'
// CA file trusted besides the system's certificates.
void ApplyTlsOptions(void* curlEasyHandle);

// Where the system's trusted certificates are (curl's own defaults when both
// are empty, the normal case): tests stand in a bundle of their own for it.
void SetSystemCaLocations(const std::string& file, const std::string& path);

// Closes the calling thread's kept-alive connections (the next fetch of the
// thread opens new ones). Servers that are about to stop are not kept
// waiting on an idle connection.
void CloseThreadConnections();

// Splits an address: true when it is http or https with a host.
bool SplitAddress(const std::string& url, std::string* scheme = nullptr,
                  std::string* host = nullptr, int* port = nullptr,
                  std::string* object = nullptr);

}  // namespace bexora
