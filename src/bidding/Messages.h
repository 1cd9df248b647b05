#pragma once
// The messages between an item list view and its two workers, and the side
// of the list view the workers talk to. Jobs are posted to a worker's queue;
// results come back on the UI thread while the worker waits (CUiDispatcher).
// Every message carries ownership of one heap record.

#include <memory>
#include <string>

namespace bexora {

class CItem;
class CBidRequest;

// Update worker (CWebThread).
constexpr unsigned WM_WEB_QUIT = 0x1400;      // owner -> worker, posted, no record
constexpr unsigned WM_ITEM_UPDATE = 0x1401;   // list view -> worker, posted, a CItem copy
constexpr unsigned WM_ITEM_UPDATED = 0x1402;  // worker -> list view, sent, the same copy
constexpr unsigned WM_BID_HISTORY = 0x1403;   // list view -> worker, posted, a CItem copy
// Bid worker (CBidThread).
constexpr unsigned WM_BID_QUIT = 0x1500;   // owner -> worker, posted, no record
constexpr unsigned WM_BID_PLACE = 0x1501;  // list view -> worker, posted, a CBidRequest
constexpr unsigned WM_BID_RESULT = 0x1502; // worker -> list view, sent, the same request
// The pre-flight of a bid (sign in, offer form; no confirmation): the
// worker keeps the form's fields for the bid that follows.
constexpr unsigned WM_BID_CHECK = 0x1503;    // list view -> worker, posted, a CBidRequest
constexpr unsigned WM_BID_CHECKED = 0x1504;  // worker -> list view, sent, the same request

// What a list view offers its workers. The two result handlers run on the
// UI thread and own the record they receive; IsUpdateInFlight is asked on
// the update worker's thread, so its implementation takes the lock that
// guards the in-flight list (CInFlightList does).
class IWorkerOwner {
public:
    virtual ~IWorkerOwner() = default;
    // WM_ITEM_UPDATED: a refreshed copy (m_bUpdateFailed set when the page
    // could not be read).
    virtual void OnItemUpdated(std::unique_ptr<CItem> item) = 0;
    // WM_BID_RESULT: a finished bid request.
    virtual void OnBidPlaced(std::unique_ptr<CBidRequest> request) = 0;
    // WM_BID_CHECKED: a finished pre-flight; m_bSucceeded when nothing stands
    // in the bid's way, else m_strResult says what does.
    virtual void OnPreFlightDone(std::unique_ptr<CBidRequest>) {}
    // Whether a refresh of this item number is still wanted.
    virtual bool IsUpdateInFlight(const std::string& itemNumber) = 0;
    // The answer to WM_BID_HISTORY: the history line saying when the site
    // recorded the user's bid on the item ("" when it could not tell).
    virtual void OnBidLanding(const std::string& itemNumber, const std::string& note) {
        (void)itemNumber;
        (void)note;
    }
};

}  // namespace bexora
