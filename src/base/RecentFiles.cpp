#include "base/RecentFiles.h"

#include <algorithm>

#include "base/Settings.h"

namespace bexora {
namespace {

constexpr const char* kSection = "Recent File List";

std::string Key(int index) { return "File" + std::to_string(index + 1); }

}  // namespace

void CRecentFileList::ReadList() {
    m_files.clear();
    for (int i = 0; i < kSize; ++i) {
        std::string path = GetProfileString(kSection, Key(i), "");
        if (!path.empty() && std::find(m_files.begin(), m_files.end(), path) == m_files.end())
            m_files.push_back(std::move(path));
    }
}

void CRecentFileList::WriteList() const {
    for (int i = 0; i < kSize; ++i) {
        if (i < GetSize()) WriteProfileString(kSection, Key(i), m_files[i]);
        else Settings().DeleteProfileKey(kSection, Key(i));
    }
}

void CRecentFileList::Add(const std::string& path) {
    if (path.empty()) return;
    m_files.erase(std::remove(m_files.begin(), m_files.end(), path), m_files.end());
    m_files.insert(m_files.begin(), path);
    if (GetSize() > kSize) m_files.resize(kSize);
}

void CRecentFileList::Remove(int index) {
    if (index >= 0 && index < GetSize()) m_files.erase(m_files.begin() + index);
}

std::string CRecentFileList::MenuText(int index, const std::string& path) {
    std::string name = path.substr(path.find_last_of('/') == std::string::npos
                                       ? 0
                                       : path.find_last_of('/') + 1);
    std::string text = "&" + std::to_string(index + 1) + " ";
    for (char c : name) {
        if (c == '&') text += '&';
        text += c;
    }
    return text;
}

}  // namespace bexora
