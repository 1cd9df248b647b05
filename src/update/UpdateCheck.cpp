#include "update/UpdateCheck.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "base/AtomicFile.h"
#include "site/PageFetch.h"
#include "site/SiteEndpoints.h"
#include "text/TextTools.h"

namespace bexora {

namespace {

const char kBlanks[] = " \t";

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A decimal number the way atoi reads one (leading blanks, a sign, digits up
// to the first other character; 0 without digits), held inside int.
int DecimalValue(const std::string& text) {
    errno = 0;
    long long v = std::strtoll(text.c_str(), nullptr, 10);
    if (errno == ERANGE || v > INT_MAX) return v < 0 ? INT_MIN : INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

std::string VersionText(const std::string& line) { return Trim(Mid(line, 8, 10), kBlanks); }

std::string ReadLink(const char* link) {
    char buf[4096];
    ssize_t n = readlink(link, buf, sizeof buf - 1);
    if (n <= 0) return {};
    std::string path(buf, static_cast<size_t>(n));
    // The binary was replaced or removed since it started.
    const std::string deleted = " (deleted)";
    if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
        path.resize(path.size() - deleted.size());
    return path;
}

}  // namespace

int UpdateVersionNumber(const std::string& versionLine) {
    std::string digits = VersionText(versionLine);
    digits.erase(std::remove(digits.begin(), digits.end(), '.'), digits.end());
    return DecimalValue(digits);
}

CUpdateInstructions ParseUpdateInstructions(const std::string& text) {
    CUpdateInstructions in;
    // The line reader needs a line feed after the last line; a file whose
    // last name has none still names that file.
    std::string t = text;
    if (!t.empty() && t.back() != '\n') t += '\n';
    CLineReader reader;
    reader.NextLine(t, true);
    auto next = [&]() {
        std::string line = reader.NextLine(t);
        return line == "<>" ? std::string() : line;
    };
    if (Lower(next()) != "[update]") return in;
    in.m_bValid = true;
    std::string versionLine = next();
    in.m_strVersion = VersionText(versionLine);
    in.m_nVersion = UpdateVersionNumber(versionLine);
    next();  // notes, not read
    in.m_strBaseUrl = Trim(Mid(next(), 5, 100), kBlanks);
    in.m_nFiles = DecimalValue(Mid(next(), 14, 5));
    for (int i = 0; i < in.m_nFiles; ++i) {
        std::string line = next();
        if (line.empty()) break;
        in.m_files.push_back(Trim(Mid(line, 3, 100), kBlanks));
    }
    return in;
}

std::string ProgramFolder() {
    std::string exe = GetRestartCommand().m_strProgram;
    if (exe.empty()) exe = ReadLink("/proc/self/exe");
    return exe.empty() ? std::string(".") : DirName(exe);
}

std::string UpdateInstructionsUrl() { return site::UpdateBaseUrl() + kUpdateFileName; }

CUpdateOffer CheckUpdateOffer(const std::string& folder) {
    CUpdateOffer offer;
    std::string text;
    if (FetchPage(UpdateInstructionsUrl(), text).empty()) return offer;
    // Only the first two lines matter here, read as the line reader gives them.
    CLineReader reader;
    reader.NextLine(text, true);
    if (Lower(reader.NextLine(text)) != "[update]") return offer;
    offer.m_bRead = true;
    // A copy that cannot be written shows up when the download opens it.
    WriteTextFile(text, folder + "/" + kUpdateFileName);
    std::string versionLine = reader.NextLine(text);
    offer.m_strVersion = VersionText(versionLine);
    offer.m_nVersion = UpdateVersionNumber(versionLine);
    offer.m_bOffered = offer.m_nVersion > kInstalledVersion;
    return offer;
}

bool CheckForUpdate(const std::string& folder) { return CheckUpdateOffer(folder).m_bOffered; }

bool CheckForUpdate() { return CheckForUpdate(ProgramFolder()); }

const CRestartCommand& GetRestartCommand() {
    static const CRestartCommand command = [] {
        CRestartCommand c;
        c.m_strProgram = ReadLink("/proc/self/exe");
        std::string cmdline;
        if (ReadWholeFile("/proc/self/cmdline", cmdline)) {
            size_t pos = 0;
            bool first = true;
            while (pos < cmdline.size()) {
                size_t end = cmdline.find('\0', pos);
                if (end == std::string::npos) end = cmdline.size();
                if (!first) c.m_args.push_back(cmdline.substr(pos, end - pos));
                first = false;
                pos = end + 1;
            }
        }
        return c;
    }();
    return command;
}

}  // namespace bexora
