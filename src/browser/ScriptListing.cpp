#include "browser/ScriptListing.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "site/SiteProfile.h"
#include "text/TextTools.h"

namespace bexora {

namespace {

// A call's arguments are never this long; a "dSI(" that is never closed
// must not make every later call rescan the rest of the page.
constexpr size_t kMaxCallLength = 8192;

struct Arg {
    std::string value;
    bool quoted = false;
};

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A code point as one Windows-1252 byte; '?' for what that code page lacks.
char CodeToByte(uint32_t code) {
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<char>(code);
    static const struct {
        uint32_t code;
        char byte;
    } kUpper[] = {{0x20AC, '\x80'}, {0x2026, '\x85'}, {0x2018, '\x91'}, {0x2019, '\x92'},
                  {0x201C, '\x93'}, {0x201D, '\x94'}, {0x2022, '\x95'}, {0x2013, '\x96'},
                  {0x2014, '\x97'}, {0x2122, '\x99'}};
    for (const auto& u : kUpper)
        if (u.code == code) return u.byte;
    return '?';
}

// Reads the string literal whose opening quote is at s[pos]; pos ends after
// the closing quote. False when the literal is not closed.
bool ReadLiteral(const std::string& s, size_t& pos, size_t end, std::string& out) {
    const char quote = s[pos++];
    out.clear();
    while (pos < end) {
        char c = s[pos++];
        if (c == quote) return true;
        if (c == '\n') return false;  // a literal never spans lines
        if (c != '\\' || pos >= end) {
            out += c;
            continue;
        }
        char e = s[pos++];
        int digits = e == 'x' ? 2 : e == 'u' ? 4 : 0;
        if (digits && pos + digits <= end) {
            uint32_t code = 0;
            bool ok = true;
            for (int i = 0; i < digits && ok; ++i) {
                int h = HexValue(s[pos + i]);
                ok = h >= 0;
                code = code * 16 + static_cast<uint32_t>(h);
            }
            if (ok) {
                pos += digits;
                out += CodeToByte(code);
                continue;
            }
        }
        switch (e) {
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case '\n':
                break;  // a line continued
            default:
                out += e;
                break;
        }
    }
    return false;
}

// The arguments of the call whose "(" is just before pos, up to its ")".
// An argument that is one string literal and nothing else is quoted text;
// any other argument is kept as its source text. False when the call is
// not closed within kMaxCallLength.
bool ReadArgs(const std::string& s, size_t pos, std::vector<Arg>& args) {
    const size_t end = std::min(s.size(), pos + kMaxCallLength);
    int depth = 0;
    std::string raw, literal;
    int literals = 0;
    bool onlyLiteral = true;
    auto finish = [&] {
        Arg a;
        a.quoted = literals == 1 && onlyLiteral;
        a.value = a.quoted ? literal : Trim(raw, " \t\r\n");
        args.push_back(a);
        raw.clear();
        literal.clear();
        literals = 0;
        onlyLiteral = true;
    };
    while (pos < end) {
        const char c = s[pos];
        if (c == '\'' || c == '"') {
            const size_t start = pos;
            std::string text;
            if (!ReadLiteral(s, pos, end, text)) return false;
            if (depth == 0 && literals == 0 && Trim(raw, " \t\r\n").empty())
                literal = text;
            else
                onlyLiteral = false;
            ++literals;
            raw += s.substr(start, pos - start);
            continue;
        }
        ++pos;
        if (c == ')' && depth == 0) {
            if (!args.empty() || !Trim(raw, " \t\r\n").empty()) finish();
            return true;
        }
        if (c == ',' && depth == 0) {
            finish();
            continue;
        }
        if (c == '(' || c == '[' || c == '{')
            ++depth;
        else if ((c == ')' || c == ']' || c == '}'))
            --depth;
        if (depth < 0) return false;
        raw += c;
        if (!std::isspace(static_cast<unsigned char>(c))) onlyLiteral = false;
    }
    return false;
}

bool IsItemNumber(const std::string& v) {
    if (v.size() != 10 && v.size() != 12) return false;
    for (char c : v)
        if (c < '0' || c > '9') return false;
    return true;
}

bool HasDigit(const std::string& v) {
    return v.find_first_of("0123456789") != std::string::npos;
}

bool IsPriceText(const std::string& v) {
    if (!HasDigit(v)) return false;
    for (const char* sign : {"$", "\x80", "\xA3", "\xA5", "EUR", "GBP", "CHF"})
        if (v.find(sign) != std::string::npos) return true;
    return false;
}

bool IsAddress(const std::string& v) {
    if (v.find("://") != std::string::npos || v.rfind("www.", 0) == 0) return true;
    if (!v.empty() && v[0] == '/') return true;
    for (const char* ext : {".jpg", ".gif", ".png", ".jpeg", ".JPG", ".GIF"})
        if (v.size() > 4 && v.find(ext) != std::string::npos) return true;
    return false;
}

bool HasLetter(const std::string& v) {
    for (unsigned char c : v)
        if (std::isalpha(c) || c >= 0xC0) return true;
    return false;
}

// Titles may carry markup (a bold search word) and references.
std::string CleanText(const std::string& v) {
    std::string out;
    bool inTag = false;
    for (char c : v) {
        if (c == '<')
            inTag = true;
        else if (c == '>' && inTag)
            inTag = false;
        else if (!inTag)
            out += (c == '\t' || c == '\r' || c == '\n') ? ' ' : c;
    }
    return Trim(DecodeNumericEntities(out), " ");
}

}  // namespace

bool HasScriptListing(const std::string& page) {
    const std::shared_ptr<const CSiteProfile> profile = CurrentProfile();
    return page.find(profile->Get("listing.script")) != std::string::npos ||
           page.find(profile->Get("listing.script-row")) != std::string::npos;
}

std::vector<ScriptListing> ReadScriptListings(const std::string& page) {
    std::vector<ScriptListing> out;
    // The row function's name with its "(": "dSI(".
    const std::string call = CurrentProfile()->Get("listing.script-row");
    size_t at = 0;
    while ((at = page.find(call, at)) != std::string::npos) {
        const size_t open = at + call.size();
        const bool ownName = at == 0 || !IsNameChar(page[at - 1]);
        at = open;
        if (!ownName) continue;  // addSI(...), not ours
        std::vector<Arg> args;
        if (!ReadArgs(page, open, args)) continue;
        size_t i = 0;
        while (i < args.size() && !IsItemNumber(args[i].value)) ++i;
        if (i == args.size()) continue;
        ScriptListing row;
        row.m_strItemNumber = args[i].value;
        // The price is the first amount after the number; the title stands
        // between the two (a row without a title leaves it unread rather
        // than taking the time left or the bid count for it).
        size_t priceAt = i + 1;
        while (priceAt < args.size() && !(args[priceAt].quoted && IsPriceText(args[priceAt].value)))
            ++priceAt;
        if (priceAt < args.size()) row.m_strCurrentPrice = CleanText(args[priceAt].value);
        for (size_t j = i + 1; j < priceAt; ++j) {
            const Arg& a = args[j];
            if (!a.quoted || IsAddress(a.value)) continue;
            std::string t = CleanText(a.value);
            if (!HasLetter(t)) continue;
            row.m_strTitle = t;
            break;
        }
        out.push_back(row);
    }
    return out;
}

}  // namespace bexora
