#include "model/BidGroup.h"

#include "base/Prompt.h"

namespace bexora {

BEXORA_IMPLEMENT_SERIAL(CBidGroup, 2, true);

void CBidGroup::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar.WriteString(m_strName);
        ar.WriteInt(m_nWanted);
        ar.WriteInt(m_nMembers);
        return;
    }
    switch (ar.GetObjectSchema()) {
        case 2:
            m_strName = ar.ReadString();
            m_nWanted = ar.ReadInt();
            m_nMembers = ar.ReadInt();
            break;
        case 1:
            // Old groups stored nothing; the defaults stand.
            break;
        default:
            // Nothing is read, so what follows is out of step; the list swallows
            // the errors that brings.
            ShowPrompt("sw:Unknown file format", PromptButtons::Ok, PromptIcon::Warning);
            break;
    }
}

CBidGroup* CBidGroupList::FindGroup(const std::string& name) const {
    for (const auto& group : m_list)
        if (group->m_strName == name) return group.get();
    return nullptr;
}

bool CBidGroupList::JoinGroup(const std::string& name, int32_t quantity) {
    CBidGroup* group = FindGroup(name);
    if (group) {
        group->SetWanted(quantity);
    } else {
        m_list.push_front(std::make_unique<CBidGroup>(name, quantity));
        group = m_list.front().get();
    }
    group->ChangeMembers(true);
    return true;
}

void CBidGroupList::LeaveGroup(const std::string& name) {
    CBidGroup* group = FindGroup(name);
    if (!group) return;
    group->ChangeMembers(false);
    if (group->GetMembers() <= 0) RemoveGroup(group);
}

bool CBidGroupList::RemoveGroup(const CBidGroup* group) {
    for (auto it = m_list.begin(); it != m_list.end(); ++it) {
        if (it->get() == group) {
            m_list.erase(it);
            return true;
        }
    }
    return false;
}

void CBidGroupList::Serialize(CArchive& ar) {
    try {
        if (ar.IsStoring()) {
            ar.WriteCount(static_cast<uint32_t>(m_list.size()));
            for (const auto& group : m_list) ar.WriteObject(*group);
            return;
        }
        // A file from before groups ends after the items.
        if (ar.AtEnd()) return;
        uint32_t count = ar.ReadCount();
        if (count > kMaxGroups)
            throw CArchiveException(CArchiveException::Cause::Generic, "too many groups");
        while (count-- > 0) m_list.push_back(ar.ReadObjectOf<CBidGroup>());
    } catch (const CArchiveException&) {
        // Groups are a convenience; a damaged section must not stop the
        // list from opening.
    }
}

}  // namespace bexora
