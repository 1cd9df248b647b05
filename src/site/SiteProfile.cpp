#include "site/SiteProfile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <mutex>

#include "base/AtomicFile.h"
#include "base/Settings.h"

namespace bexora {

// The text of data/profiles/builtin.profile, made into a source file by the build.
extern const char kBuiltinProfileText[];

namespace {

struct KeyDef {
    const char* key;
    bool list;
};

// Every key a profile has, in the order a profile is written back.
constexpr KeyDef kKeys[] = {
    {"name", false},
    {"version", false},
    {"host.item", false},
    {"host.time", false},
    {"host.signin", false},
    {"host.offer", false},
    {"host.my", false},
    {"address.item", false},
    {"address.bid-history", false},
    {"address.time", false},
    {"address.sign-in-page", false},
    {"address.sign-in", false},
    {"address.offer-form", false},
    {"address.offer-confirm", false},
    {"address.account", false},
    {"item.recognise", true},
    {"item.title", true},
    {"item.number", false},
    {"item.end", false},
    {"item.end-close", false},
    {"item.end-of-item", false},
    {"item.price", true},
    {"item.price-within", false},
    {"item.live", false},
    {"item.min-bid", false},
    {"item.min-bid-open", false},
    {"item.min-bid-close", false},
    {"item.quantity", false},
    {"item.quantity-close", false},
    {"item.bids", false},
    {"item.bids-close", false},
    {"item.fixed-price", true},
    {"item.high-bidder", false},
    {"item.shipping", false},
    {"item.shipping-free", false},
    {"item.seller", false},
    {"item.feedback", false},
    {"time.recognise", true},
    {"time.marker", false},
    {"time.zone", true},
    {"history.cells", false},
    {"history.amount-mark", false},
    {"sign-in.refused", false},
    {"account.refused", false},
    {"offer.error", false},
    {"offer.error-end", false},
    {"offer.field-key", false},
    {"offer.field-uiid", false},
    {"offer.field-pass", false},
    {"offer.warning", true},
    {"confirm.stale", true},
    {"answer", true},
    {"listing.script", false},
    {"listing.script-row", false},
    {"listing.link", false},
    {"listing.item-query", false},
    {"listing.item-page-address", false},
};

const KeyDef* FindKey(const std::string& key) {
    for (const KeyDef& k : kKeys)
        if (key == k.key) return &k;
    return nullptr;
}

// Values that must not be empty: a reader looking for "" finds it anywhere.
bool MayBeEmpty(const std::string& key) {
    return key == "name" || key == "answer" || key == "item.end-close";
}

constexpr const char* kMeanings[] = {"high-bidder", "not-registered",    "message",
                                     "empty-page",  "multiple-quantity", "unknown"};

std::string TrimBlanks(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

bool Unquote(const std::string& raw, std::string& out) {
    if (raw.size() < 2 || raw.front() != '"' || raw.back() != '"') {
        out = raw;
        return true;
    }
    out.clear();
    for (size_t i = 1; i + 1 < raw.size(); ++i) {
        char c = raw[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i + 1 >= raw.size()) return false;
        switch (raw[i]) {
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            default: return false;
        }
    }
    return true;
}

std::string Quote(const std::string& v) {
    bool plain = !v.empty() && v.front() != ' ' && v.back() != ' ' && v.front() != '"' &&
                 v.find_first_of("\n\t\r\\") == std::string::npos;
    if (plain || v.empty()) return v;
    std::string out = "\"";
    for (char c : v) {
        if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else if (c == '"') out += "\\\"";
        else if (c == '\\') out += "\\\\";
        else out += c;
    }
    return out + "\"";
}

bool ReadAnswer(const std::string& value, ProfileAnswer& row, std::string& why) {
    size_t a = value.find('|');
    size_t b = a == std::string::npos ? a : value.find('|', a + 1);
    if (b == std::string::npos) {
        why = "an answer is TEXT | MEANING | MESSAGE";
        return false;
    }
    row.marker = TrimBlanks(value.substr(0, a));
    row.meaning = TrimBlanks(value.substr(a + 1, b - a - 1));
    row.message = TrimBlanks(value.substr(b + 1));
    bool known = false;
    for (const char* m : kMeanings) known = known || row.meaning == m;
    if (!known) {
        why = "unknown answer meaning \"" + row.meaning + "\"";
        return false;
    }
    const bool textless = row.meaning == "empty-page" || row.meaning == "unknown";
    if (textless != row.marker.empty()) {
        why = textless ? "an " + row.meaning + " answer has no text" : "the answer needs its text";
        return false;
    }
    return true;
}

}  // namespace

const std::string& CSiteProfile::Get(const char* key) const {
    auto it = m_values.find(key);
    // Every single key is there in a read profile; a name missing here is
    // the program's own mistake.
    if (it == m_values.end() || it->second.empty()) std::abort();
    return it->second.front();
}

const std::vector<std::string>& CSiteProfile::List(const char* key) const {
    static const std::vector<std::string> none;
    auto it = m_values.find(key);
    return it == m_values.end() ? none : it->second;
}

long CSiteProfile::Number(const char* key) const {
    return std::strtol(Get(key).c_str(), nullptr, 10);
}

bool CSiteProfile::Recognises(const char* key, const std::string& page,
                              std::string* missing) const {
    for (const std::string& text : List(key))
        if (page.find(text) == std::string::npos) {
            if (missing) *missing = text;
            return false;
        }
    return true;
}

std::string CSiteProfile::Text() const {
    std::string out;
    for (const KeyDef& k : kKeys) {
        if (std::strcmp(k.key, "answer") == 0) {
            for (const ProfileAnswer& a : m_answers)
                out += "answer = " + Quote(a.marker + " | " + a.meaning + " | " + a.message) + "\n";
            continue;
        }
        for (const std::string& v : List(k.key)) out += std::string(k.key) + " = " + Quote(v) + "\n";
    }
    return out;
}

bool ParseSiteProfile(const std::string& text, CSiteProfile& out, std::string& error) {
    CSiteProfile p;
    size_t start = 0;
    int lineNo = 0;
    auto fail = [&](const std::string& why) {
        error = "line " + std::to_string(lineNo) + ": " + why;
        return false;
    };
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = TrimBlanks(text.substr(start, end - start));
        start = end + 1;
        ++lineNo;
        if (line.empty() || line[0] == '#') continue;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) return fail("no \"=\" in \"" + line.substr(0, 40) + "\"");
        const std::string key = TrimBlanks(line.substr(0, eq));
        const KeyDef* def = FindKey(key);
        if (!def) return fail("unknown key \"" + key.substr(0, 40) + "\"");
        std::string value;
        if (!Unquote(TrimBlanks(line.substr(eq + 1)), value))
            return fail("a bad \\ escape in " + key);
        if (value.find('\0') != std::string::npos) return fail("a NUL byte in " + key);
        if (value.empty() && !MayBeEmpty(key)) return fail(key + " is empty");
        std::vector<std::string>& slot = p.m_values[key];
        if (!def->list && !slot.empty()) return fail(key + " is given twice");
        if (key == "answer") {
            ProfileAnswer row;
            std::string why;
            if (!ReadAnswer(value, row, why)) return fail(why);
            p.m_answers.push_back(row);
        }
        slot.push_back(value);
    }
    lineNo = 0;
    for (const KeyDef& k : kKeys)
        if (!k.list && p.List(k.key).empty()) {
            error = "no " + std::string(k.key);
            return false;
        }
    // Whatever the page says, an answer no row knows is never taken for a win.
    if (p.m_answers.empty() || p.m_answers.back().meaning != "unknown") {
        error = "the last answer must be the \"unknown\" one";
        return false;
    }
    {
        // Three cells, each named once.
        const std::string& cells = p.Get("history.cells");
        std::string words[3];
        int n = 0;
        for (size_t i = 0; i < cells.size() && n <= 3;) {
            size_t j = cells.find(' ', i);
            if (j == std::string::npos) j = cells.size();
            if (j > i) {
                if (n < 3) words[n] = cells.substr(i, j - i);
                ++n;
            }
            i = j + 1;
        }
        std::string sorted[3] = {words[0], words[1], words[2]};
        std::sort(sorted, sorted + 3);
        if (n != 3 || sorted[0] != "amount" || sorted[1] != "date" || sorted[2] != "user") {
            error = "history.cells names user, amount and date once each";
            return false;
        }
    }
    // A warning the pre-flight finds is told in its answer row's words.
    for (const std::string& w : p.List("offer.warning")) {
        bool found = false;
        for (const ProfileAnswer& a : p.m_answers) found = found || a.marker == w;
        if (!found) {
            error = "the offer.warning \"" + w + "\" is no answer's text";
            return false;
        }
    }
    if (p.Get("listing.script-row").back() != '(') {
        error = "listing.script-row ends with \"(\"";
        return false;
    }
    char* endp = nullptr;
    const long within = std::strtol(p.Get("item.price-within").c_str(), &endp, 10);
    if (*endp != '\0' || within <= 0 || within > 10000000) {
        error = "item.price-within is not a positive number";
        return false;
    }
    out = std::move(p);
    return true;
}

const std::string& BuiltinProfileText() {
    static const std::string text = kBuiltinProfileText;
    return text;
}

const CSiteProfile& BuiltinProfile() {
    static const CSiteProfile profile = [] {
        CSiteProfile p;
        std::string error;
        // The build checks the file; a profile that does not read is a broken build.
        if (!ParseSiteProfile(BuiltinProfileText(), p, error)) {
            std::fprintf(stderr, "built-in site profile: %s\n", error.c_str());
            std::abort();
        }
        p.m_strSource = "built in";
        return p;
    }();
    return profile;
}

bool LoadSiteProfile(const std::string& nameOrPath, CSiteProfile& out, std::string& error) {
    if (nameOrPath == "builtin") {
        out = BuiltinProfile();
        return true;
    }
    std::string text;
    if (!ReadWholeFile(nameOrPath, text, &error)) {
        if (error.empty()) error = "cannot read " + nameOrPath;
        return false;
    }
    if (text.size() > 1 << 20) {
        error = nameOrPath + " is larger than a profile can be";
        return false;
    }
    if (!ParseSiteProfile(text, out, error)) {
        error = nameOrPath + ": " + error;
        return false;
    }
    out.m_strSource = nameOrPath;
    return true;
}

std::string UpdatedProfilePath() {
    return UserDataDir() + "/site.profile";
}

namespace {

struct FileStamp {
    std::string path;
    bool exists = false;
    int64_t mtimeNs = 0;
    int64_t size = 0;
    uint64_t inode = 0;
    bool operator==(const FileStamp& o) const {
        return path == o.path && exists == o.exists && mtimeNs == o.mtimeNs && size == o.size &&
               inode == o.inode;
    }
};

FileStamp Stamp(const std::string& path) {
    FileStamp s;
    s.path = path;
    struct stat st {};
    if (!path.empty() && stat(path.c_str(), &st) == 0) {
        s.exists = true;
        s.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        s.size = st.st_size;
        s.inode = st.st_ino;
    }
    return s;
}

std::mutex g_profileMutex;
std::shared_ptr<const CSiteProfile> g_profile;
FileStamp g_stamp;
bool g_haveStamp = false;
std::string g_problem;

// The file that should be in use now: the chosen one, else the delivered one.
std::string WantedPath(const std::string& chosen) {
    if (chosen == "builtin") return {};
    if (!chosen.empty()) return chosen;
    return UpdatedProfilePath();
}

}  // namespace

std::shared_ptr<const CSiteProfile> CurrentProfile() {
    const std::string chosen = Settings().GetString(setting::SiteProfile);
    const std::string path = WantedPath(chosen);
    const FileStamp stamp = Stamp(path);
    std::lock_guard<std::mutex> lock(g_profileMutex);
    if (g_haveStamp && stamp == g_stamp && g_profile) return g_profile;
    g_stamp = stamp;
    g_haveStamp = true;
    g_problem.clear();
    if (stamp.exists) {
        auto p = std::make_shared<CSiteProfile>();
        std::string error;
        if (LoadSiteProfile(path, *p, error)) {
            g_profile = std::move(p);
            return g_profile;
        }
        g_problem = error + " (the built-in profile is used)";
    } else if (!chosen.empty() && chosen != "builtin") {
        g_problem = "cannot read " + chosen + " (the built-in profile is used)";
    }
    g_profile = std::shared_ptr<const CSiteProfile>(&BuiltinProfile(), [](const CSiteProfile*) {});
    return g_profile;
}

std::string ProfileProblem() {
    CurrentProfile();
    std::lock_guard<std::mutex> lock(g_profileMutex);
    return g_problem;
}

}  // namespace bexora
