#pragma once
// One bid: the request record the scheduler hands to the bid worker, the
// conversation that places it (sign in, offer form, confirmation), the
// reading of the site's answer, and the sign-in check of the options page.
//
// Every bid signs in afresh; nothing but the shared cookie store survives
// from one bid to the next. The pages of the latest conversation are kept in
// ResultPagesDir() for inspection ("Signin.html", "Signin2.html",
// "errorMake1.html", "errormake1st.html", "errorMake2.html"), readable by the
// user only, since they are the site's answers to a signed-in user.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "model/Item.h"
#include "site/PageFetch.h"  // ResultPagesDir

namespace bexora {

class CBidRequest : public CItem {
public:
    CBidRequest() = default;
    // A copy of the list's item with the result fields as created.
    explicit CBidRequest(const CItem& item) : CItem(item) {}

    std::string m_strResult;     // message for the user
    std::string m_strResultUrl;  // what the browser pane shows afterwards
    int64_t m_tBidStarted = 0;   // when the scheduler handed the bid over
    bool m_bSucceeded = false;

    // The moment (local clock, ms) at which the confirmation is to reach the
    // site; 0: the whole conversation at once, as soon as the worker has it.
    int64_t m_nArriveAtMs = 0;
    // Everything up to, not including, the confirmation; m_strResult then
    // says what would have been sent.
    bool m_bDryRun = false;
    // How many requests went out at the moment (the confirmation alone, or
    // the whole conversation).
    int m_nRequestsAtMoment = 0;
};

// Receives the finished request (PlaceBid's last step); it owns it from then on.
using BidDelivery = std::function<void(std::unique_ptr<CBidRequest>)>;

// What a pre-flight kept: the offer form's fields for one bid set-up, and
// the quickest round trip to the site it saw.
struct CPreparedBid {
    std::string itemNumber, amount, userId;
    uint64_t setupSerial = 0;
    std::string key, uiid, pass;
    int64_t roundTripMs = 0;
};

// The pre-flight of a bid: signs in and opens the offer form with the
// amount. ok: the form was given without a warning and prepared holds its
// fields; otherwise problem says what would stop the bid (in the words the
// bid's own answer would use).
struct PreFlightResult {
    bool ok = false;
    std::string problem;
    CPreparedBid prepared;
};
PreFlightResult PreFlight(const CItem& item);

// Whether prepared was made for this request's set-up and amount.
bool PreparedFor(const CPreparedBid& prepared, const CBidRequest& request);

// The confirmation of a pre-flighted bid alone. When the site refuses the
// kept fields (a stale key, a signed-out session) the whole conversation
// runs at once instead. Stop, delivery and result as with PlaceBid.
void PlacePreparedBid(std::unique_ptr<CBidRequest> request, const CPreparedBid& prepared,
                      const std::atomic<bool>& stopping, const BidDelivery& deliver);

// A dry run's report: the confirmation address with the form's pass token
// hidden.
std::string DryRunText(const CBidRequest& request, const CPreparedBid& prepared);

// Places the bid of request. Looks at stopping on entry, after each of the
// four page files and just before delivery; when it reads true the request
// is freed and nothing is delivered. Otherwise deliver gets the request with
// m_bSucceeded, m_strResult and m_strResultUrl filled in. Never throws.
void PlaceBid(std::unique_ptr<CBidRequest> request, const std::atomic<bool>& stopping,
              const BidDelivery& deliver);

// How one row of the answer table decides.
enum class AnswerAction {
    HighBidder,        // success; the browser shows the item
    NotRegistered,     // "Invalid." followed by the user ID
    Message,           // the row's fixed message
    EmptyPage,         // matches an empty page only
    MultipleQuantity,  // decided from the item page
    Unknown,           // matches anything
};

struct AnswerRow {
    std::string marker;  // case-sensitive text the page contains (empty: see action)
    AnswerAction action;
    std::string result;  // m_strResult for Message / HighBidder / EmptyPage / Unknown
};

// The first row of the answer table that matches page (the last row always does).
AnswerRow MatchAnswer(const std::string& page);
class CSiteProfile;
AnswerRow MatchAnswer(const std::string& page, const CSiteProfile& profile);

// Sets request's result from the confirmation answer. A multiple-quantity
// answer fetches the item page to see whether the bid holds.
void ClassifyAnswer(const std::string& page, CBidRequest& request);

// The result message of an offer form that lists what it refuses (the page
// is turned into plain text in place and written to "errormake1st.html").
std::string OfferErrorText(std::string& page);
// The same read from a page already stripped of its tags, with profile.
std::string ReadOfferError(const std::string& text, const CSiteProfile& profile);

// "&ru=" and the item's address, encoded, after the last kept address; an
// empty "ru" of the sign-in address is dropped first.
void ComposeResultUrl(CBidRequest& request);

// Messages of TestLogin.
constexpr const char* kSignInInvalidText = "Your sign in information is not valid";
constexpr const char* kSignInOkText = "Username and password are OK.";
constexpr const char* kSignInUntestedText =
    "The sign in could not be tested: the site did not answer.";

// Signs in with these values (not the saved settings) and looks at the
// account page; returns the message to show. Blocks for up to three requests.
std::string TestLogin(const std::string& userId, const std::string& password);

}  // namespace bexora
