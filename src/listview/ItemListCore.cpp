#include "listview/ItemListCore.h"

#include <strings.h>

#include <algorithm>
#include <ctime>

#include "base/Prompt.h"
#include "site/SiteTime.h"
#include "text/TextTools.h"

namespace bexora {

namespace {

const std::string kNA = "N/A";
const std::string kEmpty;

bool IsNA(const std::string& s) { return s == kNA; }
bool IsNANoCase(const std::string& s) { return strcasecmp(s.c_str(), "N/A") == 0; }

int CompareBytes(const std::string& a, const std::string& b) {
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace

const std::array<ListColumnDef, kColumnCount>& ListColumns() {
    static const std::array<ListColumnDef, kColumnCount> columns{{
        {"Item #", false, 86, false, false},
        {"Description", false, 341, true, false},
        {"Current bid", false, 71, true, false},
        {"Shipping", false, 57, true, false},
        {"Qty", true, 37, true, false},
        {"Bid No.", true, 54, true, false},
        {"Time left", true, 71, true, false},
        {"EndTime", true, 103, true, true},
        {"Seller", false, 113, true, true},
        {"Feedback", true, 62, true, true},
        {"Percent", true, 55, true, true},
        {"My bid", false, 49, true, false},
        {"Bid group", false, 62, true, false},
    }};
    return columns;
}

int ComparePrice(const std::string& a, const std::string& b) {
    static const char* kNumberChars = "0123456789,.";
    // Different currency prefixes order by prefix, the same one by value.
    const int byText = CompareBytes(Trim(a, kNumberChars), Trim(b, kNumberChars));
    if (byText != 0) return byText;
    const double va = PriceValue(a);
    const double vb = PriceValue(b);
    return va < vb ? -1 : (va > vb ? 1 : 0);
}

int CompareItems(const CItem& a, const CItem& b, int key) {
    int r = 0;
    switch (key < 0 ? -key : key) {
        case 1: r = ComparePrice(a.m_strItemNumber, b.m_strItemNumber); break;
        case 2: r = CompareBytes(a.m_strTitle, b.m_strTitle); break;
        case 3: r = ComparePrice(a.m_strCurrentPrice, b.m_strCurrentPrice); break;
        case 4: r = ComparePrice(a.m_strShipping, b.m_strShipping); break;
        case 5: r = ComparePrice(a.m_strQuantity, b.m_strQuantity); break;
        case 6: r = ComparePrice(a.m_strBidCount, b.m_strBidCount); break;
        case 7:
        case 8:
            // Compared as whole values: the difference of two far-apart times
            // does not fit 32 bits, and a sort needs a consistent order.
            r = a.m_tEndTime < b.m_tEndTime ? -1 : (a.m_tEndTime > b.m_tEndTime ? 1 : 0);
            break;
        case 9: r = CompareBytes(a.m_strSeller, b.m_strSeller); break;
        case 10: r = ComparePrice(a.m_strFeedback, b.m_strFeedback); break;
        case 11: r = ComparePrice(a.m_strPercent, b.m_strPercent); break;
        case 12: r = ComparePrice(a.m_strMyBid, b.m_strMyBid); break;
        case 13: {
            const bool na = IsNA(a.m_strBidGroup), nb = IsNA(b.m_strBidGroup);
            if (na || nb) r = na == nb ? 0 : (na ? -1 : 1);
            else r = CompareBytes(a.m_strBidGroup, b.m_strBidGroup);
            break;
        }
        default: break;
    }
    return key < 0 ? -r : r;
}

int64_t ZeroMoment() {
    struct tm tm {};
    tm.tm_year = 100;
    tm.tm_mon = 0;
    tm.tm_mday = 1;
    tm.tm_isdst = -1;
    return static_cast<int64_t>(mktime(&tm));
}

std::string FormatClockTime(int64_t t) {
    const time_t tt = static_cast<time_t>(t);
    struct tm tm {};
    if (!localtime_r(&tt, &tm)) return {};
    char buf[128];
    const size_t n = strftime(buf, sizeof buf, "%X", &tm);
    return std::string(buf, n);
}

// ---- the workers ----

CWorkerJobSink::CWorkerJobSink(IWorkerOwner& owner, CUiDispatcher& ui, CWebThread::RefreshFn refresh)
    : m_web(&owner, ui, std::move(refresh)), m_bid(&owner, ui) {
    m_web.CreateThread();
    m_bid.CreateThread();
}

CWorkerJobSink::~CWorkerJobSink() { Stop(); }

void CWorkerJobSink::PostUpdate(std::unique_ptr<CItem> copy) { m_web.PostUpdate(std::move(copy)); }
void CWorkerJobSink::PostBid(std::unique_ptr<CBidRequest> request) { m_bid.PostBid(std::move(request)); }
void CWorkerJobSink::PostBidHistory(std::unique_ptr<CItem> copy) { m_web.PostBidHistory(std::move(copy)); }
void CWorkerJobSink::PostCheck(std::unique_ptr<CBidRequest> request) { m_bid.PostCheck(std::move(request)); }

void CWorkerJobSink::Stop() {
    m_web.StopWorker();
    m_bid.StopWorker();
}

// ---- construction ----

CItemListCore::CItemListCore(CebayDoc& doc, IListFrontEnd& front, CUiDispatcher& ui, IJobSink* jobs,
                             CWebThread::RefreshFn refresh)
    : m_doc(doc), m_front(front), m_ui(ui), m_jobs(jobs) {
    // The groups the document read belong to the list from now on.
    for (auto& g : doc.BidGroups().Groups()) {
        auto copy = std::make_unique<CBidGroup>(g->m_strName, g->m_nWanted);
        copy->m_nMembers = g->m_nMembers;
        m_groups.AddTail(std::move(copy));
    }
    doc.BidGroups().RemoveAll();
    doc.SetListView(this);
    m_notices.SetListener([this](const std::string& text, int level) { m_front.NoticeAdded(text, level); });
    if (!m_jobs) {
        m_ownJobs = std::make_unique<CWorkerJobSink>(*this, ui, std::move(refresh));
        m_jobs = m_ownJobs.get();
    }
    // Messages raised on the workers (the clock warning) are shown on this
    // list's UI thread; one raised on that thread is shown at once (a
    // one-shot command of bexora-cli pumps no queue).
    InstallUiPoster(this, [this](std::function<void()> call) {
        return !m_ui.IsUiThread() && m_ui.Post(&m_bids, std::move(call));
    });
}

CItemListCore::~CItemListCore() {
    Shutdown();
    // The document keeps the groups for a save without a view.
    if (m_doc.GetListView() == this) {
        m_doc.SetListView(nullptr);
        for (auto& g : m_groups.Groups()) {
            auto copy = std::make_unique<CBidGroup>(g->m_strName, g->m_nWanted);
            copy->m_nMembers = g->m_nMembers;
            m_doc.BidGroups().AddTail(std::move(copy));
        }
    }
}

void CItemListCore::Shutdown() {
    if (m_bShutDown) return;
    m_bShutDown = true;
    RemoveUiPoster(this);
    m_ui.Close(&m_bids);  // messages not shown yet go with the list
    m_ui.Forget(&m_bids);
    m_updatesInFlight.Clear();
    if (m_jobs) m_jobs->Stop();
    if (m_keeper) m_keeper->Stop();
    RebuildItemList();
    m_doc.AutoSave();
}

// ---- rows ----

std::vector<CItem*> CItemListCore::GetRowItems() const {
    std::vector<CItem*> items;
    items.reserve(m_rows.size());
    for (const CItemRow& r : m_rows) items.push_back(r.item);
    return items;
}

CItem* CItemListCore::GetItem(int row) const {
    return row >= 0 && row < GetRowCount() ? m_rows[row].item : nullptr;
}

const std::string& CItemListCore::GetCellText(int row, int col) const {
    if (row < 0 || row >= GetRowCount() || col < 0 || col >= kColumnCount) return kEmpty;
    return m_rows[row].cells[col];
}

int CItemListCore::GetRowImage(int row) const {
    return row >= 0 && row < GetRowCount() ? m_rows[row].image : kImageNormal;
}

RowColour CItemListCore::GetRowColour(int row) const {
    const CItem* item = GetItem(row);
    if (!item) return rowcolour::kPlain;
    if (item->m_bUpdateFailed) return rowcolour::kUpdateFailed;
    if (item->m_bNotified) return rowcolour::kNotified;
    if (item->m_bHighBidder) return rowcolour::kHighBidder;
    if (item->m_bBidPending) {
        // A group that is not in the list counts as no group.
        const CBidGroup* g = IsNA(item->m_strBidGroup) ? nullptr : m_groups.FindGroup(item->m_strBidGroup);
        return g && g->GetWanted() <= 0 ? rowcolour::kPendingGroupFull : rowcolour::kPending;
    }
    if (item->m_bChanged) return rowcolour::kChanged;
    if (item->m_bFresh) return rowcolour::kFresh;
    return rowcolour::kPlain;
}

std::string CItemListCore::GetTipText(int row) const {
    const CItem* item = GetItem(row);
    return item && !item->m_strNote.empty() ? item->m_strNote : std::string();
}

std::string CItemListCore::GetTipTitle(int row) const {
    const CItem* item = GetItem(row);
    if (!item || item->m_strNote.empty()) return {};
    if (item->m_bFresh) return "Item: " + item->m_strItemNumber;
    if (item->m_strTimeLeft != listtext::kEnded) return "Time left: " + item->m_strTimeLeft;
    return "Item is ended.";
}

int CItemListCore::FindRow(const std::string& itemNumber) const {
    for (int i = 0; i < GetRowCount(); ++i)
        if (m_rows[i].item->m_strItemNumber == itemNumber) return i;
    return -1;
}

int CItemListCore::InsertItemRow(CItem* item) {
    if (item->m_nSetupSerial == 0) item->m_nSetupSerial = CItem::NewSetupSerial();
    if (item->m_bBidPending) m_bNewBidTimes = true;
    // A bid sent in an earlier run that still leads holds its group's slot
    // until it is outbid.
    if (item->m_bHighBidder && !item->m_bNotified && !IsNA(item->m_strMyBid) && !IsNA(item->m_strBidGroup))
        m_bids[item->m_nSetupSerial] = CBidTrack{item->m_strBidGroup, true, false};
    CItemRow row;
    row.item = item;
    row.cells[kColItem] = item->m_strItemNumber;
    row.image = item->m_strNote.empty() ? kImageNormal : kImageNote;
    m_rows.push_back(std::move(row));
    const int r = GetRowCount() - 1;
    FillRow(r, *item);
    if (!m_bFilling) m_front.RowsChanged();
    return r;
}

void CItemListCore::SetCell(int row, int col, const std::string& text) {
    std::string& cell = m_rows[row].cells[col];
    if (cell == text) return;
    cell = text;
    m_front.CellChanged(row, col);
}

void CItemListCore::FillRow(int row, const CItem& item) {
    if (row < 0 || row >= GetRowCount()) return;
    const std::string* fields[] = {nullptr,           &item.m_strTitle,    &item.m_strCurrentPrice,
                                   &item.m_strShipping, &item.m_strQuantity, &item.m_strBidCount,
                                   &item.m_strTimeLeft};
    for (int c = 1; c <= 6; ++c) {
        const std::string& field = *fields[c];
        const std::string& cell = m_rows[row].cells[c];
        if (cell == field) continue;
        // "N/A" fills an empty cell but never hides a value shown before.
        if (IsNANoCase(field) && !cell.empty()) continue;
        SetCell(row, c, field);
    }
    SetCell(row, kColEndTime,
            item.m_tEndTime == 0 ? kNA : FormatLocalTime(item.m_tEndTime + ClockOffset(false)));
    SetCell(row, kColSeller, item.m_strSeller);
    SetCell(row, kColFeedback, item.m_strFeedback);
    SetCell(row, kColPercent, IsNA(item.m_strPercent) ? kNA : item.m_strPercent + "%");
    SetCell(row, kColMyBid, item.m_strMyBid);
    SetCell(row, kColBidGroup, item.m_strBidGroup);
}

void CItemListCore::RedrawRow(int row) {
    if (row < 0 || row >= GetRowCount()) return;
    m_front.RedrawRow(row);
}

void CItemListCore::RedrawGroupRows(const std::string& groupName) {
    for (int i = 0; i < GetRowCount(); ++i)
        if (m_rows[i].cells[kColBidGroup] == groupName) RedrawRow(i);
}

void CItemListCore::SetStatusText(const std::string& text) { m_front.SetStatusText(text); }

bool CItemListCore::RebuildItemList() { return m_doc.RebuildItemList(); }

void CItemListCore::SaveDocument() { m_doc.AutoSave(); }

void CItemListCore::SetRowImage(int row, int image) {
    if (row < 0 || row >= GetRowCount()) return;
    CItemRow& r = m_rows[row];
    r.cells[kColItem] = r.item->m_strItemNumber;
    if (r.image == image) return;
    r.image = image;
    m_front.CellChanged(row, kColItem);
}

// ---- adding ----

bool CItemListCore::AddSingleItem(const std::string& typedNumber) {
    const std::string number = Trim(typedNumber, " ");
    auto item = std::make_unique<CItem>();
    item->m_strItemNumber = number;
    // An empty number has no page to read.
    const bool fetched = !number.empty() && item->UpdateFromSite();
    return AddFetchedItem(std::move(item), fetched);
}

bool CItemListCore::AddFetchedItem(std::unique_ptr<CItem> item, bool fetched) {
    if (!item || !fetched) {
        ShowPrompt(listtext::kCannotAdd, PromptButtons::Ok, PromptIcon::Warning);
        return false;
    }
    const std::string number = item->m_strItemNumber;
    if (FindRow(number) >= 0) {
        MergeItem(*item, true, false);
        ShowPrompt(listtext::kAlreadyInList, PromptButtons::Ok, PromptIcon::Information);
        return false;
    }
    InsertItemRow(m_doc.AddItem(std::move(item)));
    SaveDocument();
    return true;
}

int CItemListCore::AddItemIfNew(std::unique_ptr<CItem> item, bool refresh) {
    if (!item) return 0;
    const int row = FindRow(item->m_strItemNumber);
    if (row >= 0) {
        if (refresh) {
            m_rows[row].item->CopyPageFields(*item);
            FillRow(row, *m_rows[row].item);
            RedrawRow(row);
        }
        return 0;
    }
    InsertItemRow(m_doc.AddItem(std::move(item)));
    return 1;
}

// ---- selection ----

std::vector<int> CItemListCore::GetSelectedRows() const {
    std::vector<int> rows;
    for (int i = 0; i < GetRowCount(); ++i)
        if (m_rows[i].selected) rows.push_back(i);
    return rows;
}

void CItemListCore::SetSelectedRows(const std::vector<int>& rows) {
    for (CItemRow& r : m_rows) r.selected = false;
    for (int i : rows)
        if (i >= 0 && i < GetRowCount()) m_rows[i].selected = true;
}

void CItemListCore::SelectRow(int row, bool selected) {
    if (row < 0 || row >= GetRowCount()) return;
    m_rows[row].selected = selected;
    if (selected) m_nFocusRow = row;
}

void CItemListCore::SelectAll() {
    for (CItemRow& r : m_rows) r.selected = true;
    m_front.RowsChanged();
}

void CItemListCore::ClearSelection() {
    for (CItemRow& r : m_rows) r.selected = false;
}

bool CItemListCore::SelectItems(const std::vector<std::string>& itemNumbers) {
    ClearSelection();
    bool all = true;
    for (const std::string& n : itemNumbers) {
        const int row = FindRow(n);
        if (row < 0) all = false;
        else SelectRow(row);
    }
    return all;
}

// ---- item commands ----

void CItemListCore::RemoveRow(int row) {
    CItem* item = m_rows[row].item;
    // A late refresh of it then merges into nothing.
    m_updatesInFlight.Remove(item->m_strItemNumber);
    if (!IsNA(item->m_strBidGroup)) m_groups.LeaveGroup(item->m_strBidGroup);
    m_rows.erase(m_rows.begin() + row);
    m_doc.DeleteItem(item);
}

void CItemListCore::OnDeleteItem() {
    int last = -1;
    for (;;) {
        auto it = std::find_if(m_rows.begin(), m_rows.end(), [](const CItemRow& r) { return r.selected; });
        if (it == m_rows.end()) break;
        last = static_cast<int>(it - m_rows.begin());
        RemoveRow(last);
    }
    if (last < 0) return;
    m_nFocusRow = -1;
    if (!m_rows.empty()) SelectRow(std::min(last, GetRowCount() - 1));
    m_front.RowsChanged();
    SaveDocument();
}

void CItemListCore::OnCancelPendingBid() {
    for (int row : GetSelectedRows()) {
        CItem& item = *m_rows[row].item;
        if (!item.m_bBidPending) continue;
        NewBidSetup(item);
        item.m_bBidPending = 0;
        item.m_strMyBid = kNA;
        if (!IsNA(item.m_strBidGroup)) {
            m_groups.LeaveGroup(item.m_strBidGroup);
            item.m_strBidGroup = kNA;
            RedrawGroupRows(kNA);
        }
        MergeItem(item, false, true);
        SaveDocument();
        RedrawRow(row);
    }
}

void CItemListCore::OnViewHistory() {
    const std::vector<int> rows = GetSelectedRows();
    if (rows.empty()) return;
    const CItem& item = *m_rows[rows.front()].item;
    ShowPrompt(item.m_strMessages.empty() ? notice::kNoHistory : item.m_strMessages, PromptButtons::Ok,
               PromptIcon::Information);
}

std::string CItemListCore::GetNoteForDialog(int row) const {
    const CItem* item = GetItem(row);
    return item ? TrimRight(item->m_strNote, "\n ") : std::string();
}

void CItemListCore::SetNote(int row, const std::string& note) {
    CItem* item = GetItem(row);
    if (!item) return;
    item->m_strNote = Trim(note, "\r\n");
    SetRowImage(row, item->m_strNote.empty() ? kImageNormal : kImageNote);
    RedrawRow(row);
    // A note is the user's data: keep it like every other change.
    SaveDocument();
}

void CItemListCore::SortByColumn(int col) {
    if (col < 0 || col >= kColumnCount) return;
    const int k = col + 1;
    Sort(m_nSortKey == k ? -k : k);
}

void CItemListCore::Sort(int key) {
    if (key == 0 || key > kColumnCount || key < -kColumnCount) return;
    m_nSortKey = key;
    std::stable_sort(m_rows.begin(), m_rows.end(), [key](const CItemRow& a, const CItemRow& b) {
        return CompareItems(*a.item, *b.item, key) < 0;
    });
    m_nFocusRow = -1;
    m_front.RowsChanged();
}

void CItemListCore::ShowBalloon(const std::string& title, const std::string& text) {
    m_front.ShowItemBalloon(title.substr(0, 63), text.substr(0, 255), m_strBalloonItem,
                            m_nBalloonLevel);
}

}  // namespace bexora
