#include "Json.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace bexora::auction {

class JsonParser {
public:
    explicit JsonParser(const std::string& s) : m_s(s) {}

    std::optional<Json> Document(std::string* error) {
        Json v;
        bool ok = Value(v, 0);
        SkipSpace();
        if (ok && m_pos != m_s.size()) {
            ok = false;
            m_error = "trailing characters";
        }
        if (!ok) {
            if (error) *error = m_error + " at offset " + std::to_string(m_pos);
            return std::nullopt;
        }
        return v;
    }

private:
    const std::string& m_s;
    size_t m_pos = 0;
    std::string m_error = "invalid JSON";

    void SkipSpace() {
        while (m_pos < m_s.size() && (m_s[m_pos] == ' ' || m_s[m_pos] == '\t' ||
                                      m_s[m_pos] == '\n' || m_s[m_pos] == '\r'))
            ++m_pos;
    }
    bool Literal(const char* word) {
        size_t n = std::char_traits<char>::length(word);
        if (m_s.compare(m_pos, n, word) != 0) return false;
        m_pos += n;
        return true;
    }
    static void PutUtf8(std::string& out, unsigned cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    bool String(std::string& out) {
        ++m_pos;  // opening quote
        while (m_pos < m_s.size()) {
            char c = m_s[m_pos++];
            if (c == '"') return true;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_pos >= m_s.size()) break;
            char e = m_s[m_pos++];
            switch (e) {
                case '"':
                    out += '"';
                    break;
                case '\\':
                    out += '\\';
                    break;
                case '/':
                    out += '/';
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    if (m_pos + 4 > m_s.size()) return false;
                    unsigned cp = 0;
                    auto r = std::from_chars(m_s.data() + m_pos, m_s.data() + m_pos + 4, cp, 16);
                    if (r.ptr != m_s.data() + m_pos + 4) return false;
                    m_pos += 4;
                    PutUtf8(out, cp);
                    break;
                }
                default:
                    m_error = "bad escape";
                    return false;
            }
        }
        m_error = "unterminated string";
        return false;
    }
    bool Value(Json& v, int depth) {
        if (depth > 64) {
            m_error = "nesting too deep";
            return false;
        }
        SkipSpace();
        if (m_pos >= m_s.size()) return false;
        char c = m_s[m_pos];
        if (c == '{') {
            v = Json::Object();
            ++m_pos;
            SkipSpace();
            if (m_pos < m_s.size() && m_s[m_pos] == '}') {
                ++m_pos;
                return true;
            }
            for (;;) {
                SkipSpace();
                if (m_pos >= m_s.size() || m_s[m_pos] != '"') return false;
                std::string key;
                if (!String(key)) return false;
                SkipSpace();
                if (m_pos >= m_s.size() || m_s[m_pos] != ':') return false;
                ++m_pos;
                Json member;
                if (!Value(member, depth + 1)) return false;
                v.m_members.emplace_back(std::move(key), std::move(member));
                SkipSpace();
                if (m_pos < m_s.size() && m_s[m_pos] == ',') {
                    ++m_pos;
                    continue;
                }
                if (m_pos < m_s.size() && m_s[m_pos] == '}') {
                    ++m_pos;
                    return true;
                }
                return false;
            }
        }
        if (c == '[') {
            v = Json::Array();
            ++m_pos;
            SkipSpace();
            if (m_pos < m_s.size() && m_s[m_pos] == ']') {
                ++m_pos;
                return true;
            }
            for (;;) {
                Json item;
                if (!Value(item, depth + 1)) return false;
                v.m_items.push_back(std::move(item));
                SkipSpace();
                if (m_pos < m_s.size() && m_s[m_pos] == ',') {
                    ++m_pos;
                    continue;
                }
                if (m_pos < m_s.size() && m_s[m_pos] == ']') {
                    ++m_pos;
                    return true;
                }
                return false;
            }
        }
        if (c == '"') {
            std::string s;
            if (!String(s)) return false;
            v = Json(std::move(s));
            return true;
        }
        if (Literal("true")) {
            v = Json(true);
            return true;
        }
        if (Literal("false")) {
            v = Json(false);
            return true;
        }
        if (Literal("null")) {
            v = Json();
            return true;
        }
        // Number: strtod accepts more than JSON does, which is harmless here.
        const char* start = m_s.c_str() + m_pos;
        char* end = nullptr;
        double d = std::strtod(start, &end);
        if (end == start || !std::isfinite(d)) return false;
        m_pos += static_cast<size_t>(end - start);
        v = Json(d);
        return true;
    }
};

std::optional<Json> Json::Parse(const std::string& text, std::string* error) {
    return JsonParser(text).Document(error);
}

static void DumpString(std::string& out, const std::string& s) {
    out += '"';
    for (unsigned char c : s) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
}

static void DumpValue(std::string& out, const Json& v) {
    switch (v.type()) {
        case Json::Type::Null:
            out += "null";
            break;
        case Json::Type::Bool:
            out += v.AsBool() ? "true" : "false";
            break;
        case Json::Type::Number: {
            char buf[64];
            double d = v.AsNumber();
            if (d == std::floor(d) && std::fabs(d) < 1e15) {
                std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(d));
                out += buf;
            } else {
                auto r = std::to_chars(buf, buf + sizeof buf, d);
                out.append(buf, r.ptr);
            }
            break;
        }
        case Json::Type::String:
            DumpString(out, v.AsString());
            break;
        case Json::Type::Array: {
            out += '[';
            bool first = true;
            for (const Json& item : v.Items()) {
                if (!first) out += ',';
                first = false;
                DumpValue(out, item);
            }
            out += ']';
            break;
        }
        case Json::Type::Object: {
            out += '{';
            bool first = true;
            for (const auto& [key, member] : v.Members()) {
                if (!first) out += ',';
                first = false;
                DumpString(out, key);
                out += ':';
                DumpValue(out, member);
            }
            out += '}';
            break;
        }
    }
}

std::string Json::Dump() const {
    std::string out;
    DumpValue(out, *this);
    return out;
}

const Json* Json::Get(const std::string& key) const {
    if (m_type != Type::Object) return nullptr;
    for (const auto& [k, v] : m_members)
        if (k == key) return &v;
    return nullptr;
}

Json& Json::operator[](const std::string& key) {
    if (m_type != Type::Object) {
        *this = Object();
    }
    for (auto& [k, v] : m_members)
        if (k == key) return v;
    m_members.emplace_back(key, Json());
    return m_members.back().second;
}

void Json::Push(Json v) {
    if (m_type != Type::Array) *this = Array();
    m_items.push_back(std::move(v));
}

}  // namespace bexora::auction
