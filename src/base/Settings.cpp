// The settings file.
//
// A plain text file that people, the local auction site and bexora-cli may
// write as well as this store:
//
//   ; a comment (also "# ...")
//   [Program Start]
//   Load Save=1
//   Work Dir=/home/ann/auctions
//   [Window size]
//   state=hex:0a00ff
//
// - Bytes are taken as they are (the program's text is Windows-1252; UTF-8
//   passes through unchanged). Lines end in LF; a CR before it is ignored.
// - "[Section]" starts a section; "Key=Value" is a setting (the first "="
//   splits); lines starting with ";" or "#" are comments; blank lines are
//   ignored. Spaces and tabs around the name, the "=" and at the line ends do
//   not count.
// - Section and key names match without regard to ASCII letter case. When a
//   value is rewritten the spelling already in the file is kept; comments and
//   the order of lines survive a rewrite.
// - Integers are decimal text. Strings are escaped so every byte string comes
//   back as written: "\\" backslash, "\n", "\r", "\t", and "\xHH" for other
//   control bytes, for spaces at the start or end of the value and for the
//   "h" of a string that would otherwise read as a byte block. Any other
//   backslash is taken literally. Byte blocks are "hex:" and lowercase hex
//   pairs.
// - The first occurrence of a section/key wins when there are duplicates.
//
// A damaged file (a line that is none of the above, NUL or other control
// bytes, bad hex after "hex:", a section line without "]" and the settings
// under it) still gives every entry that can be read; everything else reads
// as its default. Before such a file is first written over, it is kept as
// "<file>.damaged" (".damaged.1", ... when taken) and the user is told.

#include "base/Settings.h"

#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <list>
#include <mutex>

#include "base/AtomicFile.h"
#include "base/Prompt.h"

namespace bexora {

// ---------------------------------------------------------------------------
// The settings table.

namespace setting {

namespace {
constexpr SettingType I = SettingType::Int;
constexpr SettingType S = SettingType::Str;
constexpr SettingType B = SettingType::Bin;
}  // namespace

// clang-format off
const SettingDef LoadSave       {"Program Start", "Load Save",       I, 1, nullptr};
const SettingDef UpdateAll      {"Program Start", "Update all",      I, 0, nullptr};
const SettingDef FirstRun       {"Program Start", "First Run",       I, 1, nullptr};
const SettingDef WorkDir        {"Program Start", "Work Dir",        S, 0, ""};
const SettingDef NextFile       {"Program Start", "Next File",       I, 1, nullptr};
const SettingDef PromptPending  {"Program exit",  "Prompt pending",  I, 1, nullptr};
const SettingDef PromptSave     {"Program exit",  "Prompt Save",     I, 1, nullptr};
const SettingDef SaveWindow     {"Program exit",  "Save Window",     I, 1, nullptr};
const SettingDef ViewPos        {"Program exit",  "View Pos",        I, 1, nullptr};
const SettingDef WindowRect     {"Window size",   "Rect",            S, 0, ""};
const SettingDef WindowIcon     {"Window size",   "icon",            I, 0, nullptr};
const SettingDef WindowMax      {"Window size",   "max",             I, 0, nullptr};
// The pane sizes default to 3/4 and 1/4 of the child window's client area,
// which only the caller knows: 0 here means "not stored, compute it".
const SettingDef WindowWidth    {"Window size",   "width",           I, 0, nullptr};
const SettingDef WindowHeight   {"Window size",   "Height",          I, 0, nullptr};
const SettingDef WindowWidth1   {"Window size",   "width1",          I, 0, nullptr};
const SettingDef WindowHeight1  {"Window size",   "Height1",         I, 0, nullptr};
// The item list's column layout (nothing else: the bars have their own).
const SettingDef WindowState    {"Window size",   "state",           B, 0, nullptr};
// The main window's bars, in a section named after the program's title.
const SettingDef BarState       {"Bexora-Bars",   "state",           B, 0, nullptr};
const SettingDef StatusBarShown {"Bexora-Bars",   "Status Bar",      I, 1, nullptr};
// Defaults to the current SiteHomeUrl (see GetString).
const SettingDef HomepageLeftPanel{"Homepage",    "left panel",      S, 0, nullptr};
const SettingDef SavePass       {"Bid Dialog",    "Save Pass",       I, 1, nullptr};
const SettingDef UserId         {"Bid Dialog",    "User ID",         S, 0, ""};
const SettingDef Password       {"Bid Dialog",    "Password",        S, 0, ""};
// "keyring" (when one answers on the session bus) or "file".
const SettingDef KeepPasswords  {"Bid Dialog",    "Keep Passwords",  S, 0, "keyring"};
// Where the user was last told passwords are written ("file", "no keyring").
const SettingDef PasswordsTold  {"Bid Dialog",    "Passwords Told",  S, 0, ""};
const SettingDef BidNow         {"Bid Dialog",    "Bid now",         I, 1, nullptr};
const SettingDef BidHour        {"Bid Dialog",    "Bid hour",        I, 0, nullptr};
const SettingDef BidMin         {"Bid Dialog",    "Bid min",         I, 0, nullptr};
const SettingDef BidSec         {"Bid Dialog",    "Bid sec",         I, 15, nullptr};
const SettingDef BidPending     {"Bid Dialog",    "Bid Pending",     I, 1, nullptr};
const SettingDef EnableBidGroup {"Bid Dialog",    "Enable BidGroup", I, 0, nullptr};
const SettingDef UpdateMin      {"Update Interval", "Update Min",    I, 30, nullptr};
const SettingDef UpdateSec      {"Update Interval", "Update Sec",    I, 0, nullptr};
const SettingDef UpdateRecent   {"Update Interval", "Update Recent", I, 0, nullptr};
const SettingDef UpdateEndDay   {"Update Interval", "Update end day", I, 0, nullptr};
const SettingDef UpdateEndHour  {"Update Interval", "Update end hour", I, 1, nullptr};
const SettingDef UpdateEndMin   {"Update Interval", "Update end Min", I, 0, nullptr};
// Minutes before a scheduled bid during which the machine is kept from
// sleeping (0: never).
const SettingDef SleepGuardMin  {"Update Interval", "Keep awake Min", I, 10, nullptr};
// Seconds before a scheduled bid at which it is checked: signed in, the
// offer form opened and kept for the moment (0: off, the whole conversation
// at the moment).
const SettingDef PreFlightSec   {"Update Interval", "Pre-flight Sec", I, 60, nullptr};
const SettingDef AddSel         {"Add Selection", "AddSel",          I, 0, nullptr};
const SettingDef AddSaveDefault {"Add Selection", "Save default",    I, 1, nullptr};
const SettingDef AddShowWindow  {"Add Selection", "Show Window",     I, 0, nullptr};
const SettingDef MessageLevel   {"Message Level", "Level",           I, 1, nullptr};
// Defaults to VendorSiteUrl + "/" (see GetString).
const SettingDef UpdateUrl      {"Update",        "Update URL",      S, 0, nullptr};
// Written by the first update; nothing reads it without an update, so 0.
const SettingDef SettingsVersion{"Settings",      "Version",         I, 0, nullptr};
// The public key updates are checked against; empty: the maker's, built in.
// The local test site names its test key here.
const SettingDef UpdateKey      {"Update",        "UpdateKey",       S, 0, ""};
// The newest version the user was told to get through the package manager.
const SettingDef UpdateToldVersion{"Update",      "Told Version",    I, 0, nullptr};
// Hosts may carry a port ("127.0.0.1:8080").
const SettingDef SiteItemHost   {"Site", "SiteItemHost",   S, 0, "cgi.ebay.com"};
const SettingDef SiteTimeHost   {"Site", "SiteTimeHost",   S, 0, "cgi3.ebay.com"};
const SettingDef SiteSignInHost {"Site", "SiteSignInHost", S, 0, "signin.ebay.com"};
const SettingDef SiteOfferHost  {"Site", "SiteOfferHost",  S, 0, "offer.ebay.com"};
const SettingDef SiteMyHost     {"Site", "SiteMyHost",     S, 0, "my.ebay.com"};
const SettingDef SiteHomeUrl    {"Site", "SiteHomeUrl",    S, 0, "http://www.ebay.com/"};
const SettingDef SiteDomain     {"Site", "SiteDomain",     S, 0, "ebay.com"};
const SettingDef VendorSiteUrl  {"Site", "VendorSiteUrl",  S, 0, "https://www.halvane.com/bexora"};
// A PEM file with one more CA to trust, e.g. the local test site's own.
const SettingDef SiteCaFile     {"Site", "CAFile",         S, 0, ""};
// The site profile file ("builtin" or empty: the built-in profile).
const SettingDef SiteProfile    {"Site", "SiteProfile",    S, 0, ""};
// clang-format on

const std::vector<const SettingDef*>& All() {
    static const std::vector<const SettingDef*> all = {
        &LoadSave,      &UpdateAll,      &FirstRun,          &WorkDir,         &NextFile,
        &PromptPending, &PromptSave,     &SaveWindow,        &ViewPos,         &WindowRect,
        &WindowIcon,    &WindowMax,      &WindowWidth,       &WindowHeight,    &WindowWidth1,
        &WindowHeight1, &WindowState,    &BarState,          &StatusBarShown,  &HomepageLeftPanel,
        &SavePass,      &UserId,         &KeepPasswords,     &PasswordsTold,
        &Password,      &BidNow,         &BidHour,           &BidMin,          &BidSec,
        &BidPending,    &EnableBidGroup, &UpdateMin,         &UpdateSec,       &UpdateRecent,
        &UpdateEndDay,  &UpdateEndHour,  &UpdateEndMin,      &AddSel,          &AddSaveDefault,
        &AddShowWindow, &MessageLevel,   &UpdateUrl,         &SettingsVersion, &SiteItemHost,
        &SiteTimeHost,  &SiteSignInHost, &SiteOfferHost,     &SiteMyHost,      &SiteHomeUrl,
        &SiteDomain,    &VendorSiteUrl,  &SiteCaFile,        &UpdateKey,       &UpdateToldVersion,
        &SleepGuardMin, &PreFlightSec,   &SiteProfile,
    };
    return all;
}

}  // namespace setting

// ---------------------------------------------------------------------------
// Text of the file.

namespace {

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return std::string(s.substr(b, e - b));
}

bool IsControl(unsigned char c) {
    return c < 0x20 || c == 0x7f;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

const char kHex[] = "0123456789abcdef";

void AppendHexByte(std::string& out, unsigned char c) {
    out += kHex[c >> 4];
    out += kHex[c & 15];
}

constexpr std::string_view kBinPrefix = "hex:";

bool IsBinaryText(const std::string& raw) {
    return raw.compare(0, kBinPrefix.size(), kBinPrefix) == 0;
}

std::string EscapeValue(const std::string& v) {
    size_t lead = 0;
    while (lead < v.size() && v[lead] == ' ') ++lead;
    size_t trail = v.size();
    while (trail > lead && v[trail - 1] == ' ') --trail;
    std::string out;
    out.reserve(v.size() + 8);
    for (size_t i = 0; i < v.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(v[i]);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (IsControl(c) || (c == ' ' && (i < lead || i >= trail)) ||
                   (i == 0 && IsBinaryText(v))) {
            out += "\\x";
            AppendHexByte(out, c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string UnescapeValue(const std::string& raw) {
    std::string out;
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (c != '\\' || i + 1 >= raw.size()) {
            out += c;
            continue;
        }
        char n = raw[i + 1];
        switch (n) {
            case '\\':
                out += '\\';
                ++i;
                continue;
            case 'n':
                out += '\n';
                ++i;
                continue;
            case 'r':
                out += '\r';
                ++i;
                continue;
            case 't':
                out += '\t';
                ++i;
                continue;
            case 'x':
                if (i + 3 < raw.size() && HexDigit(raw[i + 2]) >= 0 && HexDigit(raw[i + 3]) >= 0) {
                    out += static_cast<char>(HexDigit(raw[i + 2]) * 16 + HexDigit(raw[i + 3]));
                    i += 3;
                    continue;
                }
                break;
            default:
                break;
        }
        out += c;  // a backslash that starts no escape stands for itself
    }
    return out;
}

bool DecodeHex(std::string_view hex, std::vector<uint8_t>& out) {
    if (hex.size() % 2 != 0) return false;
    std::vector<uint8_t> bytes;
    bytes.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        int hi = HexDigit(hex[i]), lo = HexDigit(hex[i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    out.swap(bytes);
    return true;
}

// Strict decimal, as a 32-bit registry number would hold it.
bool ParseInt(const std::string& s, int& value) {
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (i >= s.size()) return false;
    long long v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) return false;
    }
    if (negative) v = -v;
    if (v < INT_MIN || v > INT_MAX) return false;
    value = static_cast<int>(v);
    return true;
}

bool ValidSection(const std::string& s) {
    if (s.empty() || IsBlank(s.front()) || IsBlank(s.back())) return false;
    for (unsigned char c : s)
        if (IsControl(c)) return false;
    return true;
}

bool ValidKey(const std::string& k) {
    if (!ValidSection(k)) return false;
    if (k.front() == '[' || k.front() == ';' || k.front() == '#') return false;
    return k.find('=') == std::string::npos;
}

// One line of the file as it will be written back. Comments and blank lines
// are kept verbatim; damaged lines are dropped on rewrite (the file they came
// from is kept aside first).
struct Line {
    enum Kind { Text, Entry } kind = Text;
    std::string text;   // Text: the line as it was
    std::string key;    // Entry: name as spelled in the file
    std::string value;  // Entry: raw (escaped) value text
};

struct Section {
    std::string name;  // empty: lines before the first section header
    bool header = false;
    std::vector<Line> lines;
};

struct Document {
    std::vector<Section> sections;
    bool damaged = false;

    const std::string* Find(const std::string& section, const std::string& key) const {
        for (const Section& s : sections) {
            if (!s.header || !SameName(s.name, section)) continue;
            for (const Line& l : s.lines)
                if (l.kind == Line::Entry && SameName(l.key, key)) return &l.value;
        }
        return nullptr;
    }

    void Set(const std::string& section, const std::string& key, const std::string& raw) {
        Section* first = nullptr;
        for (Section& s : sections) {
            if (!s.header || !SameName(s.name, section)) continue;
            if (!first) first = &s;
            for (Line& l : s.lines) {
                if (l.kind == Line::Entry && SameName(l.key, key)) {
                    l.value = raw;
                    return;
                }
            }
        }
        if (!first) {
            if (!sections.empty() && !sections.back().lines.empty() &&
                !(sections.back().lines.back().kind == Line::Text &&
                  Trim(sections.back().lines.back().text).empty()))
                sections.back().lines.push_back(Line{Line::Text, "", "", ""});
            sections.push_back(Section{section, true, {}});
            first = &sections.back();
        }
        // After the section's last setting, so trailing blank lines and the
        // comments of the next section stay where they are.
        auto& lines = first->lines;
        size_t at = lines.size();
        while (at > 0 && lines[at - 1].kind == Line::Text) --at;
        if (at == 0) at = lines.size();
        lines.insert(lines.begin() + static_cast<long>(at), Line{Line::Entry, "", key, raw});
    }

    bool Remove(const std::string& section, const std::string& key) {
        bool removed = false;
        for (Section& s : sections) {
            if (!s.header || !SameName(s.name, section)) continue;
            for (size_t i = 0; i < s.lines.size();) {
                if (s.lines[i].kind == Line::Entry && SameName(s.lines[i].key, key)) {
                    s.lines.erase(s.lines.begin() + static_cast<long>(i));
                    removed = true;
                } else {
                    ++i;
                }
            }
        }
        return removed;
    }
};

Document Parse(const std::string& bytes) {
    Document doc;
    doc.sections.push_back(Section{});
    bool inBadSection = false;
    size_t pos = 0;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) pos = 3;  // an editor's UTF-8 mark
    while (pos < bytes.size()) {
        size_t end = bytes.find('\n', pos);
        if (end == std::string::npos) end = bytes.size();
        std::string_view raw(bytes.data() + pos, end - pos);
        pos = end + 1;
        std::string line = Trim(raw);
        bool control = false;
        for (unsigned char c : line)
            if (IsControl(c) && c != '\t') control = true;
        if (control) {
            doc.damaged = true;
            continue;
        }
        if (line.empty() || line[0] == ';' || line[0] == '#') {
            doc.sections.back().lines.push_back(Line{Line::Text, std::string(raw), "", ""});
            if (!doc.sections.back().lines.back().text.empty() &&
                doc.sections.back().lines.back().text.back() == '\r')
                doc.sections.back().lines.back().text.pop_back();
            continue;
        }
        if (line[0] == '[') {
            std::string name =
                line.back() == ']' ? Trim(std::string_view(line).substr(1, line.size() - 2)) : "";
            if (name.empty()) {
                // Whatever follows belongs to a section we cannot name.
                doc.damaged = true;
                inBadSection = true;
                continue;
            }
            inBadSection = false;
            doc.sections.push_back(Section{name, true, {}});
            continue;
        }
        size_t eq = line.find('=');
        std::string key = eq == std::string::npos ? "" : Trim(std::string_view(line).substr(0, eq));
        if (key.empty() || inBadSection) {
            doc.damaged = true;
            continue;
        }
        std::string value = Trim(std::string_view(line).substr(eq + 1));
        std::vector<uint8_t> scratch;
        if (IsBinaryText(value) &&
            !DecodeHex(std::string_view(value).substr(kBinPrefix.size()), scratch)) {
            doc.damaged = true;
            continue;
        }
        doc.sections.back().lines.push_back(Line{Line::Entry, "", key, value});
    }
    return doc;
}

std::string Serialize(const Document& doc) {
    std::string out;
    for (const Section& s : doc.sections) {
        if (s.header) out += "[" + s.name + "]\n";
        for (const Line& l : s.lines) {
            if (l.kind == Line::Text)
                out += l.text;
            else
                out += l.key + "=" + l.value;
            out += '\n';
        }
    }
    return out;
}

// What identifies one version of the file without reading it.
struct FileId {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    int64_t mtimeNs = 0;
    int64_t ctimeNs = 0;
    bool operator==(const FileId&) const = default;
};

int64_t Ns(const struct timespec& ts) {
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

FileId IdOf(const struct stat& st) {
    return FileId{st.st_dev, st.st_ino, st.st_size, Ns(st.st_mtim), Ns(st.st_ctim)};
}

// Compared with file times, which come from the kernel's wall clock (not the
// program's clock, which tests may move).
int64_t WallNs() {
    struct timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    return Ns(ts);
}

// The kernel stamps files with a coarse clock: two writes of the same size in
// the same tick look identical. A cached copy is trusted only for a file that
// had not changed for this long when it was read.
constexpr int64_t kSettledNs = 2'000'000'000;
constexpr off_t kMaxFileSize = 16 * 1024 * 1024;

// Writes from all stores of this process go one at a time; other processes
// are kept out by a lock on the folder (the file itself is replaced by each
// write, so it cannot carry the lock).
std::mutex g_writeMutex;

class CFolderLock {
public:
    explicit CFolderLock(const std::string& dir) {
        m_fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_fd >= 0) {
            while (flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~CFolderLock() {
        if (m_fd >= 0) close(m_fd);  // closing drops the lock
    }
    CFolderLock(const CFolderLock&) = delete;
    CFolderLock& operator=(const CFolderLock&) = delete;

private:
    int m_fd = -1;
};

// A change to one key: the raw value to store, or none to remove it.
struct Change {
    std::string section, key;
    bool remove = false;
    std::string raw;
};

}  // namespace

// ---------------------------------------------------------------------------
// The store.

struct CSettingsStore::Impl {
    std::mutex mutex;
    std::string lastError;

    // The last version read: its identity, when it was read, its bytes.
    bool cached = false;
    FileId cacheId;
    int64_t cacheReadNs = 0;
    std::string cacheBytes;
    Document cacheDoc;

    // A damaged file that has already been kept aside (so a failed write
    // does not keep the same file twice).
    bool kept = false;
    FileId keptId;

    struct Loaded {
        Document doc;
        bool exists = false;
        FileId id;
    };

    // The file as it is now. Never fails: what cannot be read is missing.
    Loaded Load(const std::string& path, bool forWrite) {
        Loaded out;
        out.doc.sections.push_back(Section{});
        struct stat st {};
        if (stat(path.c_str(), &st) != 0) {
            // Missing is the normal first start; a folder we may not search
            // reads as defaults too and the write will say why it fails.
            return out;
        }
        out.exists = true;
        out.id = IdOf(st);
        if (!S_ISREG(st.st_mode) || st.st_size > kMaxFileSize) {
            out.doc.damaged = true;
            return out;
        }
        if (!forWrite && cached && cacheId == out.id && out.id.mtimeNs < cacheReadNs - kSettledNs) {
            out.doc = cacheDoc;
            return out;
        }
        int64_t readNs = WallNs();
        std::string bytes;
        if (!ReadWholeFile(path, bytes)) {
            out.doc.damaged = true;
            return out;
        }
        if (!(cached && bytes == cacheBytes)) {
            cacheDoc = Parse(bytes);
            cacheBytes = std::move(bytes);
        }
        cached = true;
        cacheId = out.id;
        cacheReadNs = readNs;
        out.doc = cacheDoc;
        return out;
    }

    bool Apply(const std::string& path, const Change& change, std::string& keptAs);
    bool Write(const std::string& path, const Change& change);

    void Remember(const std::string& path, const std::string& bytes, Document doc) {
        struct stat st {};
        if (stat(path.c_str(), &st) != 0) {
            cached = false;
            return;
        }
        cached = true;
        cacheId = IdOf(st);
        cacheReadNs = 0;  // just written: not settled, the next read checks the bytes
        cacheBytes = bytes;
        doc.damaged = false;
        cacheDoc = std::move(doc);
    }
};

namespace {

// Sets a damaged or unreadable file aside under a name not yet taken. A hard
// link keeps the file in place too, so a write that fails afterwards leaves
// everything as it was.
bool KeepAside(const std::string& path, std::string& keptAs, std::string& error) {
    for (int n = 0; n < 1000; ++n) {
        std::string candidate = path + ".damaged" + (n ? "." + std::to_string(n) : "");
        if (link(path.c_str(), candidate.c_str()) == 0) {
            keptAs = candidate;
            return true;
        }
        if (errno == EEXIST) continue;
        // No hard links here (or a folder in the way): move it instead,
        // never over an existing file.
        if (renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, candidate.c_str(), RENAME_NOREPLACE) == 0) {
            keptAs = candidate;
            return true;
        }
        if (errno == EEXIST) continue;
        if (errno == EINVAL || errno == ENOSYS) {
            struct stat st {};
            if (lstat(candidate.c_str(), &st) == 0) continue;
            if (rename(path.c_str(), candidate.c_str()) == 0) {
                keptAs = candidate;
                return true;
            }
        }
        error = "cannot keep the damaged settings file " + path + " as " + candidate + ": " +
                std::strerror(errno);
        return false;
    }
    error = "cannot keep the damaged settings file " + path + ": too many kept copies";
    return false;
}

std::string KeptMessage(const std::string& path, const std::string& keptAs) {
    return "The settings file\n" + path +
           "\nwas damaged or could not be read. It has been kept unchanged as\n" + keptAs +
           "\nand a new settings file is written in its place with the settings that could be "
           "read; the others are back to their defaults.";
}

}  // namespace

// Read-modify-write of the whole file; shared by every write.
bool CSettingsStore::Impl::Apply(const std::string& path, const Change& change,
                                 std::string& keptAs) {
    lastError.clear();
    if (!ValidSection(change.section) || !ValidKey(change.key)) {
        lastError = "invalid settings name [" + change.section + "] " + change.key;
        return false;
    }
    std::string dir = DirName(path);
    if (!MakeDirs(dir, 0700)) {
        lastError = "cannot create the folder " + dir + ": " + std::strerror(errno);
        return false;
    }
    std::lock_guard<std::mutex> processLock(g_writeMutex);
    CFolderLock folderLock(dir);

    // A settings file the user made a symbolic link stays one: the file it
    // points to is what is kept aside and replaced.
    std::string target;
    if (!ResolveLinks(path, target, &lastError)) return false;
    Loaded now = Load(path, true);
    if (change.remove && !now.doc.Find(change.section, change.key)) return true;
    if (now.exists && now.doc.damaged && !(kept && keptId == now.id)) {
        if (!KeepAside(target, keptAs, lastError)) return false;
        kept = true;
        keptId = now.id;
    }
    if (change.remove)
        now.doc.Remove(change.section, change.key);
    else
        now.doc.Set(change.section, change.key, change.raw);
    std::string text = Serialize(now.doc);
    if (!AtomicWriteFile(target, text, 0600, &lastError)) {
        cached = false;
        return false;
    }
    Remember(path, text, std::move(now.doc));
    return true;
}

bool CSettingsStore::Impl::Write(const std::string& path, const Change& change) {
    std::string keptAs;
    bool ok;
    {
        std::lock_guard<std::mutex> lock(mutex);
        ok = Apply(path, change, keptAs);
    }
    // Outside the lock: a message box may run an event loop that reads settings.
    if (!keptAs.empty())
        ShowPrompt(KeptMessage(path, keptAs), PromptButtons::Ok, PromptIcon::Warning);
    return ok;
}

CSettingsStore::CSettingsStore(std::string path) : m_path(std::move(path)), m_impl(new Impl) {}

CSettingsStore::~CSettingsStore() = default;

int CSettingsStore::GetProfileInt(const std::string& section, const std::string& key,
                                  int def) const {
    std::string text = GetProfileString(section, key, "");
    int value = def;
    if (text.empty() || !ParseInt(text, value)) return def;
    return value;
}

std::string CSettingsStore::GetProfileString(const std::string& section, const std::string& key,
                                             const std::string& def) const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    Impl::Loaded now = m_impl->Load(m_path, false);
    const std::string* raw = now.doc.Find(section, key);
    if (!raw || IsBinaryText(*raw)) return def;
    return UnescapeValue(*raw);
}

bool CSettingsStore::GetProfileBinary(const std::string& section, const std::string& key,
                                      std::vector<uint8_t>& out) const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    Impl::Loaded now = m_impl->Load(m_path, false);
    const std::string* raw = now.doc.Find(section, key);
    if (!raw || !IsBinaryText(*raw)) return false;
    return DecodeHex(std::string_view(*raw).substr(kBinPrefix.size()), out);
}

bool CSettingsStore::WriteProfileInt(const std::string& section, const std::string& key,
                                     int value) {
    return m_impl->Write(m_path, Change{section, key, false, std::to_string(value)});
}

bool CSettingsStore::WriteProfileString(const std::string& section, const std::string& key,
                                        const std::string& value) {
    return m_impl->Write(m_path, Change{section, key, false, EscapeValue(value)});
}

bool CSettingsStore::WriteProfileBinary(const std::string& section, const std::string& key,
                                        const std::vector<uint8_t>& value) {
    std::string raw(kBinPrefix);
    raw.reserve(raw.size() + value.size() * 2);
    for (uint8_t b : value) AppendHexByte(raw, b);
    return m_impl->Write(m_path, Change{section, key, false, raw});
}

bool CSettingsStore::DeleteProfileKey(const std::string& section, const std::string& key) {
    return m_impl->Write(m_path, Change{section, key, true, ""});
}

int CSettingsStore::GetInt(const SettingDef& def) const {
    return GetProfileInt(def.section, def.key, def.intDefault);
}

std::string CSettingsStore::GetString(const SettingDef& def) const {
    std::string fallback;
    if (def.strDefault) {
        fallback = def.strDefault;
    } else if (SameName(def.section, setting::HomepageLeftPanel.section) &&
               SameName(def.key, setting::HomepageLeftPanel.key)) {
        fallback = GetString(setting::SiteHomeUrl);
    } else if (SameName(def.section, setting::UpdateUrl.section) &&
               SameName(def.key, setting::UpdateUrl.key)) {
        // A VendorSiteUrl already ending in "/" gets no second one.
        fallback = GetString(setting::VendorSiteUrl);
        if (fallback.empty() || fallback.back() != '/') fallback += '/';
    } else if (def.type == SettingType::Int) {
        fallback = std::to_string(def.intDefault);
    }
    return GetProfileString(def.section, def.key, fallback);
}

bool CSettingsStore::GetBinary(const SettingDef& def, std::vector<uint8_t>& out) const {
    return GetProfileBinary(def.section, def.key, out);
}

bool CSettingsStore::WriteInt(const SettingDef& def, int value) {
    return WriteProfileInt(def.section, def.key, value);
}

bool CSettingsStore::WriteString(const SettingDef& def, const std::string& value) {
    return WriteProfileString(def.section, def.key, value);
}

bool CSettingsStore::WriteBinary(const SettingDef& def, const std::vector<uint8_t>& value) {
    return WriteProfileBinary(def.section, def.key, value);
}

std::string CSettingsStore::LastError() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->lastError;
}

// ---------------------------------------------------------------------------
// Where the files live.

namespace {

std::mutex g_pathMutex;
std::string g_settingsPath;

std::string EnvDir(const char* name) {
    const char* v = std::getenv(name);
    // Relative values are to be ignored, by the XDG rules.
    if (v && v[0] == '/') return v;
    return "";
}

std::string HomeDir() {
    const char* home = std::getenv("HOME");
    if (home && *home) return home;
    if (const struct passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/tmp";
}

}  // namespace

std::string DefaultSettingsPath() {
    {
        std::lock_guard<std::mutex> lock(g_pathMutex);
        if (!g_settingsPath.empty()) return g_settingsPath;
    }
    const char* env = std::getenv("BEXORA_SETTINGS");
    if (env && *env) return env;
    std::string base = EnvDir("XDG_CONFIG_HOME");
    if (base.empty()) base = HomeDir() + "/.config";
    return base + "/Halvane Co./Bexora.ini";
}

void SetSettingsPath(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_pathMutex);
    g_settingsPath = path;
}

CSettingsStore& Settings() {
    // Stores are never freed: a caller may still hold the one it got before
    // the path changed (that happens in tests and at most once at start-up).
    static std::mutex mutex;
    static std::list<CSettingsStore> stores;
    std::string path = DefaultSettingsPath();
    std::lock_guard<std::mutex> lock(mutex);
    if (stores.empty() || stores.back().Path() != path) stores.emplace_back(path);
    return stores.back();
}

std::string UserDataDir() {
    std::string base = EnvDir("XDG_DATA_HOME");
    if (base.empty()) base = HomeDir() + "/.local/share";
    return base + "/Halvane Co./Bexora";
}

int GetProfileInt(const std::string& section, const std::string& key, int def) {
    return Settings().GetProfileInt(section, key, def);
}

std::string GetProfileString(const std::string& section, const std::string& key,
                             const std::string& def) {
    return Settings().GetProfileString(section, key, def);
}

bool WriteProfileInt(const std::string& section, const std::string& key, int value) {
    return Settings().WriteProfileInt(section, key, value);
}

bool WriteProfileString(const std::string& section, const std::string& key,
                        const std::string& value) {
    return Settings().WriteProfileString(section, key, value);
}

bool GetProfileBinary(const std::string& section, const std::string& key,
                      std::vector<uint8_t>& out) {
    return Settings().GetProfileBinary(section, key, out);
}

bool WriteProfileBinary(const std::string& section, const std::string& key,
                        const std::vector<uint8_t>& value) {
    return Settings().WriteProfileBinary(section, key, value);
}

}  // namespace bexora
