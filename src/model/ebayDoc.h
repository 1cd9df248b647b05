#pragma once
// CebayDoc: one open item list, kept in one .bid file. It owns the items in
// display order, reads and writes the file (items, then the bid groups),
// names new lists in the work folder, saves itself after every change that
// matters without asking, and asks before closing only when scheduled bids
// would be lost. No Qt: the desktop program and bexora-cli use it alike.
//
// The .bid file is the archive stream of two object lists: a count and that
// many CItem objects, then a count and that many CBidGroup objects. A file
// without the group section (older files) opens with no groups.
//
// UI thread only; workers get copies of items, never these.

#include <memory>
#include <string>
#include <vector>

#include "model/Archive.h"
#include "model/BidGroup.h"
#include "model/Item.h"

namespace bexora {

// Makes CItem and CBidGroup known to archive loading. Called by the document
// before every load; call it before loading archives by other means.
void RegisterModelClasses();

// The list view a document talks to, as far as the document needs it. The
// rows point at the document's own items; the groups belong to the view.
class IItemListView {
public:
    virtual ~IItemListView() = default;
    // The item of every row, in display order. Each is an item of the
    // document the view shows.
    virtual std::vector<CItem*> GetRowItems() const = 0;
    // The view's bid groups, which travel in the file after the items.
    virtual CBidGroupList& GetBidGroups() = 0;
};

// An item section claiming more items than a list may hold: refused before
// any item is read, since millions of tiny records would exhaust memory at
// every start (the most recent list is opened at start).
class CListTooLargeException : public CArchiveException {
public:
    CListTooLargeException(uint32_t count, const std::string& what)
        : CArchiveException(Cause::Generic, what), m_nCount(count) {}
    uint32_t GetCount() const { return m_nCount; }

private:
    uint32_t m_nCount;
};

class IPasswordVault;

class CebayDoc : public CObject {
public:
    using ItemList = std::vector<std::unique_ptr<CItem>>;

    // Bounds of a list that opens: the file's size, checked before it is
    // read, and its number of items, checked before they are read.
    static constexpr uint64_t kMaxFileBytes = 256ull * 1024 * 1024;
    static constexpr uint32_t kMaxItems = 100000;

    // Texts of the messages and the close question.
    static constexpr const char* kPendingQuestion =
        "You have pending bids going on.\nDo you still want to exit?";
    // %1 is the file, %2 the reason.
    static constexpr const char* kOpenFailedText = "Cannot open the item list %1.\n%2";
    static constexpr const char* kSaveFailedText = "Cannot save the item list %1.\n%2";
    // %1 is the number of items in the file.
    static constexpr const char* kTooManyItemsText =
        "The list holds %1 items; at most 100000 can be opened.";
    // The history line of an item whose password moved from the list file
    // into the keyring.
    static constexpr const char* kPasswordsMovedText = "Passwords moved to the keyring";
    static constexpr const char* kCloseUnsavedQuestion =
        "The item list could not be saved.\nClose it anyway and lose the latest changes?";

    CebayDoc();
    ~CebayDoc() override;
    CebayDoc(const CebayDoc&) = delete;
    CebayDoc& operator=(const CebayDoc&) = delete;

    // The view whose rows give the item order and whose groups are written
    // (nullptr: none; the document then keeps its own order and groups).
    // Not owned.
    void SetListView(IItemListView* view) { m_pView = view; }
    IItemListView* GetListView() const { return m_pView; }

    // ---- items ----
    ItemList& Items() { return m_itemList; }
    const ItemList& Items() const { return m_itemList; }
    // Takes the item, appends it and returns it.
    CItem* AddItem(std::unique_ptr<CItem> item);
    // Removes and deletes this very item; false when it is not the document's.
    bool DeleteItem(const CItem* item);
    // The first item with this number, or null.
    CItem* FindItem(const std::string& itemNumber) const;
    // The groups written with the items: the view's, or the document's own.
    CBidGroupList& BidGroups();

    // Puts m_itemList into the order of the view's rows (with no view the
    // order stays); true when any item has a bid pending.
    bool RebuildItemList();

    // ---- the framework's document interface ----
    // Storing: RebuildItemList, the items, then the groups. Loading appends
    // the file's items and groups; throws CArchiveException when the item
    // section is damaged (group errors are swallowed).
    void Serialize(CArchive& ar) override;
    // Empties the document: deletes its items and its own groups.
    void DeleteContents();

    // File New: an empty list named "bexora<n>.bid" in the work folder; the
    // file itself is written by the first save.
    bool OnNewDocument();
    // Reads path: a regular file of at most kMaxFileBytes with at most
    // kMaxItems items. On failure the message names the file and the
    // reason, and the document is left exactly as it was.
    bool OnOpenDocument(const std::string& path);
    // Writes the list to path atomically (the old file survives any failure)
    // with mode 0600, since it holds passwords. A path that is a symbolic
    // link stays one: its target is replaced. On success the document's
    // path becomes path and its modified flag is cleared; on failure the
    // message names the file and the reason.
    bool OnSaveDocument(const std::string& path);
    // Saves without asking, to the document's path (or one in the work
    // folder when it has none). Returns whether bids are pending.
    bool AutoSave();
    // The may-close hook: saves, then asks about pending bids unless the
    // session is ending or "Prompt pending" is off. False keeps it open.
    bool CanCloseDocument(bool bEndingSession);

    // The bytes Serialize stores (what a save writes).
    std::string StoreToBytes();
    // Whether the last save succeeded (false before any).
    bool LastSaveSucceeded() const { return m_bLastSaveOk; }

    const std::string& GetPathName() const { return m_strPathName; }
    void SetPathName(const std::string& path);
    const std::string& GetTitle() const { return m_strTitle; }
    void SetTitle(const std::string& title) { m_strTitle = title; }
    bool IsModified() const { return m_bModified; }
    void SetModifiedFlag(bool modified = true) { m_bModified = modified; }

private:
    // Loading: the passwords the keyring holds for items whose field is
    // empty. Storing: the passwords not yet in the keyring go there.
    void FillPasswordsFromKeyring();
    void KeepPasswordsIn(IPasswordVault& vault);

    ItemList m_itemList;
    // Numbers of the items opened with a password in the file while the
    // keyring is chosen.
    std::vector<std::string> m_filePasswords;
    CBidGroupList m_ownGroups;
    IItemListView* m_pView = nullptr;
    std::string m_strPathName;
    std::string m_strTitle;
    bool m_bModified = false;
    bool m_bLastSaveOk = false;
};

// Reads the item section (a count and that many items) and appends to out;
// throws CArchiveException on anything malformed, CListTooLargeException
// for a count above CebayDoc::kMaxItems.
void ReadItemSection(CArchive& ar, CebayDoc::ItemList& out);

}  // namespace bexora
