#include "bidding/BidRequest.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <climits>
#include <filesystem>

#include "base/Settings.h"
#include "site/ItemPageParser.h"
#include "site/PageFetch.h"
#include "model/PasswordVault.h"
#include "site/SiteEndpoints.h"
#include "site/SiteProfile.h"
#include "text/TextTools.h"

namespace bexora {

namespace {

const char kInvalidLogin[] = "Username and Password is invalid.";

std::shared_ptr<const CSiteProfile> Profile() { return CurrentProfile(); }

AnswerAction ActionOf(const std::string& meaning) {
    if (meaning == "high-bidder") return AnswerAction::HighBidder;
    if (meaning == "not-registered") return AnswerAction::NotRegistered;
    if (meaning == "empty-page") return AnswerAction::EmptyPage;
    if (meaning == "multiple-quantity") return AnswerAction::MultipleQuantity;
    if (meaning == "unknown") return AnswerAction::Unknown;
    return AnswerAction::Message;
}

bool Contains(const std::string& page, const std::string& what) {
    return page.find(what) != std::string::npos;
}

// One request of the conversation: the buffer is emptied first.
std::string Fetch(const std::string& url, std::string& page) {
    page.clear();
    return FetchPage(url, page);
}

// An offer form without its key: kept for the user to send in.
std::string FormNotRecognised(const std::string& page, const std::string& itemNumber) {
    std::string digits;
    for (char c : itemNumber)
        if (c >= '0' && c <= '9' && digits.size() < 20) digits += c;
    const std::string name = "MakeBid-" + (digits.empty() ? std::string("item") : digits) + ".html";
    KeepResultPage(page, name);
    return PageNotRecognisedText(itemNumber, name);
}

// "US $12.50" -> " $12.50", "$12.50" -> "12.50": letters and "$" go from the
// front, up to the first other character.
std::string TrimBidPrefix(const std::string& bid) {
    size_t i = 0;
    while (i < bid.size()) {
        unsigned char c = static_cast<unsigned char>(bid[i]);
        bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (!letter && c != '$') break;
        ++i;
    }
    return bid.substr(i);
}

// Row 17: such auctions never answer "current high bidder"; the item page
// tells whether the bid holds.
void CheckMultipleQuantity(CBidRequest& request) {
    std::string page;
    request.m_strResultUrl = Fetch(site::ItemViewUrl(request.m_strItemNumber), page);
    StripTags(page);
    CItem item;
    if (!ParseItemPage(page, item)) {
        request.m_strResult = "Error bidding on a multiple quantity item.";
        return;
    }
    double price = PriceValue(item.m_strCurrentPrice);
    // A page without a readable price cannot confirm the bid.
    if (price < 0) {
        request.m_strResult = "Error bidding on a multiple quantity item.";
    } else if (price > PriceValue(request.m_strMyBid)) {
        request.m_strResult = "Your price is lower than the current winning bid.";
    } else {
        request.m_strResult = "Your bid sucessfully on a multiple quantity bid.";
        request.m_bSucceeded = true;
    }
}

}  // namespace

AnswerRow MatchAnswer(const std::string& page) {
    const std::shared_ptr<const CSiteProfile> profile = Profile();
    return MatchAnswer(page, *profile);
}

AnswerRow MatchAnswer(const std::string& page, const CSiteProfile& profile) {
    for (const ProfileAnswer& row : profile.Answers()) {
        const AnswerRow answer{row.marker, ActionOf(row.meaning), row.message};
        switch (answer.action) {
        case AnswerAction::EmptyPage:
            if (page.empty()) return answer;
            break;
        case AnswerAction::Unknown:
            return answer;
        default:
            if (Contains(page, row.marker)) return answer;
        }
    }
    // A read profile's table ends with its "unknown" row.
    const ProfileAnswer& last = profile.Answers().back();
    return AnswerRow{last.marker, ActionOf(last.meaning), last.message};
}

void ClassifyAnswer(const std::string& page, CBidRequest& request) {
    const AnswerRow row = MatchAnswer(page);
    switch (row.action) {
    case AnswerAction::HighBidder:
        request.m_strResult = row.result;
        request.m_strResultUrl = site::ItemViewUrl(request.m_strItemNumber);
        request.m_bSucceeded = true;
        break;
    case AnswerAction::NotRegistered:
        request.m_strResult = row.result + request.m_strUserId;
        break;
    case AnswerAction::MultipleQuantity:
        CheckMultipleQuantity(request);
        break;
    default:
        request.m_strResult = row.result;
    }
}

std::string OfferErrorText(std::string& page) {
    StripTags(page);
    KeepResultPage(page, "errormake1st.html");
    return ReadOfferError(page, *Profile());
}

std::string ReadOfferError(const std::string& text, const CSiteProfile& profile) {
    const std::string& heading = profile.Get("offer.error");
    long p = Find(text, heading);
    long q = p < 0 ? -1 : Find(text, profile.Get("offer.error-end"), p);
    if (p < 0 || q <= p) return "Unknown error1";
    // From one past the end of the heading's line to one before the end marker.
    const long n = static_cast<long>(heading.size()) + 1;
    std::string out = Mid(text, p + n, q - p - n - 1);
    for (int round = 0; round < 2; ++round) {
        out = Trim(out, " ");
        out = Trim(out, "\n");
    }
    return out;
}

void ComposeResultUrl(CBidRequest& request) {
    // The sign-in request holds the password in its query; the browser pane
    // would show it in the address bar, keep it in its history and send it
    // again. It opens the plain sign-in page instead, leading back to the item.
    if (site::IsSignInRequest(request.m_strResultUrl, request.m_strUserId))
        request.m_strResultUrl = site::SignInPageUrl();
    std::string back = site::EncodeForQuery(site::ItemViewUrl(request.m_strItemNumber));
    ReplaceAll(request.m_strResultUrl, "&ru=&", "&");
    // An address without a query of its own (a site's newer pages) starts one.
    const char joint = request.m_strResultUrl.find('?') == std::string::npos ? '?' : '&';
    request.m_strResultUrl += joint + std::string("ru=") + back;
}

// The password of an item the keyring keeps, read now (the keyring may have
// been locked when the list was opened). False, with the message, when the
// keyring is chosen and has none to give: nothing is sent to the site then.
static bool ResolvePassword(const std::string& user, std::string& password, std::string& problem) {
    if (!password.empty() || user.empty()) return true;
    IPasswordVault* vault = InstalledPasswordVault();
    if (!vault || ChosenPasswordPlace() != PasswordPlace::Keyring) return true;  // as ever: the site says
    if (vault->Answers() && vault->Find(user, password, nullptr) == IPasswordVault::Found::Yes) return true;
    problem = NoKeyringPasswordText(user);
    return false;
}

void PlaceBid(std::unique_ptr<CBidRequest> request, const std::atomic<bool>& stopping,
              const BidDelivery& deliver) {
    if (!request || stopping) return;
    CBidRequest& r = *request;
    r.m_bSucceeded = false;
    std::string page;
    if (!ResolvePassword(r.m_strUserId, r.m_strPassword, r.m_strResult)) {
        deliver(std::move(request));
        return;
    }
    r.m_nRequestsAtMoment += 4;

    r.m_strResultUrl = Fetch(site::SignInPageUrl(), page);
    KeepResultPage(page, "Signin.html");
    if (stopping) return;

    r.m_strResultUrl = Fetch(site::SignInRequestUrl(r.m_strUserId, r.m_strPassword), page);
    KeepResultPage(page, "Signin2.html");
    if (stopping) return;

    const std::shared_ptr<const CSiteProfile> profile = Profile();
    if (Contains(page, profile->Get("sign-in.refused"))) {
        r.m_strResult = kInvalidLogin;
    } else {
        // The form takes the bid as the user typed it, currency and all.
        Fetch(site::OfferFormUrl(r.m_strItemNumber, r.m_strMyBid), page);
        KeepResultPage(page, "errorMake1.html");
        if (stopping) return;

        if (Contains(page, profile->Get("offer.error"))) {
            r.m_strResult = OfferErrorText(page);
        } else {
            std::string key = GetHiddenField(page, profile->Get("offer.field-key"));
            std::string uiid = GetHiddenField(page, profile->Get("offer.field-uiid"));
            std::string pass = GetHiddenField(page, profile->Get("offer.field-pass"));
            if (key.empty()) {
                // Not the offer form the profile knows (the site changed its
                // pages, or answered with another page): a confirmation
                // without the form's key cannot be a bid the user meant.
                r.m_strResult = FormNotRecognised(page, r.m_strItemNumber);
            } else {
                // The trimmed bid stays in the request: the result handler
                // copies it back to the list's item.
                r.m_strMyBid = TrimBidPrefix(r.m_strMyBid);
                r.m_strResultUrl = Fetch(site::OfferConfirmUrl(r.m_strMyBid, r.m_strItemNumber, key,
                                                               r.m_strUserId, pass, uiid),
                                         page);
                KeepResultPage(page, "errorMake2.html");
                if (stopping) return;
                ClassifyAnswer(page, r);
            }
        }
    }

    ComposeResultUrl(r);
    if (stopping) return;
    deliver(std::move(request));
}

namespace {

constexpr const char* kSiteSilent = "The site did not answer.";

int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The kept fields were refused: the site shows its sign-in form, or does not
// take the form's pass token.
bool KeptFieldsRefused(const std::string& page) {
    for (const std::string& text : Profile()->List("confirm.stale"))
        if (Contains(page, text)) return true;
    return false;
}

}  // namespace

PreFlightResult PreFlight(const CItem& item) {
    PreFlightResult out;
    std::string page;
    // The quickest of the three round trips: the others carry the site's
    // page making or a new connection, which the confirmation does not wait
    // for on the way there.
    int64_t roundTrip = INT64_MAX;
    auto timed = [&](const std::string& url) {
        const int64_t sent = SteadyMs();
        const bool answered = !Fetch(url, page).empty() && !page.empty();
        roundTrip = std::min(roundTrip, SteadyMs() - sent);
        return answered;
    };
    std::string password = item.m_strPassword;
    if (!ResolvePassword(item.m_strUserId, password, out.problem)) return out;
    if (!timed(site::SignInPageUrl()) || !timed(site::SignInRequestUrl(item.m_strUserId, password))) {
        out.problem = kSiteSilent;
        return out;
    }
    const std::shared_ptr<const CSiteProfile> profile = Profile();
    if (Contains(page, profile->Get("sign-in.refused"))) {
        out.problem = kInvalidLogin;
        return out;
    }
    if (!timed(site::OfferFormUrl(item.m_strItemNumber, item.m_strMyBid))) {
        out.problem = kSiteSilent;
        return out;
    }
    if (Contains(page, profile->Get("offer.error"))) {
        out.problem = OfferErrorText(page);
        if (out.problem.empty()) out.problem = "The site refused the offer form.";
        return out;
    }
    // What the offer form warns of, in the order the answer table reads
    // them: each would refuse the confirmation.
    const std::vector<std::string>& warnings = profile->List("offer.warning");
    for (const ProfileAnswer& row : profile->Answers()) {
        if (row.marker.empty() || !Contains(page, row.marker)) continue;
        if (std::find(warnings.begin(), warnings.end(), row.marker) != warnings.end()) {
            out.problem = row.message;
            return out;
        }
    }
    CPreparedBid& p = out.prepared;
    p.key = GetHiddenField(page, profile->Get("offer.field-key"));
    p.uiid = GetHiddenField(page, profile->Get("offer.field-uiid"));
    p.pass = GetHiddenField(page, profile->Get("offer.field-pass"));
    // A form without its key cannot be confirmed later: the site did not
    // give the form the profile knows.
    if (p.key.empty()) {
        out.problem = FormNotRecognised(page, item.m_strItemNumber);
        return out;
    }
    p.itemNumber = item.m_strItemNumber;
    p.amount = item.m_strMyBid;
    p.userId = item.m_strUserId;
    p.setupSerial = item.m_nSetupSerial;
    p.roundTripMs = roundTrip;
    out.ok = true;
    return out;
}

bool PreparedFor(const CPreparedBid& prepared, const CBidRequest& request) {
    return !prepared.key.empty() && prepared.itemNumber == request.m_strItemNumber &&
           prepared.amount == request.m_strMyBid && prepared.userId == request.m_strUserId &&
           prepared.setupSerial == request.m_nSetupSerial;
}

std::string DryRunText(const CBidRequest& request, const CPreparedBid& prepared) {
    return "Dry run: would send " +
           site::OfferConfirmUrl(TrimBidPrefix(request.m_strMyBid), request.m_strItemNumber,
                                 prepared.key, request.m_strUserId,
                                 prepared.pass.empty() ? "" : "****", prepared.uiid);
}

void PlacePreparedBid(std::unique_ptr<CBidRequest> request, const CPreparedBid& prepared,
                      const std::atomic<bool>& stopping, const BidDelivery& deliver) {
    if (!request || stopping) return;
    CBidRequest& r = *request;
    r.m_bSucceeded = false;
    const std::string original = r.m_strMyBid;
    r.m_strMyBid = TrimBidPrefix(r.m_strMyBid);
    std::string page;
    r.m_strResultUrl = Fetch(site::OfferConfirmUrl(r.m_strMyBid, r.m_strItemNumber, prepared.key,
                                                   r.m_strUserId, prepared.pass, prepared.uiid),
                             page);
    r.m_nRequestsAtMoment = 1;
    KeepResultPage(page, "errorMake2.html");
    if (stopping) return;
    if (KeptFieldsRefused(page)) {
        // The form went stale since the pre-flight: the whole conversation,
        // now (it signs in afresh and asks for a new form).
        r.m_strMyBid = original;
        PlaceBid(std::move(request), stopping, deliver);
        return;
    }
    ClassifyAnswer(page, r);
    ComposeResultUrl(r);
    if (stopping) return;
    deliver(std::move(request));
}

std::string TestLogin(const std::string& userId, const std::string& password) {
    std::string page;
    Fetch(site::AccountPageUrl(), page);  // only to hold the site's cookies
    Fetch(site::SignInRequestUrl(userId, password), page);
    const std::shared_ptr<const CSiteProfile> profile = Profile();
    if (Contains(page, profile->Get("sign-in.refused"))) return kSignInInvalidText;
    bool signInAnswered = !page.empty();
    Fetch(site::AccountPageUrl(), page);
    KeepResultPage(page, "errorMake1.html");
    if (Contains(page, profile->Get("sign-in.refused")) ||
        Contains(page, profile->Get("account.refused")))
        return kSignInInvalidText;
    // Without both answers nothing was tested; "OK" would be a guess.
    if (!signInAnswered || page.empty()) return kSignInUntestedText;
    return kSignInOkText;
}

}  // namespace bexora
