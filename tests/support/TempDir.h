#pragma once
// A fresh folder under /tmp, removed with everything in it at destruction.

#include <cstdlib>
#include <filesystem>
#include <string>

namespace bexora::test {

class TempDir {
public:
    TempDir() {
        std::string tmpl = "/tmp/bexora-test-XXXXXX";
        char* made = mkdtemp(tmpl.data());
        m_path = made ? made : "/tmp";
    }
    ~TempDir() {
        std::error_code ec;
        if (m_path != "/tmp") std::filesystem::remove_all(m_path, ec);
    }
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

}  // namespace bexora::test
