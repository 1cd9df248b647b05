#include "text/TextTools.h"

#include <locale.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "base/AtomicFile.h"

namespace bexora {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

size_t FirstDigit(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i)
        if (IsDigit(text[i])) return i;
    return std::string_view::npos;
}

std::string_view NumberAt(std::string_view text, int stopMode, size_t& first) {
    first = FirstDigit(text);
    if (first == std::string_view::npos) return {};
    size_t end = first;
    while (end < text.size()) {
        char c = text[end];
        if (c == '.' ? stopMode == 1 : c == ',' ? stopMode == 2 : !IsDigit(c)) break;
        ++end;
    }
    return text.substr(first, end - first);
}

// What StripTags writes for a character outside a tag ('<' and '>' aside).
constexpr std::array<char, 256> MakeStripTable() {
    std::array<char, 256> t{};
    for (int c = 0; c < 256; ++c)
        t[c] = (c == '\n' || (c >= 0x21 && c <= 0x7D)) ? static_cast<char>(c) : ' ';
    return t;
}
constexpr std::array<char, 256> kStrip = MakeStripTable();

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The code of a reference body ("39", "x27"), -1 unless it is a plain
// decimal or hexadecimal number. Bodies are at most 4 characters long.
int ReferenceCode(std::string_view body) {
    if (body.empty()) return -1;
    int base = 10;
    if (body[0] == 'x' || body[0] == 'X') {
        base = 16;
        body.remove_prefix(1);
        if (body.empty()) return -1;
    }
    int code = 0;
    for (char c : body) {
        int v = base == 16 ? HexValue(c) : (IsDigit(c) ? c - '0' : -1);
        if (v < 0) return -1;
        code = code * base + v;
    }
    return code;
}

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

locale_t CLocale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return loc;
}

}  // namespace

// ---- cutting helpers ----

std::string TrimRight(const std::string& s, const char* set) {
    size_t end = s.find_last_not_of(set);
    return end == std::string::npos ? std::string() : s.substr(0, end + 1);
}

std::string TrimLeft(const std::string& s, const char* set) {
    size_t start = s.find_first_not_of(set);
    return start == std::string::npos ? std::string() : s.substr(start);
}

std::string Trim(const std::string& s, const char* set) {
    size_t start = s.find_first_not_of(set);
    if (start == std::string::npos) return {};
    size_t end = s.find_last_not_of(set);
    return s.substr(start, end - start + 1);
}

std::string Mid(const std::string& s, long start, long len) {
    if (len <= 0) return {};
    if (start < 0) start = 0;
    size_t from = static_cast<size_t>(start);
    if (from >= s.size()) return {};
    return s.substr(from, static_cast<size_t>(len));
}

std::string Mid(const std::string& s, long start) {
    return Mid(s, start, LONG_MAX);
}

std::string Left(const std::string& s, long n) {
    return Mid(s, 0, n);
}

std::string Right(const std::string& s, long n) {
    if (n <= 0) return {};
    size_t k = static_cast<size_t>(n);
    return k >= s.size() ? s : s.substr(s.size() - k);
}

long Find(const std::string& s, const std::string& what, long from) {
    if (from < 0) from = 0;
    if (static_cast<unsigned long>(from) > s.size()) return -1;
    size_t p = s.find(what, static_cast<size_t>(from));
    return p == std::string::npos ? -1 : static_cast<long>(p);
}

long Find(const std::string& s, char c, long from) {
    if (from < 0) from = 0;
    if (static_cast<unsigned long>(from) > s.size()) return -1;
    size_t p = s.find(c, static_cast<size_t>(from));
    return p == std::string::npos ? -1 : static_cast<long>(p);
}

void ReplaceAll(std::string& s, const std::string& what, const std::string& with) {
    if (what.empty()) return;
    size_t p = s.find(what);
    if (p == std::string::npos) return;
    std::string out;
    out.reserve(s.size());
    size_t from = 0;
    while (p != std::string::npos) {
        out.append(s, from, p - from);
        out += with;
        from = p + what.size();
        p = s.find(what, from);
    }
    out.append(s, from, std::string::npos);
    s.swap(out);
}

// ---- page text ----

std::string& StripTags(std::string& page) {
    // Writing never overtakes reading: a tag of at least two characters
    // writes at most one line feed, so the page is rewritten in place.
    char* p = page.data();
    const size_t n = page.size();
    size_t w = 0;
    size_t runStart = 0;  // where the current text run begins in the output
    size_t r = 0;
    while (r < n) {
        char c = p[r];
        if (c == '<') {
            const void* gt = std::memchr(p + r + 1, '>', n - r - 1);
            if (!gt) break;  // the page ends inside a tag
            r = static_cast<size_t>(static_cast<const char*>(gt) - p) + 1;
            if (w == 0 || p[w - 1] != '\n') p[w++] = '\n';
            runStart = w;
            continue;
        }
        if (c == '>') w = runStart;  // a stray '>' throws away its run
        p[w++] = kStrip[static_cast<unsigned char>(c)];
        ++r;
    }
    page.resize(w);
    return page;
}

std::string DecodeNumericEntities(std::string text) {
    size_t p = 0;
    while ((p = text.find("&#", p)) != std::string::npos) {
        // Only a ';' fewer than 7 characters after the "&#" closes a reference.
        size_t limit = std::min(text.size(), p + 7);
        size_t q = p + 2;
        while (q < limit && text[q] != ';') ++q;
        if (q < limit) {
            int code = ReferenceCode(std::string_view(text).substr(p + 2, q - p - 2));
            // A NUL byte would cut the text short for every C-string reader.
            if (code > 0 && code < 254) {
                std::string ref = text.substr(p, q - p + 1);
                ReplaceAll(text, ref, std::string(1, static_cast<char>(code)));
            }
        }
        ++p;
    }
    return text;
}

std::string GetHiddenField(const std::string& page, const std::string& name) {
    const std::string marker = "<input type=\"hidden\" name=\"" + name;
    // The 9 characters between the name and the value.
    static constexpr std::string_view kTail = "\" value=\"";
    size_t from = 0;
    size_t p;
    while ((p = page.find(marker, from)) != std::string::npos) {
        size_t tail = p + marker.size();
        // Skips longer names that begin with this one ("key" in "keyid").
        if (std::string_view(page).substr(tail, kTail.size()) == kTail) {
            size_t start = tail + kTail.size();
            size_t quote = page.find('"', start);
            if (quote == std::string::npos) return {};
            return page.substr(start, quote - start);
        }
        from = p + 1;
    }
    return {};
}

std::string GetNumberAt(const std::string& text, int stopMode, int& firstDigit) {
    size_t first;
    std::string_view num = NumberAt(text, stopMode, first);
    firstDigit = num.empty() ? 0 : static_cast<int>(std::min<size_t>(first, INT_MAX));
    return std::string(num);
}

std::string GetNumber(const std::string& text, bool stopAtPoint) {
    size_t first;
    return std::string(NumberAt(text, stopAtPoint ? 1 : 0, first));
}

std::string GetDigits(const std::string& text) {
    size_t first = FirstDigit(text);
    if (first == std::string::npos) return {};
    size_t end = first;
    while (end < text.size() && IsDigit(text[end])) ++end;
    return text.substr(first, end - first);
}

double PriceValue(const std::string& text) {
    size_t first = FirstDigit(text);
    if (first == std::string::npos) return -1;
    // Copy, without commas, only as far as strtod could possibly read.
    static constexpr std::string_view kNumberChars = "0123456789.eE+-xXabcdefABCDEFpP";
    std::string clean;
    for (size_t i = first; i < text.size(); ++i) {
        char c = text[i];
        if (c == ',') continue;
        if (kNumberChars.find(c) == std::string_view::npos) break;
        clean += c;
    }
    return strtod_l(clean.c_str(), nullptr, CLocale());
}

std::string ScanItemLinks(const std::string& page, std::string_view linkWord) {
    std::string out;
    std::string last;      // the last item number written
    size_t textStart = 1;  // the first text run is taken from the second character
    size_t pos = 0;
    for (;;) {
        size_t lt = page.find('<', pos);
        if (lt == std::string::npos) break;
        size_t gt = page.find('>', lt);
        if (gt == std::string::npos) break;
        std::string_view tag = std::string_view(page).substr(lt, gt - lt + 1);
        size_t item = tag.find(linkWord);
        if (item != std::string_view::npos) tag.remove_prefix(item);
        size_t first;
        std::string_view num = NumberAt(tag, 2, first);
        if ((num.size() == 10 || num.size() == 12) && num != last) {
            last = num;
            out += '<';
            out += last;
            out += ">\n";
        }
        if (lt > textStart && lt - textStart > 2) {
            out.append(page, textStart, lt - textStart);
            out += '\n';
        }
        textStart = gt + 1;
        pos = gt + 1;
    }
    return out;
}

std::string CLineReader::NextLine(const std::string& text, bool reset) {
    if (reset) {
        m_nPos = 0;
        return {};
    }
    for (;;) {
        size_t lf = m_nPos <= text.size() ? text.find('\n', m_nPos) : std::string::npos;
        if (lf == std::string::npos) return "<>";
        // Carriage returns go too, so a file with CR LF endings reads the same.
        std::string line = Trim(text.substr(m_nPos, lf - m_nPos), "\n \r");
        m_nPos = lf + 1;
        if (!line.empty()) return line;
    }
}

// ---- stored passwords, files ----

bool Base64Encode(const std::string& in, std::string& out) {
    constexpr size_t kLine = 76;
    constexpr size_t kMax = 100;
    const size_t chars = (in.size() + 2) / 3 * 4;
    size_t breaks = chars / kLine;
    if (breaks > 0 && chars % kLine == 0 && in.size() % 57 != 0) --breaks;
    if (chars + 2 * breaks > kMax) return false;

    std::string enc;
    enc.reserve(chars);
    const auto* s = reinterpret_cast<const unsigned char*>(in.data());
    size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        unsigned v = (s[i] << 16) | (s[i + 1] << 8) | s[i + 2];
        enc += kBase64[v >> 18];
        enc += kBase64[(v >> 12) & 63];
        enc += kBase64[(v >> 6) & 63];
        enc += kBase64[v & 63];
    }
    if (i < in.size()) {
        unsigned v = s[i] << 16;
        if (i + 1 < in.size()) v |= s[i + 1] << 8;
        enc += kBase64[v >> 18];
        enc += kBase64[(v >> 12) & 63];
        enc += i + 1 < in.size() ? kBase64[(v >> 6) & 63] : '=';
        enc += '=';
    }

    std::string result;
    result.reserve(chars + 2 * breaks);
    for (size_t k = 0, line = 0; k < enc.size(); k += kLine, ++line) {
        result.append(enc, k, kLine);
        if (line < breaks) result += "\r\n";
    }
    out = std::move(result);
    return true;
}

std::string Base64Decode(const std::string& in) {
    static const std::array<signed char, 256> kValue = [] {
        std::array<signed char, 256> t{};
        t.fill(-1);
        for (int k = 0; k < 64; ++k)
            t[static_cast<unsigned char>(kBase64[k])] = static_cast<signed char>(k);
        return t;
    }();
    std::string out;
    unsigned buf = 0;
    int bits = 0;
    for (char c : in) {
        if (c == '=') break;
        int v = kValue[static_cast<unsigned char>(c)];
        if (v < 0) continue;
        buf = ((buf << 6) | static_cast<unsigned>(v)) & 0xFFFFFF;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((buf >> bits) & 0xFF);
        }
    }
    return out;
}

bool WriteTextFile(const std::string& text, const std::string& path) {
    return AtomicWriteFile(path, text, 0644);
}

bool WriteTextFile(const std::string& text, const std::string& path, unsigned mode) {
    return AtomicWriteFile(path, text, mode);
}

}  // namespace bexora
