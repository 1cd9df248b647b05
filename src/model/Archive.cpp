#include "model/Archive.h"

#include <cstring>
#include <map>
#include <mutex>

namespace bexora {

namespace {

using Cause = CArchiveException::Cause;

// Header tags.
constexpr uint16_t kNewClassTag = 0xFFFF;
constexpr uint16_t kClassTag = 0x8000;
constexpr uint16_t kBigObjectTag = 0x7FFF;
constexpr uint32_t kBigClassTag = 0x80000000;
// Highest number a header can carry (big form, high bit taken by the tag).
constexpr uint32_t kMaxMapNumber = 0x7FFFFFFF;

// Text length prefix: FF FE FF announces 2-byte characters.
constexpr uint16_t kWideMarker = 0xFFFE;

struct ClassRegistry {
    std::mutex m_mutex;
    std::map<std::string, const CRuntimeClass*, std::less<>> m_classes;
};

ClassRegistry& Registry() {
    // Function-local so registrars in other files may run first.
    static ClassRegistry registry;
    return registry;
}

// Unicode for the Windows-1252 bytes 80 to 9F. The five bytes the code page
// leaves undefined map to the same C1 code point, as Windows does.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

char UnicodeToAnsi(uint32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
    for (unsigned i = 0; i < 32; ++i) {
        if (kCp1252High[i] == cp) return static_cast<char>(0x80 + i);
    }
    return '?';
}

uint16_t LoadU16(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

// UTF-16LE to Windows-1252; a surrogate pair is one character, so one '?'.
std::string WideToAnsi(const char* p, std::size_t units) {
    std::string out;
    out.reserve(units);
    for (std::size_t i = 0; i < units; ++i) {
        uint16_t u = LoadU16(p + 2 * i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            uint16_t lo = LoadU16(p + 2 * (i + 1));
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                ++i;
                out += '?';
                continue;
            }
        }
        out += UnicodeToAnsi(u);
    }
    return out;
}

}  // namespace

CArchive::CArchive(StoreTag, std::string& out) : m_pOut(&out) {}

CArchive::CArchive(LoadTag, std::string_view data) : m_data(data) {
    m_loadMap.push_back({nullptr, 0});  // number 0 is the null object
}

// ---- raw bytes ----

void CArchive::Put(const void* bytes, std::size_t n) {
    m_pOut->append(static_cast<const char*>(bytes), n);
}

void CArchive::PutU16(uint16_t v) {
    const char b[2] = {static_cast<char>(v), static_cast<char>(v >> 8)};
    Put(b, 2);
}

void CArchive::PutU32(uint32_t v) {
    PutU16(static_cast<uint16_t>(v));
    PutU16(static_cast<uint16_t>(v >> 16));
}

void CArchive::PutU64(uint64_t v) {
    PutU32(static_cast<uint32_t>(v));
    PutU32(static_cast<uint32_t>(v >> 32));
}

const char* CArchive::Take(std::size_t n, const char* what) {
    if (n > m_data.size() - m_nPos) {
        throw CArchiveException(Cause::EndOfFile, std::string("data ends inside ") + what);
    }
    const char* p = m_data.data() + m_nPos;
    m_nPos += n;
    return p;
}

uint16_t CArchive::TakeU16(const char* what) {
    return LoadU16(Take(2, what));
}

uint32_t CArchive::TakeU32(const char* what) {
    const char* p = Take(4, what);
    return static_cast<uint32_t>(LoadU16(p)) | (static_cast<uint32_t>(LoadU16(p + 2)) << 16);
}

uint64_t CArchive::TakeU64(const char* what) {
    uint64_t lo = TakeU32(what);
    uint64_t hi = TakeU32(what);
    return lo | (hi << 32);
}

void CArchive::CheckLoading() const {
    if (!IsLoading()) throw std::logic_error("reading from an archive that is storing");
}

void CArchive::CheckStoring() const {
    if (!IsStoring()) throw std::logic_error("writing to an archive that is loading");
}

// ---- counts, integers, times ----

void CArchive::WriteCount(uint32_t count) {
    CheckStoring();
    if (count < 0xFFFF) {
        PutU16(static_cast<uint16_t>(count));
        return;
    }
    PutU16(0xFFFF);
    if (count < 0xFFFFFFFF) {
        PutU32(count);
    } else {
        PutU32(0xFFFFFFFF);
        PutU64(count);
    }
}

uint32_t CArchive::ReadCount() {
    CheckLoading();
    uint16_t w = TakeU16("a count");
    if (w != 0xFFFF) return w;
    uint32_t d = TakeU32("a count");
    if (d != 0xFFFFFFFF) return d;
    uint64_t q = TakeU64("a count");
    if (q > 0xFFFFFFFF) throw CArchiveException(Cause::Generic, "count too large");
    return static_cast<uint32_t>(q);
}

void CArchive::WriteInt(int32_t value) {
    CheckStoring();
    PutU32(static_cast<uint32_t>(value));
}

int32_t CArchive::ReadInt() {
    CheckLoading();
    return static_cast<int32_t>(TakeU32("an integer"));
}

void CArchive::WriteTime(int64_t value) {
    CheckStoring();
    PutU64(static_cast<uint64_t>(value));
}

int64_t CArchive::ReadTime() {
    CheckLoading();
    return static_cast<int64_t>(TakeU64("a time"));
}

// ---- texts ----

void CArchive::WriteString(std::string_view text) {
    CheckStoring();
    const uint64_t len = text.size();
    if (len < 0xFF) {
        const char b = static_cast<char>(len);
        Put(&b, 1);
    } else if (len < kWideMarker) {
        const char b = static_cast<char>(0xFF);
        Put(&b, 1);
        PutU16(static_cast<uint16_t>(len));
    } else {
        const char b = static_cast<char>(0xFF);
        Put(&b, 1);
        PutU16(0xFFFF);
        if (len < 0xFFFFFFFF) {
            PutU32(static_cast<uint32_t>(len));
        } else {
            PutU32(0xFFFFFFFF);
            PutU64(len);
        }
    }
    Put(text.data(), text.size());
}

// The length prefix of a text; *pWide tells whether FF FE FF came first, in
// which case the length that follows counts 2-byte characters.
uint64_t CArchive::ReadStringLength(bool* pWide) {
    *pWide = false;
    for (;;) {
        const auto b = static_cast<unsigned char>(*Take(1, "a text length"));
        if (b < 0xFF) return b;
        const uint16_t w = TakeU16("a text length");
        if (w == kWideMarker) {
            if (*pWide) throw CArchiveException(Cause::Generic, "text length marked twice");
            *pWide = true;
            continue;
        }
        if (w < kWideMarker) return w;
        const uint32_t d = TakeU32("a text length");
        if (d < 0xFFFFFFFF) return d;
        return TakeU64("a text length");
    }
}

std::string CArchive::ReadString() {
    CheckLoading();
    bool wide = false;
    const uint64_t len = ReadStringLength(&wide);
    // Checked before anything is allocated: a hostile length fails here.
    const uint64_t left = m_data.size() - m_nPos;
    if (wide) {
        if (len > left / 2) throw CArchiveException(Cause::EndOfFile, "data ends inside a text");
        const char* p = Take(static_cast<std::size_t>(len) * 2, "a text");
        return WideToAnsi(p, static_cast<std::size_t>(len));
    }
    if (len > left) throw CArchiveException(Cause::EndOfFile, "data ends inside a text");
    const char* p = Take(static_cast<std::size_t>(len), "a text");
    return std::string(p, static_cast<std::size_t>(len));
}

// ---- objects ----

uint32_t CArchive::NextMapNumber() {
    if (m_nMapCount > kMaxMapNumber) {
        throw CArchiveException(Cause::Generic, "too many objects for one archive");
    }
    return m_nMapCount++;
}

void CArchive::WriteObject(const CObject& obj) {
    CheckStoring();
    const CRuntimeClass* cls = obj.GetRuntimeClass();
    if (!cls || !cls->m_lpszClassName) {
        throw std::logic_error("object without an archived class");
    }

    const std::pair<const CRuntimeClass*, uint32_t>* known = nullptr;
    for (const auto& entry : m_storedClasses) {
        if (entry.first == cls) known = &entry;
    }

    if (known) {
        const uint32_t n = known->second;
        if (n < kBigObjectTag) {
            PutU16(static_cast<uint16_t>(kClassTag | n));
        } else {
            PutU16(kBigObjectTag);
            PutU32(kBigClassTag | n);
        }
    } else {
        const std::size_t len = std::strlen(cls->m_lpszClassName);
        // A longer name would make a file that no reader accepts.
        if (len > kMaxClassName) {
            throw CArchiveException(Cause::ClassNameTooLong,
                                    std::string("class name too long: ") + cls->m_lpszClassName);
        }
        const uint32_t n = NextMapNumber();
        PutU16(kNewClassTag);
        PutU16(cls->m_wSchema);
        PutU16(static_cast<uint16_t>(len));
        Put(cls->m_lpszClassName, len);
        m_storedClasses.emplace_back(cls, n);
    }
    NextMapNumber();  // the object's own number

    // Storing does not change the object; Serialize serves both directions.
    const_cast<CObject&>(obj).Serialize(*this);
}

CArchive::LoadEntry CArchive::ReadClassHeader() {
    const uint16_t tag = TakeU16("an object header");
    uint32_t number = 0;
    if (tag == kNewClassTag) {
        const uint16_t schema = TakeU16("an object header");
        const uint16_t len = TakeU16("an object header");
        if (len > kMaxClassName) {
            throw CArchiveException(Cause::ClassNameTooLong,
                                    "class name of " + std::to_string(len) + " characters");
        }
        const std::string_view name(Take(len, "a class name"), len);
        const CRuntimeClass* cls = FindClass(name);
        if (!cls) {
            throw CArchiveException(Cause::ClassNotRegistered,
                                    "class " + std::string(name) + " is not registered");
        }
        if (!cls->m_bVersionable && schema != cls->m_wSchema) {
            throw CArchiveException(
                Cause::BadSchema,
                "class " + std::string(name) + " stored with schema " + std::to_string(schema));
        }
        m_loadMap.push_back({cls, schema});
        return m_loadMap.back();
    }
    if (tag == kBigObjectTag) {
        const uint32_t big = TakeU32("an object header");
        if (!(big & kBigClassTag)) {
            throw CArchiveException(Cause::Generic, "reference to earlier object " +
                                                        std::to_string(big) + " not supported");
        }
        number = big & ~kBigClassTag;
    } else if (tag & kClassTag) {
        number = tag & ~kClassTag;
    } else {
        // 0 is a null object, anything else a back reference; neither ever
        // stands in one of our lists.
        throw CArchiveException(Cause::Generic, tag == 0
                                                    ? std::string("null object")
                                                    : "reference to earlier object " +
                                                          std::to_string(tag) + " not supported");
    }
    if (number >= m_loadMap.size() || !m_loadMap[number].m_pClass) {
        throw CArchiveException(Cause::BadClassNumber,
                                "class number " + std::to_string(number) + " does not exist");
    }
    return m_loadMap[number];
}

std::unique_ptr<CObject> CArchive::ReadObject() {
    CheckLoading();
    const LoadEntry cls = ReadClassHeader();
    std::unique_ptr<CObject> obj = cls.m_pClass->CreateObject();
    if (!obj) {
        throw CArchiveException(Cause::Generic, std::string("cannot create an object of class ") +
                                                    cls.m_pClass->m_lpszClassName);
    }
    m_loadMap.push_back({nullptr, 0});  // the object's number; never a class

    // Saved and restored so an object that reads objects of its own gets
    // its schema back afterwards.
    const uint32_t outer = m_nObjectSchema;
    m_nObjectSchema = cls.m_nSchema;
    try {
        obj->Serialize(*this);
    } catch (...) {
        m_nObjectSchema = outer;
        throw;
    }
    m_nObjectSchema = outer;
    return obj;
}

// ---- class registry ----

bool CArchive::RegisterClass(const CRuntimeClass& cls) {
    if (!cls.m_lpszClassName || !*cls.m_lpszClassName || !cls.m_pfnCreateObject ||
        std::strlen(cls.m_lpszClassName) > kMaxClassName) {
        throw std::invalid_argument("class cannot be registered for archiving");
    }
    ClassRegistry& reg = Registry();
    std::lock_guard<std::mutex> lock(reg.m_mutex);
    auto [it, inserted] = reg.m_classes.emplace(cls.m_lpszClassName, &cls);
    return inserted || it->second == &cls;
}

void CArchive::UnregisterClass(const CRuntimeClass& cls) {
    if (!cls.m_lpszClassName) return;
    ClassRegistry& reg = Registry();
    std::lock_guard<std::mutex> lock(reg.m_mutex);
    auto it = reg.m_classes.find(std::string_view(cls.m_lpszClassName));
    if (it != reg.m_classes.end() && it->second == &cls) reg.m_classes.erase(it);
}

const CRuntimeClass* CArchive::FindClass(std::string_view name) {
    ClassRegistry& reg = Registry();
    std::lock_guard<std::mutex> lock(reg.m_mutex);
    auto it = reg.m_classes.find(name);
    return it == reg.m_classes.end() ? nullptr : it->second;
}

}  // namespace bexora
