#pragma once
// Bid groups: "win N of these". Items name their group in m_strBidGroup;
// the group counts the wins still wanted (m_nWanted) and the items that name
// it (m_nMembers). A group lives exactly while some item names it.
//
// Groups are touched on the UI thread only. The list view owns the list;
// the document writes it after the items in the same file.

#include <cstdint>
#include <list>
#include <memory>
#include <string>

#include "model/Archive.h"

namespace bexora {

class CBidGroup : public CObject {
    BEXORA_DECLARE_SERIAL(CBidGroup)

public:
    // What reading a file starts from.
    CBidGroup() = default;
    CBidGroup(std::string name, int32_t wanted) : m_strName(std::move(name)), m_nWanted(wanted) {}
    ~CBidGroup() override = default;

    int32_t GetWanted() const { return m_nWanted; }
    void SetWanted(int32_t wanted) { m_nWanted = wanted; }
    int32_t GetMembers() const { return m_nMembers; }
    // One member more (true) or fewer (false).
    void ChangeMembers(bool up) { m_nMembers += up ? 1 : -1; }
    std::string GetName() const { return m_strName; }

    void Serialize(CArchive& ar) override;

    std::string m_strName = "default";
    int32_t m_nWanted = 0;
    int32_t m_nMembers = 0;
};

// The groups of one item list, most recently created first. Owns them.
class CBidGroupList {
public:
    using List = std::list<std::unique_ptr<CBidGroup>>;
    // A group section claiming more groups is damaged: a list has no more
    // groups than items, and two-byte group records could otherwise fill
    // memory with millions of groups.
    static constexpr uint32_t kMaxGroups = 100000;

    CBidGroupList() = default;
    CBidGroupList(const CBidGroupList&) = delete;
    CBidGroupList& operator=(const CBidGroupList&) = delete;
    CBidGroupList(CBidGroupList&&) = default;
    CBidGroupList& operator=(CBidGroupList&&) = default;

    // The group named exactly name (case-sensitive), or null.
    CBidGroup* FindGroup(const std::string& name) const;
    // Joins the group name, creating it at the head when missing; its wanted
    // count becomes quantity either way. Returns true.
    bool JoinGroup(const std::string& name, int32_t quantity);
    // One member fewer; the group goes when none is left. An unknown name
    // does nothing.
    void LeaveGroup(const std::string& name);
    // Unlinks and deletes this very group; false when it is not in the list.
    bool RemoveGroup(const CBidGroup* group);

    // Writes or reads the group section. Archive format errors are
    // swallowed: a missing or damaged section leaves the groups read so far.
    void Serialize(CArchive& ar);

    // Appends at the tail (reading keeps the file's order).
    void AddTail(std::unique_ptr<CBidGroup> group) { m_list.push_back(std::move(group)); }
    void RemoveAll() { m_list.clear(); }

    std::size_t GetCount() const { return m_list.size(); }
    bool IsEmpty() const { return m_list.empty(); }
    const List& Groups() const { return m_list; }

private:
    List m_list;
};

}  // namespace bexora
