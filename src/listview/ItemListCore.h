#pragma once
// API settled.
//
// CItemListCore: the item list of one document without any toolkit. It holds
// the rows (each a pointer to one of the document's items, its 13 cell texts,
// its image and whether it is selected), the bid groups, the one-second
// scheduler that counts time down, refreshes items and fires scheduled bids,
// the merging of the workers' results and the notices about them. The Qt
// list view and bexora-cli drive it and draw what it says (IListFrontEnd).
//
// UI thread only. The workers get heap copies of items; their results come
// back through the CUiDispatcher onto the UI thread (IWorkerOwner).

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "bidding/BidRequest.h"
#include "bidding/BidThread.h"
#include "bidding/InFlightList.h"
#include "bidding/Messages.h"
#include "bidding/UiDispatcher.h"
#include "bidding/WebThread.h"
#include "listview/ListFrontEnd.h"
#include "listview/Notices.h"
#include "listview/WakeDetector.h"
#include "model/BidGroup.h"
#include "model/Item.h"
#include "model/ebayDoc.h"
#include "site/SiteTime.h"

namespace bexora {

// ---- columns, images, texts ----

constexpr int kColumnCount = 13;
enum ListColumn : int {
    kColItem = 0,
    kColTitle,
    kColPrice,
    kColShipping,
    kColQuantity,
    kColBidCount,
    kColTimeLeft,
    kColEndTime,
    kColSeller,
    kColFeedback,
    kColPercent,
    kColMyBid,
    kColBidGroup,
};

struct ListColumnDef {
    const char* heading;
    bool rightAligned;
    int width;          // pixels
    bool hideable;      // the user may hide it from the header menu
    bool hiddenAtFirst; // hidden when no column layout was stored yet
};
// The 13 columns in order.
const std::array<ListColumnDef, kColumnCount>& ListColumns();

// The site moment a pending bid is for (end time - delay by the site's
// clock, a site time value), kept in m_strReserved, which older copies of
// the program only clear, copy and store; m_tBidTime is that moment on the
// local clock as the offset last had it. False when the item has none (a
// bid set up by an older copy).
bool ReadSiteMoment(const CItem& item, int64_t* siteMoment);
void WriteSiteMoment(CItem& item, int64_t siteMoment);

// Row images.
constexpr int kImageNormal = 0;
constexpr int kImageUpdating = 1;
constexpr int kImageNote = 2;

namespace listtext {
constexpr const char* kCannotAdd = "Can not add Item.\n Check the item number!";
constexpr const char* kAlreadyInList = "Item already in the list";
constexpr const char* kUpdating = "Updating:";
constexpr const char* kUpdateIn = "Update in: ";
constexpr const char* kEnded = "Ended";
}  // namespace listtext

// Row colours.
namespace rowcolour {
constexpr RowColour kUpdateFailed{200, 200, 200};
constexpr RowColour kNotified{255, 30, 30};
constexpr RowColour kHighBidder{70, 230, 70};
constexpr RowColour kPendingGroupFull{217, 201, 237};
constexpr RowColour kPending{164, 125, 210};
constexpr RowColour kChanged{228, 247, 228};
constexpr RowColour kFresh{255, 249, 188};
constexpr RowColour kPlain{255, 255, 255};
}  // namespace rowcolour

// ---- helpers the list is built on (also used by export and the CLI) ----

// The list's price comparison: the texts without "0123456789,." at both ends
// are compared byte-wise, then the values (PriceValue); <0, 0, >0.
int ComparePrice(const std::string& a, const std::string& b);
// Compares two items by sort key 1..13 (negative: descending).
int CompareItems(const CItem& a, const CItem& b, int key);
// The "Time left" text for rem seconds still to run ("Ended" at 0 or less).
std::string TimeLeftText(int64_t rem);
// 1 January 2000 00:00:00 local time (mktime), where the countdown runs to.
int64_t ZeroMoment();
// A time value in the C library's "%X" local time format ("" on failure).
std::string FormatClockTime(int64_t t);

// ---- the workers, as the core sees them ----

// Where the core posts its jobs. Tests capture them; the program uses the
// two worker threads (CWorkerJobSink).
class IJobSink {
public:
    virtual ~IJobSink() = default;
    // WM_ITEM_UPDATE: ownership of the copy passes on.
    virtual void PostUpdate(std::unique_ptr<CItem> copy) = 0;
    // WM_BID_PLACE: ownership of the request passes on.
    virtual void PostBid(std::unique_ptr<CBidRequest> request) = 0;
    // WM_BID_HISTORY: ownership of the copy passes on (dropped unless the
    // sink reads bid histories).
    virtual void PostBidHistory(std::unique_ptr<CItem> copy) { (void)copy; }
    // WM_BID_CHECK: ownership of the request passes on. Sinks without a bid
    // worker drop it.
    virtual void PostCheck(std::unique_ptr<CBidRequest>) {}
    // Stops the workers; jobs not handled yet are freed. Safe to repeat.
    virtual void Stop() {}
};

// The update and bid workers of one list, started on construction.
class CWorkerJobSink : public IJobSink {
public:
    CWorkerJobSink(IWorkerOwner& owner, CUiDispatcher& ui, CWebThread::RefreshFn refresh = {});
    ~CWorkerJobSink() override;
    void PostUpdate(std::unique_ptr<CItem> copy) override;
    void PostBid(std::unique_ptr<CBidRequest> request) override;
    void PostBidHistory(std::unique_ptr<CItem> copy) override;
    void PostCheck(std::unique_ptr<CBidRequest> request) override;
    void Stop() override;

    CWebThread& WebThread() { return m_web; }
    CBidThread& BidThread() { return m_bid; }

private:
    CWebThread m_web;
    CBidThread m_bid;
};

// ---- one row ----

struct CItemRow {
    CItem* item = nullptr;  // the document's item; not owned
    std::array<std::string, kColumnCount> cells;
    int image = kImageNormal;
    bool selected = false;
    // The tick's cache of the last "Time left" text it made and its key (the
    // minute, or in the last minute the second); 0 means none yet.
    int64_t timeKey = 0;
    std::string timeText;
};

class CItemListCore : public IItemListView, public IWorkerOwner {
public:
    // jobs: where refreshes and bids go; nullptr starts the list's own two
    // workers (refresh: how the update worker refreshes a copy, default the
    // item's page). The core registers itself as doc's list view and takes
    // over the groups the document read.
    CItemListCore(CebayDoc& doc, IListFrontEnd& front, CUiDispatcher& ui, IJobSink* jobs = nullptr,
                  CWebThread::RefreshFn refresh = {});
    ~CItemListCore() override;
    CItemListCore(const CItemListCore&) = delete;
    CItemListCore& operator=(const CItemListCore&) = delete;

    // The view's initial update: a row for every item of the document in its
    // order, sort key 1, then the scheduler's initialisation from the
    // settings (interval, "Update all", the notice filter). Call once.
    void Initialize();
    // The view going away: empties the in-flight list, stops both workers,
    // rebuilds the document's item list and saves it. Later worker results
    // are dropped. Called by the destructor when not called before.
    void Shutdown();

    // ---- IItemListView (the document) ----
    std::vector<CItem*> GetRowItems() const override;
    CBidGroupList& GetBidGroups() override { return m_groups; }

    // ---- IWorkerOwner (results, on the UI thread) ----
    void OnItemUpdated(std::unique_ptr<CItem> item) override;
    void OnBidPlaced(std::unique_ptr<CBidRequest> request) override;
    void OnPreFlightDone(std::unique_ptr<CBidRequest> request) override;
    bool IsUpdateInFlight(const std::string& itemNumber) override;
    // When the site recorded the bid of an ended item (BidLanding.cpp).
    void OnBidLanding(const std::string& itemNumber, const std::string& note) override;

    // ---- rows ----
    int GetRowCount() const { return static_cast<int>(m_rows.size()); }
    const CItemRow& GetRow(int row) const { return m_rows.at(row); }
    CItem* GetItem(int row) const;                           // null outside the rows
    const std::string& GetCellText(int row, int col) const;  // "" outside
    // The cell as of now: the end time and time left from the site's clock
    // as known at this moment (the rows show them as of the last tick, or
    // of the last save before the first), the other cells as shown.
    std::string CellTextNow(int row, int col) const;
    // The clock offset the rows' end times are shown with (local instant =
    // end time + offset), as known now.
    int64_t ClockOffsetNow() const { return ClockOffset(false); }
    int GetRowImage(int row) const;                          // 0 outside
    RowColour GetRowColour(int row) const;
    // Tips: only rows whose item has a note get them ("" otherwise).
    std::string GetTipText(int row) const;
    std::string GetTipTitle(int row) const;
    // The first row whose item has this number, or -1.
    int FindRow(const std::string& itemNumber) const;

    // Appends a row for item, which must be one of the document's items.
    // Returns the row.
    int InsertItemRow(CItem* item);
    // Writes the item's fields into the row's cells.
    void FillRow(int row, const CItem& item);
    void RedrawRow(int row);
    void RedrawGroupRows(const std::string& groupName);
    void SetStatusText(const std::string& text);
    // Puts the document's items in row order; true when a bid is pending.
    bool RebuildItemList();
    // The document's automatic save (no question asked).
    void SaveDocument();

    // ---- adding ----
    // "Add Single Item" after the dialog's OK with the typed text: fetches
    // the page; shows "Can not add Item..." or "Item already in the list"
    // (refreshing the listed row) or adds the row and saves. True when added.
    bool AddSingleItem(const std::string& typedNumber);
    // Its second half, for a page read elsewhere (off the UI thread): item
    // as the page filled it, fetched false when the page could not be read.
    bool AddFetchedItem(std::unique_ptr<CItem> item, bool fetched);
    // The browser pane's add: 0 when the number is listed already (with
    // refresh, the listed item takes the page fields and is redrawn; item is
    // dropped), 1 when item became the last row (the document owns it).
    int AddItemIfNew(std::unique_ptr<CItem> item, bool refresh);

    // ---- selection (the front end mirrors the user's clicks here) ----
    std::vector<int> GetSelectedRows() const;  // ascending
    void SetSelectedRows(const std::vector<int>& rows);
    void SelectRow(int row, bool selected = true);
    void SelectAll();  // command 150
    void ClearSelection();
    // Selects exactly the rows of these numbers; false when one is not listed
    // (the listed ones are selected anyway).
    bool SelectItems(const std::vector<std::string>& itemNumbers);
    int GetFocusRow() const { return m_nFocusRow; }

    // ---- item commands (selection based; nothing without a selection) ----
    void OnDeleteItem();         // 140 and the Delete key
    void OnCancelPendingBid();   // 142
    void OnViewHistory();        // 149, through ShowPrompt
    // 32780: what the note dialog starts with for row, and storing its
    // result (trimmed of CR/LF at both ends; the row image follows).
    std::string GetNoteForDialog(int row) const;
    void SetNote(int row, const std::string& note);
    // A click on column col: key col+1, again: descending, again: ascending.
    void SortByColumn(int col);
    // Sorts the rows by key (1..13, negative descending) and keeps it.
    void Sort(int key);
    int GetSortKey() const { return m_nSortKey; }

    // ---- scheduler ----
    // The one-second tick. Front ends call it when MsUntilNextTick() has run
    // out, never re-entrantly.
    void OnTick();
    // How long until the next tick is due: just after the next whole second
    // of the local clock following the last tick (0 when already due).
    int64_t MsUntilNextTick() const;
    // Places the item's bid now, within its group's limit (the item must be
    // one of the rows' items). arriveAtMs: the moment (local clock, ms) the
    // confirmation is to reach the site; 0 sends the whole conversation at once.
    void TriggerBid(CItem& item, int64_t arriveAtMs = 0);

    // ---- pre-flight (PreFlight.cpp) ----
    // Seconds before a scheduled bid at which it is checked (0: off, the
    // bid is placed as a whole at the tick of its moment).
    void SetPreFlightSeconds(int seconds) { m_nPreFlightSecs = seconds; }
    int PreFlightSeconds() const { return m_nPreFlightSecs; }
    // The millisecond moment (local clock) of an item's scheduled bid: its
    // m_tBidTime with the fraction of the site clock's offset.
    int64_t BidMomentMs(const CItem& item) const;
    // The whole-second offset a bid set up now is made with (the pending
    // bids' m_tBidTime values follow it from tick to tick).
    int64_t BidClockOffset() const;
    // Timed bids are held after the computer's clock was stepped, until the
    // site's clock was read again (or a few seconds passed: the step itself
    // is then applied). The hold's text, empty while none.
    const std::string& ClockHold() const { return m_strClockHold; }
    // A bid time was set or loaded outside the tick: it is brought in line
    // with the offset at the next one.
    void NoteBidTimeSet() { m_bNewBidTimes = true; }
    // One line on the site's clock: when it was last measured, the offset
    // and its bound ("Site clock: measured 10:42:07, this computer 0.012 s
    // ahead (within 8 ms)").
    std::string ClockStatusText() const;
    // "Check now": the pre-flight of the item's bid set-up, at once. False
    // (after a notice) when the item has no bid or no account to check, or
    // its auction has ended (its check then reads kCheckEnded, which is no
    // problem to fix).
    bool CheckItem(CItem& item);
    static constexpr const char* kCheckEnded = "The auction has ended: nothing to check.";
    void CheckSelected();
    // Checks posted and answered since the start, and the last answer per
    // item number (empty text: nothing in the way).
    int ChecksPosted() const { return m_nChecksPosted; }
    int CheckResults() const { return m_nCheckResults; }
    const std::map<std::string, std::string>& LastChecks() const { return m_lastChecks; }
    // A dry run: bids go as far as the offer form; what would be sent is
    // noticed, and the list's bids stay as they are.
    void SetDryRun(bool dryRun) { m_bDryRun = dryRun; }
    void UpdateRow(int row);
    void UpdateSelected();  // 146
    void UpdateAll();       // 147
    // Merges copy into the row with its number: page fields, bid fields, or
    // neither (then only the row is found). The row, or -1.
    int MergeItem(const CItem& copy, bool page, bool bid);
    // End time + site clock offset - local now, in seconds.
    int64_t RemainingSeconds(const CItem& item) const;

    int64_t GetUpdateReload() const { return m_tUpdateReload; }
    int64_t GetUpdateCountdown() const { return m_tUpdateCountdown; }
    // "Update in: " and the countdown moment's time of day.
    std::string CountdownStatusText() const;

    // The newer-version check of the update subsystem; started at minute 7
    // of hours divisible by 5 (in the minute's first two seconds). It reads
    // the maker's site, so it must not block the tick: it answers later, on
    // the UI thread, through report (and not at all once the list is gone).
    // Unset: never.
    using VersionReport = std::function<void(bool newer)>;
    void SetNewerVersionCheck(std::function<void(VersionReport report)> check) {
        m_newerVersion = std::move(check);
    }
    // Where the clock offset comes from. Unset: the cached one (never a fetch
    // on the UI thread), with the list's clock keeper measuring it on its own
    // thread at start (when nothing was measured), once an hour (the refresh
    // the tick asks for), after a wake-up and when the local clock is stepped.
    void SetClockOffsetSource(std::function<int64_t(bool refresh)> source) {
        m_offsetSource = std::move(source);
    }

    // ---- waking up (WakeUp.cpp) ----
    // logind said the machine has woken (any thread); the next tick acts.
    void NoteWake() { m_wake.NoteWake(); }
    // After the machine slept: the site clock is read again, every bid whose
    // moment passed while asleep is placed now if its auction still runs
    // (with a notice that it is late and why), and the other pending items
    // are refreshed. The tick calls it when its wake detector says so.
    void OnWakeUp(int64_t sleptMs);

    // ---- notices ----
    CNoticeLog& Notices() { return m_notices; }
    bool Notify(const std::string& text, int level) { return m_notices.Notify(text, level); }
    void ShowBalloon(const std::string& title, const std::string& text);

    // A new bid set-up on item (the bid dialog's OK, a cancel): a result of
    // an earlier one no longer changes it, and an earlier bid's group slot
    // is no longer given back (the group's count is what the user set now).
    void NewBidSetup(CItem& item);
    // Whether a bid of this set-up was sent and its result is not back yet.
    bool IsBidResultOut(uint64_t setupSerial) const;
    // The list's clock keeper (started on first use).
    CClockKeeper& ClockKeeper() const;

    CebayDoc& Document() { return m_doc; }
    CInFlightList& UpdatesInFlight() { return m_updatesInFlight; }

    // Bids handed to the bid worker and bid results taken in, since the
    // start: a command sent to the list's owner waits on these for its bid.
    int BidsPosted() const { return m_nBidsPosted; }
    int BidResults() const { return m_nBidResults; }

private:
    void SetRowImage(int row, int image);
    void SetCell(int row, int col, const std::string& text);
    void NoticesForRefresh(CItem& u);
    // Items whose page was last not recognised (told once).
    std::set<std::string> m_notRecognised;
    void NoticesForEnd(CItem& u);
    // Asks the update worker once for the bid history of an ended item the
    // user bid on, to record how close the bid landed (BidLanding.cpp).
    void AskBidLanding(const CItem& item);
    // Gives the group slot held by the bid of this set-up back, once.
    void GiveSlotBack(uint64_t setupSerial);
    void RemoveRow(int row);
    bool InUpdateWindow(const CItem& item) const;
    void UpdateRecent();
    int64_t ClockOffset(bool refresh) const;
    // A batch of refreshes for the progress hook (WakeUp.cpp).
    void BeginBatch();
    void EndBatch();
    void BatchItemDone(const std::string& itemNumber);

    CebayDoc& m_doc;
    IListFrontEnd& m_front;
    CUiDispatcher& m_ui;
    std::unique_ptr<IJobSink> m_ownJobs;
    IJobSink* m_jobs = nullptr;

    std::vector<CItemRow> m_rows;
    CBidGroupList m_groups;
    CInFlightList m_updatesInFlight;
    CNoticeLog m_notices;
    int m_nSortKey = 1;
    int m_nFocusRow = -1;

    int64_t m_tUpdateReload = 0;
    int64_t m_tUpdateCountdown = 0;
    int64_t m_tLastTick = 0;  // local second of the last tick
    int64_t m_tLastVersionCheck = 0;
    int64_t m_tZero = 0;  // ZeroMoment(), taken at initialisation
    bool m_bInTick = false;
    bool m_bFilling = false;  // Initialize: one RowsChanged for all rows
    bool m_bShutDown = false;
    bool m_bUpdateRecent = false;
    int m_nBidsPosted = 0;
    int m_nBidResults = 0;
    int64_t m_nUpdateWindow = 0;  // seconds, with "Update Recent"

    CWakeDetector m_wake;
    bool m_bBatching = false;         // refreshes posted now join the batch
    std::vector<std::string> m_batch;  // numbers still to be answered
    int m_nBatchTotal = 0;            // posted in the batch so far
    size_t m_nBatchMark = 0;          // m_batch's size when posting began
    // The item and level of the notices being made (for ShowItemBalloon).
    std::string m_strBalloonItem;
    int m_nBalloonLevel = 2;

    int64_t m_tLastClockRead = 0;  // hour of the last hourly re-read asked for

    int m_nPreFlightSecs = 0;
    bool m_bDryRun = false;
    // By bid set-up: what was done ahead of its moment (kKeeperAsked, kChecked).
    std::map<uint64_t, int> m_snipePrep;
    std::map<uint64_t, bool> m_dryRunDone;
    int m_nChecksPosted = 0;
    int m_nCheckResults = 0;
    std::map<std::string, std::string> m_lastChecks;
    // A read of the site clock on the keeper's thread; when it was asked.
    void AskClockKeeper() const;
    mutable int64_t m_nLastKeeperAskMs = INT64_MIN / 2;
    // Pre-flight and clock read ahead of a scheduled bid (from the tick).
    void PrepareSnipe(CItem& item, int64_t momentMs, int64_t nowMs);
    void PostCheck(const CItem& item);

    // The bids sent, by the set-up they were made from: the group slot each
    // holds (given back at most once) and whether its result is still out.
    struct CBidTrack {
        std::string group;
        bool holdsSlot = false;
        bool resultOut = false;
    };
    std::map<uint64_t, CBidTrack> m_bids;
    mutable std::unique_ptr<CClockKeeper> m_keeper;  // made on first use
    // Once the site's clock was measured, every pending bid time is its site
    // moment on the local clock as the offset has it now: it follows a finer
    // measurement, a stepped local clock, another computer (Scheduler.cpp).
    void FollowClockOffset(int64_t offset);
    int64_t m_nBidClockOffset = 0;
    bool m_bBidClockKnown = false;
    // Pending bids came in that may not follow the offset yet (a file
    // loaded, a bid set up): the next tick looks at every one.
    bool m_bNewBidTimes = true;
    // A step of the computer's clock seen by the tick: timed bids wait for
    // the site's clock to be read again.
    void WatchClockStep();
    // Sends the row's bid when it is due (from the tick).
    void CheckBidDue(int row, int64_t now, int64_t nowMs);
    int64_t m_nTickStepMs = 0;
    bool m_bHoldBids = false;
    int m_nHoldReads = 0;          // the keeper's reads started when the hold began
    int64_t m_nHoldSinceMs = 0;    // monotonic
    int m_nKeeperReadsSeen = 0;
    std::string m_strClockHold;
    std::vector<std::string> m_landingAsked;  // items whose bid history was asked for

    std::function<void(VersionReport)> m_newerVersion;
    std::function<int64_t(bool)> m_offsetSource;
};

}  // namespace bexora
