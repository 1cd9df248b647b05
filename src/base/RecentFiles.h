#pragma once
// The File menu's list of recently used item lists: at most four paths,
// the most recent first, kept in the settings file under "Recent File List"
// as "File1" to "File4" (where the program has always kept them).

#include <string>
#include <vector>

namespace bexora {

class CRecentFileList {
public:
    static constexpr int kSize = 4;

    // Reads the stored entries (empty ones are skipped).
    void ReadList();
    // Writes the entries back, clearing the keys of unused places.
    void WriteList() const;

    // Moves path to the front (an equal path already listed is not repeated).
    void Add(const std::string& path);
    void Remove(int index);
    int GetSize() const { return static_cast<int>(m_files.size()); }
    const std::string& operator[](int index) const { return m_files[index]; }
    const std::vector<std::string>& Files() const { return m_files; }

    // "&1 name" as the File menu shows an entry: the file name alone, with
    // ampersands doubled so they are not taken for an access letter.
    static std::string MenuText(int index, const std::string& path);

private:
    std::vector<std::string> m_files;
};

}  // namespace bexora
