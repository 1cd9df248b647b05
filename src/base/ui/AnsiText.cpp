#include "base/ui/AnsiText.h"

#include <QList>

namespace bexora {

namespace {
// 0x80 to 0x9F; 0 where the code page has no character.
constexpr char16_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
}  // namespace

QString FromAnsi(const std::string& text) {
    QString out;
    out.reserve(static_cast<qsizetype>(text.size()));
    for (char ch : text) {
        auto byte = static_cast<unsigned char>(ch);
        char16_t mapped = byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : 0;
        out.append(QChar(mapped ? mapped : char16_t(byte)));
    }
    return out;
}

std::string ToAnsi(const QString& text) {
    std::string out;
    out.reserve(static_cast<size_t>(text.size()));
    for (char32_t cp : text.toUcs4()) {
        if (cp < 0x80 || (cp >= 0xA0 && cp < 0x100)) {
            out.push_back(static_cast<char>(cp));
            continue;
        }
        char byte = '?';
        for (int i = 0; i < 32; ++i) {
            bool undefinedHere = kHigh[i] == 0 && cp == char32_t(0x80 + i);
            if (undefinedHere || (kHigh[i] != 0 && cp == kHigh[i])) {
                byte = static_cast<char>(0x80 + i);
                break;
            }
        }
        out.push_back(byte);
    }
    return out;
}

}  // namespace bexora
