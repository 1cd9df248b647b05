#pragma once
// The local auction site's state and request handling: items, accounts,
// sessions, offer keys, injected faults, the request log and the clock skew,
// all under one lock. Server.h puts it on the network.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "Auction.h"
#include "Json.h"
#include "Pages.h"

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib

namespace bexora::auction {

struct Account {
    std::string user;
    std::string password;
    bool verified = false;  // may bid 15000 or more
    bool blocked = false;   // every bid answers "Transaction Blocked"
    bool limited = false;   // every bid hits the buying activity limits
    int feedback = 0;
};

// A fault applied to the next `count` requests whose target starts with
// `prefix` (and contains `contains`); count < 0 means every such request.
struct Fault {
    int id = 0;
    std::string prefix;
    std::string contains;
    int count = -1;
    int latencyMs = 0;  // half before the request is handled, half before the answer
    int jitterMs = 0;   // the latency varies by up to this either way
    int status = 0;
    std::optional<size_t> dropAfterBytes;
    bool stall = false;
    int stallMs = 30000;
    std::vector<int> redirects;
    bool redirectLoop = false;
    bool lowerLocation = false;  // "location:" header in lower case
    bool noLocation = false;     // redirects without any location header
    bool empty = false;
    std::optional<std::string> answer;
    std::optional<size_t> padBytes;
};

struct LogEntry {
    double time = 0;      // machine clock, seconds since 1970
    double siteTime = 0;  // the site's clock (machine clock + skew)
    std::string scheme, method, host, target, cookies;
};

struct UpdateFile {
    std::string name;
    std::string content;
    bool chunked = false;  // served without a length
};

struct UpdateFolder {
    std::string version = "1.0.9.9";
    std::string notes = "Bexora maintenance release";
    std::string base;  // "" = this site's files folder
    std::vector<UpdateFile> files;
    std::optional<std::string> raw;  // served as update.txt instead
    std::string firstRun;
    std::string whatsNew;
    // site.profile beside update.txt (none: 404), signed with the test key
    // unless profileSignature stands in for the signature.
    std::optional<std::string> profile;
    std::optional<std::string> profileSignature;
};

// A parsed request, independent of the HTTP library.
struct SiteRequest {
    bool https = false;
    std::string method = "GET";
    std::string host;  // Host header
    std::string target;
    std::string path;
    std::vector<std::pair<std::string, std::string>> query;  // decoded, in order
    std::map<std::string, std::string> cookies;
    std::string body;

    // Case-insensitive query lookup; nullptr when absent.
    const std::string* Param(const std::string& key) const;
    std::string ParamOr(const std::string& key, const std::string& fallback = "") const;
};

struct SiteReply {
    int status = 200;
    std::string contentType = "text/html; charset=windows-1252";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    bool chunked = false;
};

// Percent-decoding of %XX (a "+" stays a "+": the client sends values as
// they are, and a password may hold one).
std::string PercentDecode(const std::string& s);
SiteRequest ParseTarget(const std::string& target);

class Site {
public:
    explicit Site(std::optional<uint64_t> seed = std::nullopt);
    ~Site();

    void SetPorts(int httpPort, int httpsPort);
    int HttpPort() const { return m_httpPort; }
    int HttpsPort() const { return m_httpsPort; }
    // Wakes handlers that sleep for a latency or stall fault; used at stop.
    void SetStopping();

    // Entry point for the HTTP servers.
    void Handle(const httplib::Request& req, httplib::Response& res, bool https);

    // The same operations the control API offers, for in-process use.
    // Each returns the JSON answer; status gets the HTTP status (200 on success).
    Json Control(const std::string& method, const std::string& path, const std::string& body,
                 int& status);
    // Whether a control request over HTTP may run: 200, or 403 when its Host
    // is not this site's own loopback address and HTTP port, 415 when a
    // request other than GET does not say Content-Type: application/json
    // (refusal then says why).
    int ControlRequestStatus(const std::string& host, const std::string& contentType,
                             const std::string& method, std::string& refusal) const;
    std::string AddItem(const Json& description, std::string* error);
    void AddAccount(const Account& account);
    void SetSkew(double seconds);
    double SiteNow() const;
    // 1: the classic pages and addresses; 2: the redesign (new wording,
    // field order and addresses; the classic addresses answer 404).
    void SetLayout(int layout) { m_layout = layout; }
    int Layout() const { return m_layout; }
    void Reset();
    void LoadDemo();

    // Request dispatch without faults (exposed for tests of page layout).
    SiteReply Dispatch(const SiteRequest& r);

private:
    using Lock = std::unique_lock<std::mutex>;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    int m_httpPort = 0, m_httpsPort = 0;

    std::mt19937_64 m_rng;       // items and competitors: follows --seed
    std::mt19937_64 m_tokenRng;  // sessions and form keys: never predictable
    double m_skew = 0;
    std::optional<double> m_frozen;  // the site clock held at this reading
    std::atomic<int> m_layout{1};
    bool m_bidFractions = false;  // bid history shows milliseconds
    std::map<std::string, std::unique_ptr<Auction>> m_items;
    std::map<std::string, Account> m_accounts;      // key: lower-case user ID
    std::map<std::string, std::string> m_sessions;  // token -> user
    struct OfferKey {
        std::string item, user, pass;
        double time;
    };
    std::map<std::string, OfferKey> m_keys;
    double m_keyTtl = 0;  // seconds a form's key is taken (0: until dropped)
    std::deque<std::string> m_keyOrder;
    std::vector<Fault> m_faults;
    int m_nextFaultId = 1;
    struct Hop {
        std::vector<int> statuses;
        bool loop = false;
        bool lowerLocation = false, noLocation = false;
        std::string target;
    };
    std::map<int, Hop> m_hops;
    int m_nextHop = 1;
    std::deque<LogEntry> m_log;
    UpdateFolder m_update;

    static double MachineNow();
    double NowLocked() const { return m_frozen ? *m_frozen : MachineNow() + m_skew; }
    std::string RandomHex(size_t bytes);
    std::string NewItemNumber();
    PageContext Context(const SiteRequest& r);  // locked
    void AdvanceAll(double now);                // locked
    Account* FindAccount(const std::string& user);
    int FeedbackOf(const std::string& user);
    void MakeScript(Auction& a, int competitors);
    std::string AddItemLocked(const Json& description, std::string* error);

    void Log(const SiteRequest& r);
    std::optional<Fault> TakeFault(const std::string& target);
    void SleepMs(int ms);
    void Deliver(const SiteReply& reply, httplib::Response& res, const Fault* fault);
    SiteReply Redirect(const SiteRequest& r, int status, int hopId, int step, bool lower,
                       bool noLocation);
    SiteReply HandleHop(const SiteRequest& r, bool& dispatchOriginal, SiteRequest& original);

    SiteReply DispatchLayout2(const SiteRequest& r);
    SiteReply ViewItem(const SiteRequest& r);
    SiteReply ViewBids(const SiteRequest& r);
    SiteReply TimeShow(const SiteRequest& r);
    SiteReply SignIn(const SiteRequest& r);
    SiteReply SignInWelcome(const SiteRequest& r);
    SiteReply MyEbay(const SiteRequest& r);
    SiteReply MakeBid(const SiteRequest& r);
    SiteReply ConfirmBid(const SiteRequest& r);
    SiteReply BuyItNow(const SiteRequest& r);
    SiteReply Listing(const SiteRequest& r);
    SiteReply Vendor(const SiteRequest& r);
    std::string UpdateText(const SiteRequest& r);

    Json ItemJson(const Auction& a);
};

}  // namespace bexora::auction
