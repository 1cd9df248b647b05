#pragma once
// Small text and number helpers shared by the site's request handling, its
// pages and its control API.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <map>
#include <string>

#include "Json.h"
#include "SiteTime.h"

namespace bexora::auction {

inline std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

inline bool IEquals(const std::string& a, const std::string& b) {
    return Lower(a) == Lower(b);
}

inline bool StartsWith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

inline std::map<std::string, std::string> ParseCookies(const std::string& header) {
    std::map<std::string, std::string> out;
    size_t pos = 0;
    while (pos < header.size()) {
        size_t end = header.find(';', pos);
        if (end == std::string::npos) end = header.size();
        std::string part = header.substr(pos, end - pos);
        size_t b = part.find_first_not_of(' ');
        if (b != std::string::npos) {
            part = part.substr(b);
            size_t eq = part.find('=');
            if (eq != std::string::npos)
                out[part.substr(0, eq)] = part.substr(eq + 1);
            else
                out[part] = "";
        }
        pos = end + 1;
    }
    return out;
}

inline std::string Base64Decode(const std::string& in) {
    static const std::string alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned buffer = 0;
    int bits = 0;
    for (char c : in) {
        size_t v = alphabet.find(c);
        if (v == std::string::npos) continue;  // "=", line breaks
        buffer = (buffer << 6) | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((buffer >> bits) & 0xFF);
        }
    }
    return out;
}

// Amount in cents from a JSON number or a price text; -1 when unusable.
inline int64_t CentsOf(const Json* v) {
    if (!v) return -1;
    if (v->IsNumber()) {
        if (v->AsNumber() < 0 || v->AsNumber() > 1e10) return -1;
        return static_cast<int64_t>(std::llround(v->AsNumber() * 100));
    }
    if (v->IsString()) return ParseAmountCents(v->AsString());
    return -1;
}

inline double Dollars(int64_t cents) {
    return static_cast<double>(cents) / 100.0;
}

inline std::string Trimmed(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

inline bool ValidUserId(const std::string& u) {
    if (u.empty() || u.size() > 40) return false;
    for (unsigned char c : u)
        if (!std::isalnum(c) && c != '_' && c != '-' && c != '.' && c != '*') return false;
    return true;
}

inline Json ErrorJson(const std::string& text) {
    Json j = Json::Object();
    j["error"] = text;
    return j;
}


}  // namespace bexora::auction
