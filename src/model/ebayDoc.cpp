#include "model/ebayDoc.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <unordered_map>

#include "base/AtomicFile.h"
#include "base/Prompt.h"
#include "base/Settings.h"
#include "model/PasswordVault.h"
#include "text/TextTools.h"

namespace bexora {

namespace {

std::string FormatMessage(const char* text, const std::string& file, const std::string& reason) {
    std::string out = text;
    ReplaceAll(out, "%1", file);
    ReplaceAll(out, "%2", reason);
    return out;
}

std::string FileNameOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    if (dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

}  // namespace

void RegisterModelClasses() {
    CArchive::RegisterClass(CItem::classCItem);
    CArchive::RegisterClass(CBidGroup::classCBidGroup);
}

void ReadItemSection(CArchive& ar, CebayDoc::ItemList& out) {
    uint32_t count = ar.ReadCount();
    if (count > CebayDoc::kMaxItems)
        throw CListTooLargeException(count, std::to_string(count) + " items, more than the " +
                                                std::to_string(CebayDoc::kMaxItems) +
                                                " a list may hold");
    // Not reserved from the count: a damaged file could claim many.
    while (count-- > 0) out.push_back(ar.ReadObjectOf<CItem>());
}

CebayDoc::CebayDoc() = default;
CebayDoc::~CebayDoc() = default;

CItem* CebayDoc::AddItem(std::unique_ptr<CItem> item) {
    m_itemList.push_back(std::move(item));
    return m_itemList.back().get();
}

bool CebayDoc::DeleteItem(const CItem* item) {
    auto it = std::find_if(m_itemList.begin(), m_itemList.end(),
                           [item](const auto& p) { return p.get() == item; });
    if (it == m_itemList.end()) return false;
    m_itemList.erase(it);
    return true;
}

CItem* CebayDoc::FindItem(const std::string& itemNumber) const {
    for (const auto& item : m_itemList)
        if (item->m_strItemNumber == itemNumber) return item.get();
    return nullptr;
}

CBidGroupList& CebayDoc::BidGroups() {
    return m_pView ? m_pView->GetBidGroups() : m_ownGroups;
}

bool CebayDoc::RebuildItemList() {
    if (m_pView) {
        // The rows decide the order. An item the rows do not show stays
        // after them rather than being lost; a row pointing at an item that
        // is not ours is a bug of the caller and is skipped.
        std::unordered_map<const CItem*, std::unique_ptr<CItem>*> owned;
        owned.reserve(m_itemList.size());
        for (auto& p : m_itemList) owned.emplace(p.get(), &p);
        ItemList ordered;
        ordered.reserve(m_itemList.size());
        for (CItem* row : m_pView->GetRowItems()) {
            auto it = owned.find(row);
            if (it == owned.end() || !*it->second) continue;
            ordered.push_back(std::move(*it->second));
        }
        for (auto& p : m_itemList)
            if (p) ordered.push_back(std::move(p));
        m_itemList = std::move(ordered);
    }
    bool pending = false;
    for (const auto& item : m_itemList)
        if (item->m_bBidPending) pending = true;
    return pending;
}

void CebayDoc::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        RebuildItemList();
        IPasswordVault* vault = ActivePasswordVault();
        if (vault) KeepPasswordsIn(*vault);
        ar.WriteCount(static_cast<uint32_t>(m_itemList.size()));
        for (const auto& item : m_itemList) {
            // A password the keyring holds is written as an empty field (an
            // older copy of the program reads the list all the same).
            if (vault && !item->m_strPassword.empty() && vault->Holds(item->m_strUserId, item->m_strPassword)) {
                std::string password;
                password.swap(item->m_strPassword);
                ar.WriteObject(*item);
                item->m_strPassword.swap(password);
            } else {
                if (!item->m_strPassword.empty()) NoteFilePasswordWritten();
                ar.WriteObject(*item);
            }
        }
        BidGroups().Serialize(ar);
        return;
    }
    RegisterModelClasses();
    ReadItemSection(ar, m_itemList);
    BidGroups().Serialize(ar);
}

void CebayDoc::DeleteContents() {
    m_itemList.clear();
    m_ownGroups.RemoveAll();
}

void CebayDoc::SetPathName(const std::string& path) {
    m_strPathName = path;
    m_strTitle = FileNameOf(path);
}

bool CebayDoc::OnNewDocument() {
    DeleteContents();
    m_bModified = false;

    CSettingsStore& store = Settings();
    std::string dir = store.GetString(setting::WorkDir);
    if (dir.empty()) {
        std::error_code ec;
        dir = std::filesystem::current_path(ec).string();
        if (!dir.empty()) store.WriteString(setting::WorkDir, dir);
    }
    // bexora1.bid to bexora30.bid, then round again; a name whose list (or
    // its lock, which a list another program runs holds) is there is passed
    // over, so a new list never overwrites one. With all thirty there, the
    // numbers go on past 30.
    int n = store.GetInt(setting::NextFile);
    auto taken = [&dir](int k) {
        std::error_code ec;
        const std::string path = JoinPath(dir, "bexora" + std::to_string(k) + ".bid");
        return std::filesystem::exists(path, ec) || std::filesystem::exists(path + ".lock", ec);
    };
    int tries = 0;
    while (taken(n) && tries < 30) {
        n = n < 30 ? n + 1 : 1;
        ++tries;
    }
    if (tries == 30)
        for (n = 31; taken(n) && n < 100000; ++n) {
        }
    const std::string name = "bexora" + std::to_string(n) + ".bid";
    store.WriteInt(setting::NextFile, n < 30 ? n + 1 : 1);
    m_strTitle = name;
    m_strPathName = JoinPath(dir, name);
    return true;
}

bool CebayDoc::OnOpenDocument(const std::string& path) {
    std::string bytes, error;
    if (!ReadRegularFile(path, bytes, kMaxFileBytes, &error)) {
        ShowPrompt(FormatMessage(kOpenFailedText, path, error), PromptButtons::Ok,
                   PromptIcon::Error);
        return false;
    }
    // Read into temporaries first: a failed open leaves the document as it was.
    ItemList items;
    CBidGroupList groups;
    try {
        RegisterModelClasses();
        CArchive ar(CArchive::load, bytes);
        ReadItemSection(ar, items);
        groups.Serialize(ar);
    } catch (const CListTooLargeException& e) {
        std::string reason = kTooManyItemsText;
        ReplaceAll(reason, "%1", std::to_string(e.GetCount()));
        ShowPrompt(FormatMessage(kOpenFailedText, path, reason), PromptButtons::Ok,
                   PromptIcon::Error);
        return false;
    } catch (const CArchiveException& e) {
        ShowPrompt(FormatMessage(kOpenFailedText, path,
                                 std::string("The file is damaged or is not an item list (") +
                                     e.what() + ")."),
                   PromptButtons::Ok, PromptIcon::Error);
        return false;
    }
    m_itemList = std::move(items);
    BidGroups() = std::move(groups);
    FillPasswordsFromKeyring();
    SetPathName(path);
    m_bModified = false;
    return true;
}

void CebayDoc::FillPasswordsFromKeyring() {
    m_filePasswords.clear();
    // Filled whatever "Keep passwords in" says, when a keyring answers: a
    // list whose passwords went there still bids once the files are chosen
    // (and its next save writes them into the file).
    IPasswordVault* vault = InstalledPasswordVault();
    if (!vault || !vault->Answers()) return;
    const bool keyringChosen = ChosenPasswordPlace() == PasswordPlace::Keyring;
    std::unordered_map<std::string, std::string> found;  // user -> password ("" none)
    for (const auto& item : m_itemList) {
        if (!item->m_strPassword.empty()) {
            if (keyringChosen) m_filePasswords.push_back(item->m_strItemNumber);
            continue;
        }
        if (item->m_strUserId.empty()) continue;
        auto it = found.find(item->m_strUserId);
        if (it == found.end()) {
            std::string password;
            if (vault->Find(item->m_strUserId, password, nullptr) != IPasswordVault::Found::Yes) password.clear();
            it = found.emplace(item->m_strUserId, password).first;
        }
        item->m_strPassword = it->second;
    }
}

void CebayDoc::KeepPasswordsIn(IPasswordVault& vault) {
    for (const auto& item : m_itemList) {
        const std::string& user = item->m_strUserId;
        const std::string& password = item->m_strPassword;
        if (user.empty() || password.empty() || vault.Holds(user, password)) continue;
        // Refused (locked, gone): the file keeps it rather than losing it.
        if (!vault.Keep(user, password, nullptr)) continue;
    }
    // Items that came with their password in the file say it moved.
    std::vector<std::string> still;
    for (const std::string& number : m_filePasswords) {
        CItem* item = FindItem(number);
        if (!item || item->m_strPassword.empty()) continue;
        if (!vault.Holds(item->m_strUserId, item->m_strPassword)) {
            still.push_back(number);
            continue;
        }
        item->m_strMessages.insert(0, std::string(kPasswordsMovedText) + "\n");
    }
    m_filePasswords = std::move(still);
}

std::string CebayDoc::StoreToBytes() {
    std::string bytes;
    CArchive ar(CArchive::store, bytes);
    Serialize(ar);
    return bytes;
}

bool CebayDoc::OnSaveDocument(const std::string& path) {
    const std::string bytes = StoreToBytes();
    std::string error;
    bool ok;
    // A read-only list stays as the user made it.
    if (access(path.c_str(), F_OK) == 0 && access(path.c_str(), W_OK) != 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        ok = false;
    } else {
        ok = AtomicWriteThroughLink(path, bytes, 0600, &error);
    }
    m_bLastSaveOk = ok;
    if (!ok) {
        ShowPrompt(FormatMessage(kSaveFailedText, path, error), PromptButtons::Ok,
                   PromptIcon::Error);
        return false;
    }
    SetPathName(path);
    m_bModified = false;
    return true;
}

bool CebayDoc::AutoSave() {
    const bool pending = RebuildItemList();
    std::string path = m_strPathName;
    if (path.empty()) {
        std::string name = m_strTitle.empty() ? "bexora.bid" : m_strTitle;
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".bid") != 0) name += ".bid";
        path = JoinPath(Settings().GetString(setting::WorkDir), name);
    }
    OnSaveDocument(path);
    return pending;
}

bool CebayDoc::CanCloseDocument(bool bEndingSession) {
    // Never "save changes?": the list is simply saved.
    const bool pending = AutoSave();
    if (bEndingSession) return true;
    // Closing after a failed save would throw the latest changes away.
    if (!m_bLastSaveOk && ShowPrompt(kCloseUnsavedQuestion, PromptButtons::YesNo,
                                     PromptIcon::Warning) == PromptAnswer::No)
        return false;
    if (pending && Settings().GetInt(setting::PromptPending) != 0 &&
        ShowPrompt(kPendingQuestion, PromptButtons::YesNo, PromptIcon::Question) ==
            PromptAnswer::No)
        return false;
    return true;
}

}  // namespace bexora
