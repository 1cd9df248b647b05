#pragma once
// The object archive that .bid files are made of: a little-endian byte stream
// of counts, integers, times, texts and whole objects, each object behind a
// header that names its class and the class's schema. The bytes are fixed:
// the .bid files users already have must keep opening, byte for byte.
//
// Storing appends to a std::string; loading reads a caller-owned buffer and
// throws CArchiveException on anything malformed. Lengths and counts from
// the stream are never trusted for allocation: a text is only read once the
// buffer is known to hold all of it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace bexora {

class CArchive;
class CObject;

// What an archived class tells the archive about itself. Objects of it are
// created by name when a file is read, so the class must be registered with
// CArchive::RegisterClass (or BEXORA_IMPLEMENT_SERIAL) before loading.
struct CRuntimeClass {
    // ASCII, at most 63 characters (longer names cannot be read back).
    const char* m_lpszClassName;
    // Schema written into the header of the class's first object.
    uint16_t m_wSchema;
    // Versionable: loading accepts any stored schema and leaves it to the
    // class's Serialize (through GetObjectSchema). Otherwise a stored schema
    // other than m_wSchema is an error.
    bool m_bVersionable;
    // Makes a default-constructed object of the class.
    std::unique_ptr<CObject> (*m_pfnCreateObject)();

    std::unique_ptr<CObject> CreateObject() const { return m_pfnCreateObject(); }
};

// Base of every object written with WriteObject (and of anything else that
// serializes itself, such as a document).
class CObject {
public:
    virtual ~CObject() = default;
    // The archived class, or null for a class that cannot be written as an
    // object (WriteObject refuses it).
    virtual const CRuntimeClass* GetRuntimeClass() const { return nullptr; }
    // Stores or loads the object's own fields (ask ar.IsStoring()).
    virtual void Serialize(CArchive& /*ar*/) {}
};

class CArchiveException : public std::runtime_error {
public:
    enum class Cause {
        Generic,             // anything else malformed (object references, oversized counts)
        EndOfFile,           // the data ends inside an element
        ClassNotRegistered,  // a header names a class nobody registered
        BadClassNumber,      // a class reference to a number that is no class
        ClassNameTooLong,    // a class name of more than 63 characters
        BadSchema,           // stored schema differs for a non-versionable class
        WrongClass,          // ReadObjectOf found an object of another class
    };

    CArchiveException(Cause cause, const std::string& what)
        : std::runtime_error(what), m_cause(cause) {}
    Cause GetCause() const { return m_cause; }

private:
    Cause m_cause;
};

class CArchive {
public:
    struct StoreTag {};
    struct LoadTag {};
    static constexpr StoreTag store{};
    static constexpr LoadTag load{};

    // Longest class name a header may carry.
    static constexpr std::size_t kMaxClassName = 63;
    // What GetObjectSchema answers when no object is being loaded.
    static constexpr uint32_t kNoSchema = 0xFFFFFFFF;

    // Storing: everything written is appended to out, which must outlive the
    // archive.   CArchive ar(CArchive::store, bytes);
    CArchive(StoreTag, std::string& out);
    // Loading from data, which must outlive the archive (it is not copied).
    //   CArchive ar(CArchive::load, bytes);
    CArchive(LoadTag, std::string_view data);
    CArchive(LoadTag, std::string&&) = delete;  // would dangle

    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    bool IsStoring() const { return m_pOut != nullptr; }
    bool IsLoading() const { return m_pOut == nullptr; }

    // Counts: 2 bytes; from 65535 on FF FF and 4 bytes.
    void WriteCount(uint32_t count);
    uint32_t ReadCount();
    // Integers: 4 bytes, signed.
    void WriteInt(int32_t value);
    int32_t ReadInt();
    // Times: 8 bytes, signed seconds since 1970-01-01 UTC.
    void WriteTime(int64_t value);
    int64_t ReadTime();
    // Texts: a 1, 3 or 7 byte length, then the Windows-1252 bytes. Reading
    // also takes the 2-byte-character form that other writers produced and
    // converts it to Windows-1252 ('?' for characters it has no byte for).
    void WriteString(std::string_view text);
    std::string ReadString();

    // Writes a header naming obj's class (in full the first time, by number
    // afterwards) and then obj's fields through its Serialize. Every call
    // writes the object in full: the archive does not track object identity,
    // so the same object written twice comes back as two equal objects.
    void WriteObject(const CObject& obj);
    // Reads a header, creates an object of the registered class it names and
    // lets its Serialize fill it. Never returns null: a null or back
    // reference to an earlier object is a format error, since our files hold
    // every object once and a back reference cannot be handed out twice.
    std::unique_ptr<CObject> ReadObject();
    // ReadObject, and the object must be a T (else WrongClass).
    template <class T>
    std::unique_ptr<T> ReadObjectOf();

    // While an object's Serialize is loading: the schema stored in its
    // header. kNoSchema outside of that (and while storing).
    uint32_t GetObjectSchema() const { return m_nObjectSchema; }

    // Loading: bytes consumed so far, and whether all were consumed.
    std::size_t GetPosition() const { return m_nPos; }
    bool AtEnd() const { return m_nPos >= m_data.size(); }

    // Makes a class known to loading under its name. Registering the same
    // class again is harmless; a different class under a name already taken
    // is refused (returns false, the first stays). Throws
    // std::invalid_argument for an empty or over-long name or no factory.
    // Thread-safe.
    //
    // The model library registers its classes explicitly at start-up as
    // well as through BEXORA_IMPLEMENT_SERIAL: a static library leaves out
    // object files nothing refers to, and their registrars with them.
    static bool RegisterClass(const CRuntimeClass& cls);
    // Removes cls if it is the class registered under its name (tests).
    static void UnregisterClass(const CRuntimeClass& cls);
    // The class registered under name, or null.
    static const CRuntimeClass* FindClass(std::string_view name);

private:
    // One entry of the load map: a class (with the schema its first header
    // carried) or the marker of an object already read.
    struct LoadEntry {
        const CRuntimeClass* m_pClass;
        uint32_t m_nSchema;
    };

    void Put(const void* bytes, std::size_t n);
    void PutU16(uint16_t v);
    void PutU32(uint32_t v);
    void PutU64(uint64_t v);
    const char* Take(std::size_t n, const char* what);
    uint16_t TakeU16(const char* what);
    uint32_t TakeU32(const char* what);
    uint64_t TakeU64(const char* what);
    void CheckLoading() const;
    void CheckStoring() const;
    uint64_t ReadStringLength(bool* pWide);
    LoadEntry ReadClassHeader();
    uint32_t NextMapNumber();

    std::string* m_pOut = nullptr;
    std::string_view m_data;
    std::size_t m_nPos = 0;

    // Numbers handed out so far; classes and objects share them, from 1 up.
    uint32_t m_nMapCount = 1;
    // Storing: the number each class got when its name was written.
    std::vector<std::pair<const CRuntimeClass*, uint32_t>> m_storedClasses;
    // Loading: entry i is what got number i (entry 0 is the null object).
    std::vector<LoadEntry> m_loadMap;
    uint32_t m_nObjectSchema = kNoSchema;
};

template <class T>
std::unique_ptr<T> CArchive::ReadObjectOf() {
    std::unique_ptr<CObject> obj = ReadObject();
    T* typed = dynamic_cast<T*>(obj.get());
    if (!typed) {
        const CRuntimeClass* cls = obj->GetRuntimeClass();
        throw CArchiveException(CArchiveException::Cause::WrongClass,
                                std::string("object of class ") +
                                    (cls ? cls->m_lpszClassName : "?") +
                                    " where another was expected");
    }
    obj.release();
    return std::unique_ptr<T>(typed);
}

// Registers a class when the program starts (from a static object in a .cpp).
struct CClassRegistrar {
    explicit CClassRegistrar(const CRuntimeClass& cls) { CArchive::RegisterClass(cls); }
};

}  // namespace bexora

// In the class body:   BEXORA_DECLARE_SERIAL(CItem)
// In its .cpp:         BEXORA_IMPLEMENT_SERIAL(CItem, 3, true);
// The class needs a default constructor. IMPLEMENT also registers the class
// at start-up (see RegisterClass on why that alone is not enough).
// clang-format off
#define BEXORA_DECLARE_SERIAL(cls)                                              \
public:                                                                         \
    static const ::bexora::CRuntimeClass class##cls;                            \
    static std::unique_ptr<::bexora::CObject> CreateObject();                   \
    const ::bexora::CRuntimeClass* GetRuntimeClass() const override;            \
                                                                                \
private:

#define BEXORA_IMPLEMENT_SERIAL(cls, schema, versionable)                       \
    std::unique_ptr<::bexora::CObject> cls::CreateObject() {                    \
        return std::make_unique<cls>();                                         \
    }                                                                           \
    const ::bexora::CRuntimeClass cls::class##cls{                              \
        #cls, static_cast<uint16_t>(schema), (versionable), &cls::CreateObject};  \
    const ::bexora::CRuntimeClass* cls::GetRuntimeClass() const {               \
        return &class##cls;                                                     \
    }                                                                           \
    static const ::bexora::CClassRegistrar s_bexoraRegistrar##cls(cls::class##cls)
// clang-format on
