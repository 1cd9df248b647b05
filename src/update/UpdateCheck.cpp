#include "update/UpdateCheck.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "base/AtomicFile.h"
#include "site/PageFetch.h"
#include "site/SiteEndpoints.h"
#include "text/TextTools.h"
#include "update/Download.h"
#include "update/UpdateSignature.h"
#include "update/UpdateSwap.h"

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

bool ParseCheck(const std::string& line, CUpdateInstructions::Check& check) {
    const std::string value = Trim(Mid(line, 3, 100), kBlanks);
    const size_t blank = value.find_first_of(kBlanks);
    if (blank != 64) return false;
    std::string hex = Lower(value.substr(0, 64));
    if (hex.find_first_not_of("0123456789abcdef") != std::string::npos) return false;
    const std::string size = Trim(value.substr(blank), kBlanks);
    if (size.empty() || size.size() > 19 || size.find_first_not_of("0123456789") != std::string::npos)
        return false;
    check.m_strSha256 = hex;
    check.m_nSize = std::strtoull(size.c_str(), nullptr, 10);
    return true;
}

std::atomic<int> g_testUid{-1};

// update.txt is a few hundred bytes; anything near this is not one.
constexpr size_t kMaxInstructionBytes = 1u << 20;

}  // namespace

bool CUpdateInstructions::Complete() const {
    return m_bValid && m_nFiles >= 0 && m_files.size() == static_cast<size_t>(m_nFiles) &&
           m_checks.size() == m_files.size();
}

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
    for (size_t i = 0; i < in.m_files.size(); ++i) {
        CUpdateInstructions::Check check;
        if (!ParseCheck(next(), check)) break;
        in.m_checks.push_back(check);
    }
    return in;
}

std::string ProgramFolder() {
    std::string exe = GetRestartCommand().m_strProgram;
    if (exe.empty()) exe = ReadLink("/proc/self/exe");
    return exe.empty() ? std::string(".") : DirName(exe);
}

std::string UpdateInstructionsUrl() { return site::UpdateBaseUrl() + kUpdateFileName; }

void SetUpdateUidForTests(int uid) { g_testUid.store(uid); }

std::string SelfUpdateProblem(const std::string& folder) {
    const int testUid = g_testUid.load();
    const uid_t uid = testUid >= 0 ? static_cast<uid_t>(testUid) : geteuid();
    if (uid == 0)
        return "Bexora does not update itself while it runs as root. Please update it through "
               "your package manager.";
    struct stat st {};
    // Root may write anywhere, so a test that pretends to be another user
    // reads the folder's owner and mode instead of asking the kernel.
    const bool writable = stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid &&
                          (st.st_mode & S_IWUSR) && (testUid >= 0 || access(folder.c_str(), W_OK) == 0);
    if (!writable)
        return "Bexora is installed in a folder you do not own or cannot write (" + folder +
               "), so it cannot update itself. Please update it through your package manager.";
    return {};
}

namespace {

// fetched: how the fetch of update.txt ended (0 when it was not made).
CUpdateOffer CheckProgramOffer(const std::string& folder, int& fetched) {
    CUpdateOffer offer;
    fetched = 0;
    const std::string url = UpdateInstructionsUrl();
    if (!IsHttpsUrl(url)) {
        offer.m_strProblem = "The update address " + url +
                             " does not start with https://, so no update is taken from it.";
        return offer;
    }
    std::string text, signature;
    int code = DownloadToString(url, text, kMaxInstructionBytes);
    fetched = code;
    if (code == kDownloadNotHttps)
        offer.m_strProblem = "The update site sent the check to an address that is not https.";
    if (code != 0) return offer;
    // Only the first two lines matter here, read as the line reader gives them.
    CLineReader reader;
    reader.NextLine(text, true);
    if (Lower(reader.NextLine(text)) != "[update]") return offer;
    offer.m_bRead = true;
    if (DownloadToString(url + ".sig", signature, 4096) != 0 ||
        !VerifyUpdateSignature(text, signature, UpdatePublicKey())) {
        offer.m_strProblem =
            "The update on the maker's site does not carry the maker's signature (it may have been "
            "cut short or changed on its way). Nothing was installed.";
        return offer;
    }
    std::string versionLine = reader.NextLine(text);
    offer.m_strVersion = VersionText(versionLine);
    offer.m_nVersion = UpdateVersionNumber(versionLine);
    offer.m_bOffered = offer.m_nVersion > kInstalledVersion;
    if (!offer.m_bOffered) return offer;
    if (std::string problem = SelfUpdateProblem(folder); !problem.empty()) {
        offer.m_bOffered = false;
        offer.m_bManaged = true;
        offer.m_strProblem = "Version " + offer.m_strVersion + " of Bexora is available.\n" + problem;
        return offer;
    }
    // A copy that cannot be written shows up when the download opens it.
    AtomicWriteFile(folder + "/" + kUpdateSignatureName, signature, 0644);
    WriteTextFile(text, folder + "/" + kUpdateFileName);
    return offer;
}

}  // namespace

CUpdateOffer CheckUpdateOffer(const std::string& folder) {
    // Every start checks: an update a crash cut short is finished or undone
    // first, before the version on offer is compared.
    // (A journal is only ever written where the program updated itself, so
    // a package manager's folder has none to act on.)
    std::string recovered;
    RecoverInterruptedSwap(folder, recovered);
    int fetched = 0;
    CUpdateOffer offer = CheckProgramOffer(folder, fetched);
    offer.m_strRecovered = recovered;
    // A site that gave no answer at all (no connection, a certificate
    // refused, a stall) is not asked again: offline, a start would wait out
    // every time-out twice.
    if (fetched < 0 && fetched > -1000) return offer;
    offer.m_profile = CheckProfileUpdate();
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
