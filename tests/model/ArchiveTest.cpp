#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "model/Archive.h"

namespace bexora {
namespace {

using Cause = CArchiveException::Cause;

// "02 00 FF" -> the bytes 02 00 FF.
std::string Bytes(const char* hex) {
    std::string out;
    unsigned v = 0;
    int n = 0;
    for (const char* p = hex; *p; ++p) {
        if (*p == ' ') continue;
        unsigned d = (*p <= '9') ? unsigned(*p - '0') : unsigned((*p | 0x20) - 'a' + 10);
        v = v * 16 + d;
        if (++n == 2) {
            out += static_cast<char>(v);
            v = 0;
            n = 0;
        }
    }
    return out;
}

std::string Hex(std::string_view s) {
    std::string out;
    char buf[4];
    for (unsigned char c : s) {
        std::snprintf(buf, sizeof buf, "%02X ", c);
        out += buf;
    }
    return out;
}

// Runs fn on a loading archive over data and returns the cause it threw.
template <class Fn>
Cause FailureOf(const std::string& data, Fn fn) {
    CArchive ar(CArchive::load, data);
    try {
        fn(ar);
    } catch (const CArchiveException& e) {
        return e.GetCause();
    }
    ADD_FAILURE() << "no error reading " << Hex(data);
    return Cause::Generic;
}

// ---- test classes ----

// A record with one field of each kind; not versionable.
class CTestRecord : public CObject {
    BEXORA_DECLARE_SERIAL(CTestRecord)
public:
    std::string m_strText = "default";
    int32_t m_nValue = 0;
    int64_t m_tWhen = 0;
    void Serialize(CArchive& ar) override {
        if (ar.IsStoring()) {
            ar.WriteString(m_strText);
            ar.WriteInt(m_nValue);
            ar.WriteTime(m_tWhen);
        } else {
            m_strText = ar.ReadString();
            m_nValue = ar.ReadInt();
            m_tWhen = ar.ReadTime();
        }
    }
};
BEXORA_IMPLEMENT_SERIAL(CTestRecord, 4, false);

// Versionable: remembers which schema loading told it; writes one int.
class CTestVersioned : public CObject {
    BEXORA_DECLARE_SERIAL(CTestVersioned)
public:
    int32_t m_nValue = 0;
    uint32_t m_nSchemaSeen = 0;
    void Serialize(CArchive& ar) override {
        if (ar.IsStoring()) {
            ar.WriteInt(m_nValue);
        } else {
            m_nSchemaSeen = ar.GetObjectSchema();
            m_nValue = ar.ReadInt();
        }
    }
};
BEXORA_IMPLEMENT_SERIAL(CTestVersioned, 5, true);

// Holds another object; checks the schema it sees before and after it.
class CTestBox : public CObject {
    BEXORA_DECLARE_SERIAL(CTestBox)
public:
    std::unique_ptr<CTestVersioned> m_pInner = std::make_unique<CTestVersioned>();
    uint32_t m_nSchemaBefore = 0, m_nSchemaAfter = 0;
    void Serialize(CArchive& ar) override {
        if (ar.IsStoring()) {
            ar.WriteObject(*m_pInner);
        } else {
            m_nSchemaBefore = ar.GetObjectSchema();
            m_pInner = ar.ReadObjectOf<CTestVersioned>();
            m_nSchemaAfter = ar.GetObjectSchema();
        }
    }
};
BEXORA_IMPLEMENT_SERIAL(CTestBox, 7, true);

// Stand-ins for the item and the bid group, under their real class names,
// each writing a tiny record so the headers stand out in the bytes.
class StandInItem : public CObject {
public:
    static const CRuntimeClass classInfo;
    std::string m_strItemNumber;
    const CRuntimeClass* GetRuntimeClass() const override { return &classInfo; }
    void Serialize(CArchive& ar) override {
        if (ar.IsStoring())
            ar.WriteString(m_strItemNumber);
        else
            m_strItemNumber = ar.ReadString();
    }
};
const CRuntimeClass StandInItem::classInfo{
    "CItem", 3, true, [] { return std::unique_ptr<CObject>(new StandInItem); }};

class StandInGroup : public CObject {
public:
    static const CRuntimeClass classInfo;
    std::string m_strName;
    int32_t m_nWanted = 0;
    const CRuntimeClass* GetRuntimeClass() const override { return &classInfo; }
    void Serialize(CArchive& ar) override {
        if (ar.IsStoring()) {
            ar.WriteString(m_strName);
            ar.WriteInt(m_nWanted);
        } else {
            m_strName = ar.ReadString();
            m_nWanted = ar.ReadInt();
        }
    }
};
const CRuntimeClass StandInGroup::classInfo{
    "CBidGroup", 2, true, [] { return std::unique_ptr<CObject>(new StandInGroup); }};

// A class that is written but never registered, and one whose name no
// reader would take.
class CTestNotRegistered : public CObject {
public:
    static const CRuntimeClass classInfo;
    const CRuntimeClass* GetRuntimeClass() const override { return &classInfo; }
};
const CRuntimeClass CTestNotRegistered::classInfo{"CTestNotRegistered", 1, false,
                                                  [] { return std::unique_ptr<CObject>(); }};

const std::string kName64(64, 'N');
class CTestLongName : public CObject {
public:
    static const CRuntimeClass classInfo;
    const CRuntimeClass* GetRuntimeClass() const override { return &classInfo; }
};
const CRuntimeClass CTestLongName::classInfo{
    kName64.c_str(), 1, false, [] { return std::unique_ptr<CObject>(new CTestLongName); }};

StandInItem Item(const char* number) {
    StandInItem item;
    item.m_strItemNumber = number;
    return item;
}

StandInGroup Group(const char* name, int32_t wanted) {
    StandInGroup group;
    group.m_strName = name;
    group.m_nWanted = wanted;
    return group;
}

// An item list file as the document writes it: item count and items, then
// group count and groups.
std::string WriteList(const std::vector<StandInItem>& items,
                      const std::vector<StandInGroup>& groups) {
    std::string out;
    CArchive ar(CArchive::store, out);
    ar.WriteCount(static_cast<uint32_t>(items.size()));
    for (const auto& item : items) ar.WriteObject(item);
    ar.WriteCount(static_cast<uint32_t>(groups.size()));
    for (const auto& group : groups) ar.WriteObject(group);
    return out;
}

class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CArchive::RegisterClass(StandInItem::classInfo));
        ASSERT_TRUE(CArchive::RegisterClass(StandInGroup::classInfo));
    }
    void TearDown() override {
        CArchive::UnregisterClass(StandInItem::classInfo);
        CArchive::UnregisterClass(StandInGroup::classInfo);
    }
};

// ---- scalars and texts ----

TEST_F(ArchiveTest, CountsIntsAndTimesHaveTheirFixedWidths) {
    std::string out;
    CArchive ar(CArchive::store, out);
    ar.WriteCount(0);
    ar.WriteCount(65534);
    ar.WriteCount(65535);
    ar.WriteCount(65536);
    ar.WriteInt(-2);
    ar.WriteTime(-1);
    ar.WriteTime(0x0102030405060708);
    EXPECT_EQ(Hex(out), Hex(Bytes("00 00  FE FF  FF FF FF FF 00 00  FF FF 00 00 01 00"
                                  "  FE FF FF FF  FF FF FF FF FF FF FF FF"
                                  "  08 07 06 05 04 03 02 01")));

    CArchive in(CArchive::load, out);
    EXPECT_EQ(in.ReadCount(), 0u);
    EXPECT_EQ(in.ReadCount(), 65534u);
    EXPECT_EQ(in.ReadCount(), 65535u);
    EXPECT_EQ(in.ReadCount(), 65536u);
    EXPECT_EQ(in.ReadInt(), -2);
    EXPECT_EQ(in.ReadTime(), -1);
    EXPECT_EQ(in.ReadTime(), 0x0102030405060708);
    EXPECT_TRUE(in.AtEnd());
}

TEST_F(ArchiveTest, LargestCountUsesTheEightByteForm) {
    std::string out;
    CArchive ar(CArchive::store, out);
    ar.WriteCount(0xFFFFFFFE);
    ar.WriteCount(0xFFFFFFFF);
    EXPECT_EQ(Hex(out), Hex(Bytes("FF FF FE FF FF FF  FF FF FF FF FF FF FF FF FF FF 00 00 00 00")));
    CArchive in(CArchive::load, out);
    EXPECT_EQ(in.ReadCount(), 0xFFFFFFFEu);
    EXPECT_EQ(in.ReadCount(), 0xFFFFFFFFu);

    // A count beyond 32 bits is refused rather than cut short.
    EXPECT_EQ(FailureOf(Bytes("FF FF FF FF FF FF 00 00 00 00 01 00 00 00"),
                        [](CArchive& a) { a.ReadCount(); }),
              Cause::Generic);
}

TEST_F(ArchiveTest, TextLengthPrefixChangesAtItsThresholds) {
    struct Case {
        std::size_t len;
        const char* prefix;
    } cases[] = {
        {0, "00"},
        {254, "FE"},
        {255, "FF FF 00"},
        {65533, "FF FD FF"},
        // FF FE FF and FF FF FF are markers, so these take the long form.
        {65534, "FF FF FF FE FF 00 00"},
        {65535, "FF FF FF FF FF 00 00"},
        {65536, "FF FF FF 00 00 01 00"},
    };
    for (const Case& c : cases) {
        std::string text(c.len, 'x');
        if (c.len) text[0] = '\x80';  // Windows-1252 bytes go through unchanged
        if (c.len > 1) text[c.len - 1] = '\xFF';
        std::string out;
        CArchive ar(CArchive::store, out);
        ar.WriteString(text);
        const std::string prefix = Bytes(c.prefix);
        EXPECT_EQ(out.size(), prefix.size() + c.len) << c.len;
        EXPECT_EQ(Hex(out.substr(0, prefix.size())), Hex(prefix)) << c.len;

        CArchive in(CArchive::load, out);
        EXPECT_EQ(in.ReadString(), text) << c.len;
        EXPECT_TRUE(in.AtEnd()) << c.len;
    }
}

TEST_F(ArchiveTest, NonShortestLengthFormsAreRead) {
    // Other writers may use a longer prefix than needed.
    const std::string threeByte = Bytes("FF 02 00 41 42");
    CArchive in1(CArchive::load, threeByte);
    EXPECT_EQ(in1.ReadString(), "AB");
    const std::string data =
        Bytes("FF FF FF 01 00 00 00 43  FF FF FF FF FF FF FF 01 00 00 00 00 00 00 00 44");
    CArchive in2(CArchive::load, data);
    EXPECT_EQ(in2.ReadString(), "C");
    EXPECT_EQ(in2.ReadString(), "D");
}

TEST_F(ArchiveTest, TwoByteTextIsConvertedToWindows1252) {
    // "Aé€", Cyrillic Ж, a character outside the BMP (surrogate pair), a
    // lone surrogate, a C1 control with no Windows-1252 byte, and the
    // undefined-in-1252 U+0081 that Windows maps back to 81.
    const std::string data =
        Bytes("FF FE FF 09  41 00  E9 00  AC 20  16 04  3D D8 00 DE  00 D8  85 00  81 00");
    CArchive in(CArchive::load, data);
    EXPECT_EQ(Hex(in.ReadString()), Hex("A\xE9\x80????\x81"));
    EXPECT_TRUE(in.AtEnd());

    // Every one of the 27 characters 1252 places in 80..9F comes back.
    const char16_t high[] = u"€‚ƒ„…†‡ˆ‰Š‹ŒŽ‘’“”•–—˜™š›œžŸ";
    std::string wide = Bytes("FF FE FF 1B");
    for (int i = 0; i < 27; ++i) {
        wide += static_cast<char>(high[i] & 0xFF);
        wide += static_cast<char>(high[i] >> 8);
    }
    CArchive in2(CArchive::load, wide);
    EXPECT_EQ(Hex(in2.ReadString()),
              Hex("\x80\x82\x83\x84\x85\x86\x87\x88\x89\x8A\x8B\x8C\x8E\x91\x92\x93\x94\x95\x96"
                  "\x97\x98\x99\x9A\x9B\x9C\x9E\x9F"));

    // The 2-byte form with its own 3-byte length: 300 characters.
    std::string longWide = Bytes("FF FE FF FF 2C 01");
    for (int i = 0; i < 300; ++i) longWide += Bytes("5A 00");
    CArchive in3(CArchive::load, longWide);
    EXPECT_EQ(in3.ReadString(), std::string(300, 'Z'));
}

TEST_F(ArchiveTest, MalformedTwoByteTexts) {
    auto read = [](CArchive& a) { a.ReadString(); };
    // Length in characters: 2 characters need 4 bytes, 3 are there.
    EXPECT_EQ(FailureOf(Bytes("FF FE FF 02 41 00 42"), read), Cause::EndOfFile);
    // The marker twice in a row.
    EXPECT_EQ(FailureOf(Bytes("FF FE FF FF FE FF 01 41 00"), read), Cause::Generic);
    // Hostile lengths, one of which doubles round to 2 bytes.
    EXPECT_EQ(
        FailureOf(Bytes("FF FE FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF 7F 41 00"), read),
        Cause::EndOfFile);
    EXPECT_EQ(FailureOf(Bytes("FF FE FF FF FF FF FF FF FF FF 01 00 00 00 00 00 00 80 41 00"), read),
              Cause::EndOfFile);
}

// ---- object headers and numbering ----

TEST_F(ArchiveTest, ClassesAndObjectsShareOneNumbering) {
    CTestRecord r;
    r.m_strText = "r";
    CTestVersioned v;
    std::string out;
    CArchive ar(CArchive::store, out);
    ar.WriteObject(r);  // class 1, object 2
    ar.WriteObject(r);  // object 3
    ar.WriteObject(v);  // class 4, object 5
    ar.WriteObject(r);  // 8001
    ar.WriteObject(v);  // 8004
    const std::string rec = Bytes("01 72 00 00 00 00 00 00 00 00 00 00 00 00");
    const std::string vrec = Bytes("00 00 00 00");
    EXPECT_EQ(Hex(out), Hex(Bytes("FF FF 04 00 0B 00") + "CTestRecord" + rec + Bytes("01 80") +
                            rec + Bytes("FF FF 05 00 0E 00") + "CTestVersioned" + vrec +
                            Bytes("01 80") + rec + Bytes("04 80") + vrec));

    CArchive in(CArchive::load, out);
    for (int i = 0; i < 5; ++i) {
        auto obj = in.ReadObject();
        ASSERT_TRUE(obj);
        EXPECT_EQ(obj->GetRuntimeClass(), (i == 2 || i == 4) ? &CTestVersioned::classCTestVersioned
                                                             : &CTestRecord::classCTestRecord);
    }
    EXPECT_TRUE(in.AtEnd());
}

TEST_F(ArchiveTest, ItemListFileLayout) {
    // Two items A and B and one group G.
    std::string file = WriteList({Item("A"), Item("B")}, {Group("G", 1)});
    EXPECT_EQ(Hex(file), Hex(Bytes("02 00 FF FF 03 00 05 00") + "CItem" + Bytes("01 41") +
                             Bytes("01 80") + Bytes("01 42") + Bytes("01 00 FF FF 02 00 09 00") +
                             "CBidGroup" + Bytes("01 47 01 00 00 00")));

    // With N items "CBidGroup" is number N + 2: three items, two groups.
    file = WriteList({Item("1"), Item("2"), Item("3")}, {Group("G", 1), Group("H", 2)});
    EXPECT_EQ(Hex(file.substr(file.size() - 8)), Hex(Bytes("05 80 01 48 02 00 00 00")));

    // With no items it is number 1.
    file = WriteList({}, {Group("G", 1), Group("H", 2)});
    EXPECT_EQ(Hex(file.substr(0, 2)), Hex(Bytes("00 00")));
    EXPECT_EQ(Hex(file.substr(file.size() - 8)), Hex(Bytes("01 80 01 48 02 00 00 00")));

    EXPECT_EQ(Hex(WriteList({}, {})), Hex(Bytes("00 00 00 00")));

    // And it reads back, in order, with the schema of the class header.
    file = WriteList({Item("A"), Item("B")}, {Group("G", 1)});
    CArchive in(CArchive::load, file);
    ASSERT_EQ(in.ReadCount(), 2u);
    auto a = in.ReadObjectOf<StandInItem>();
    auto b = in.ReadObjectOf<StandInItem>();
    EXPECT_EQ(a->m_strItemNumber, "A");
    EXPECT_EQ(b->m_strItemNumber, "B");
    ASSERT_EQ(in.ReadCount(), 1u);
    auto g = in.ReadObjectOf<StandInGroup>();
    EXPECT_EQ(g->m_strName, "G");
    EXPECT_EQ(g->m_nWanted, 1);
    EXPECT_TRUE(in.AtEnd());
    EXPECT_EQ(in.GetObjectSchema(), CArchive::kNoSchema);
}

TEST_F(ArchiveTest, ClassNumbersFrom7FFFUseTheLongReference) {
    std::string out;
    CArchive ar(CArchive::store, out);
    CTestVersioned v;
    CTestRecord r;
    // Class 1, objects 2..0x7FFE: the record class then takes 0x7FFF.
    for (int i = 0; i < 0x7FFD; ++i) ar.WriteObject(v);
    ar.WriteObject(r);
    const std::size_t second = out.size();
    ar.WriteObject(r);
    ar.WriteObject(v);  // class 1 still has the short form
    const std::string rec = Bytes("07 64 65 66 61 75 6C 74 00 00 00 00 00 00 00 00 00 00 00 00");
    EXPECT_EQ(Hex(out.substr(second)),
              Hex(Bytes("FF 7F FF 7F 00 80") + rec + Bytes("01 80 00 00 00 00")));

    CArchive in(CArchive::load, out);
    for (int i = 0; i < 0x7FFD; ++i) ASSERT_TRUE(in.ReadObjectOf<CTestVersioned>());
    EXPECT_EQ(in.ReadObjectOf<CTestRecord>()->m_strText, "default");
    EXPECT_EQ(in.ReadObjectOf<CTestRecord>()->m_strText, "default");
    EXPECT_TRUE(in.ReadObjectOf<CTestVersioned>());
    EXPECT_TRUE(in.AtEnd());
}

TEST_F(ArchiveTest, RecordsRoundTrip) {
    CTestRecord r;
    r.m_strText = std::string("caf\xE9 \x80 5", 8);
    r.m_nValue = -123456;
    r.m_tWhen = 1700000000;
    CTestBox box;
    box.m_pInner->m_nValue = 42;
    std::string out;
    CArchive ar(CArchive::store, out);
    ar.WriteObject(r);
    ar.WriteObject(box);

    CArchive in(CArchive::load, out);
    auto r2 = in.ReadObjectOf<CTestRecord>();
    EXPECT_EQ(r2->m_strText, r.m_strText);
    EXPECT_EQ(r2->m_nValue, r.m_nValue);
    EXPECT_EQ(r2->m_tWhen, r.m_tWhen);
    auto box2 = in.ReadObjectOf<CTestBox>();
    EXPECT_EQ(box2->m_pInner->m_nValue, 42);
    EXPECT_EQ(box2->m_pInner->m_nSchemaSeen, 5u);
    // The outer object still sees its own schema after reading the inner one.
    EXPECT_EQ(box2->m_nSchemaBefore, 7u);
    EXPECT_EQ(box2->m_nSchemaAfter, 7u);
}

// ---- schemas ----

TEST_F(ArchiveTest, VersionableClassGetsTheStoredSchema) {
    // Schema 1 in the header; the second object refers to the class.
    const std::string data =
        Bytes("FF FF 01 00 0E 00") + "CTestVersioned" + Bytes("09 00 00 00 01 80 0A 00 00 00");
    CArchive in(CArchive::load, data);
    auto first = in.ReadObjectOf<CTestVersioned>();
    auto second = in.ReadObjectOf<CTestVersioned>();
    EXPECT_EQ(first->m_nSchemaSeen, 1u);
    EXPECT_EQ(first->m_nValue, 9);
    EXPECT_EQ(second->m_nSchemaSeen, 1u);
    EXPECT_EQ(second->m_nValue, 10);
}

TEST_F(ArchiveTest, NonVersionableClassRefusesAnotherSchema) {
    const std::string data = Bytes("FF FF 03 00 0B 00") + "CTestRecord" +
                             Bytes("00 00 00 00 00 00 00 00 00 00 00 00 00");
    EXPECT_EQ(FailureOf(data, [](CArchive& a) { a.ReadObject(); }), Cause::BadSchema);
}

// ---- header errors ----

TEST_F(ArchiveTest, HeaderErrors) {
    auto read = [](CArchive& a) { a.ReadObject(); };
    auto readTwo = [](CArchive& a) {
        a.ReadObject();
        a.ReadObject();
    };
    const std::string item = Bytes("FF FF 03 00 05 00") + "CItem" + Bytes("01 41");

    EXPECT_EQ(FailureOf(Bytes("FF FF 01 00 05 00") + "CNone", read), Cause::ClassNotRegistered);
    // Names are matched with their case.
    EXPECT_EQ(FailureOf(Bytes("FF FF 03 00 05 00") + "citem" + Bytes("01 41"), read),
              Cause::ClassNotRegistered);
    // 64 characters are refused before the name is read.
    EXPECT_EQ(FailureOf(Bytes("FF FF 01 00 40 00") + kName64, read), Cause::ClassNameTooLong);

    // Class references: to nothing, to the null number, to an object's number.
    EXPECT_EQ(FailureOf(Bytes("05 80"), read), Cause::BadClassNumber);
    EXPECT_EQ(FailureOf(item + Bytes("05 80"), readTwo), Cause::BadClassNumber);
    EXPECT_EQ(FailureOf(Bytes("00 80"), read), Cause::BadClassNumber);
    EXPECT_EQ(FailureOf(item + Bytes("02 80"), readTwo), Cause::BadClassNumber);
    EXPECT_EQ(FailureOf(Bytes("FF 7F 00 80 00 80"), read), Cause::BadClassNumber);
    EXPECT_EQ(FailureOf(Bytes("FF 7F FF FF FF FF"), read), Cause::BadClassNumber);

    // Null objects and references back to object 2, short and long.
    EXPECT_EQ(FailureOf(Bytes("00 00"), read), Cause::Generic);
    EXPECT_EQ(FailureOf(item + Bytes("02 00"), readTwo), Cause::Generic);
    EXPECT_EQ(FailureOf(item + Bytes("FF 7F 02 00 00 00"), readTwo), Cause::Generic);

    // A group where an item is expected.
    EXPECT_EQ(FailureOf(Bytes("FF FF 02 00 09 00") + "CBidGroup" + Bytes("01 47 01 00 00 00"),
                        [](CArchive& a) { a.ReadObjectOf<StandInItem>(); }),
              Cause::WrongClass);
}

TEST_F(ArchiveTest, WritingAnUnreadableClassNameFailsWithoutWriting) {
    std::string out = "keep";
    CArchive ar(CArchive::store, out);
    try {
        ar.WriteObject(CTestLongName());
        ADD_FAILURE() << "64-character class name written";
    } catch (const CArchiveException& e) {
        EXPECT_EQ(e.GetCause(), Cause::ClassNameTooLong);
    }
    EXPECT_EQ(out, "keep");
    // Unregistered classes can be written (only reading needs the registry).
    ar.WriteObject(CTestNotRegistered());
    EXPECT_EQ(FailureOf(out.substr(4), [](CArchive& a) { a.ReadObject(); }),
              Cause::ClassNotRegistered);
}

// ---- truncation and hostile data ----

TEST_F(ArchiveTest, StreamCutAnywhereEndsInsideAnElement) {
    std::string full;
    {
        CArchive ar(CArchive::store, full);
        ar.WriteCount(3);
        ar.WriteCount(70000);
        ar.WriteInt(7);
        ar.WriteTime(8);
        ar.WriteString("short");
        ar.WriteString(std::string(300, 'L'));
        ar.WriteString(std::string(70000, 'H'));
        ar.WriteObject(Item("A"));
        ar.WriteObject(Item("B"));
    }
    full += Bytes("FF FE FF 02 41 00 42 00");
    auto readAll = [](CArchive& a) {
        EXPECT_EQ(a.ReadCount(), 3u);
        EXPECT_EQ(a.ReadCount(), 70000u);
        EXPECT_EQ(a.ReadInt(), 7);
        EXPECT_EQ(a.ReadTime(), 8);
        EXPECT_EQ(a.ReadString(), "short");
        EXPECT_EQ(a.ReadString().size(), 300u);
        EXPECT_EQ(a.ReadString().size(), 70000u);
        EXPECT_TRUE(a.ReadObjectOf<StandInItem>());
        EXPECT_TRUE(a.ReadObjectOf<StandInItem>());
        EXPECT_EQ(a.ReadString(), "AB");
    };
    {
        CArchive ar(CArchive::load, full);
        readAll(ar);
        EXPECT_TRUE(ar.AtEnd());
    }
    // Every cut outside the long text's body, and a few inside it.
    const std::size_t bodyStart = 2 + 6 + 4 + 8 + 6 + 303 + 7;
    for (std::size_t cut = 0; cut < full.size(); ++cut) {
        if (cut > bodyStart + 2 && cut < bodyStart + 70000 - 2 && cut % 9973) continue;
        const std::string part = full.substr(0, cut);
        CArchive ar(CArchive::load, part);
        try {
            readAll(ar);
            ADD_FAILURE() << "no error with the stream cut at " << cut;
        } catch (const CArchiveException& e) {
            EXPECT_EQ(e.GetCause(), Cause::EndOfFile) << "cut at " << cut;
        }
    }
}

TEST_F(ArchiveTest, HostileLengthsAndCountsFailFast) {
    auto read = [](CArchive& a) { a.ReadString(); };
    const auto start = std::chrono::steady_clock::now();
    // About 4 billion characters announced in a 10-byte file.
    EXPECT_EQ(FailureOf(Bytes("FF FF FF FE FF FF FF 41 42 43"), read), Cause::EndOfFile);
    // The 8-byte form, up to the largest value.
    EXPECT_EQ(FailureOf(Bytes("FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF 41"), read),
              Cause::EndOfFile);
    EXPECT_EQ(FailureOf(Bytes("FF FF FF FF FF FF FF 00 00 00 00 00 00 00 80 41"), read),
              Cause::EndOfFile);

    // A count of 4 billion is just a number; reading that many items stops
    // at the end of the data.
    const std::string file =
        Bytes("FF FF 00 00 00 FF FF FF 03 00 05 00") + "CItem" + Bytes("01 41 01 80 01 42");
    CArchive in(CArchive::load, file);
    const uint32_t count = in.ReadCount();
    EXPECT_EQ(count, 0xFF000000u);
    uint32_t read_ok = 0;
    try {
        for (uint32_t i = 0; i < count; ++i) {
            in.ReadObject();
            ++read_ok;
        }
        ADD_FAILURE() << "read 4 billion items from a short file";
    } catch (const CArchiveException& e) {
        EXPECT_EQ(e.GetCause(), Cause::EndOfFile);
    }
    EXPECT_EQ(read_ok, 2u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

// ---- registry ----

TEST_F(ArchiveTest, Registry) {
    EXPECT_EQ(CArchive::FindClass("CTestRecord"), &CTestRecord::classCTestRecord);
    EXPECT_EQ(CArchive::FindClass("CTestNotRegistered"), nullptr);
    // Again: harmless.
    EXPECT_TRUE(CArchive::RegisterClass(CTestRecord::classCTestRecord));
    // A different class under a taken name is refused; the first stays.
    const CRuntimeClass impostor{"CTestRecord", 4, false,
                                 [] { return std::unique_ptr<CObject>(new CTestVersioned); }};
    EXPECT_FALSE(CArchive::RegisterClass(impostor));
    CArchive::UnregisterClass(impostor);  // not the registered one: no effect
    EXPECT_EQ(CArchive::FindClass("CTestRecord"), &CTestRecord::classCTestRecord);

    EXPECT_THROW(CArchive::RegisterClass(CTestLongName::classInfo), std::invalid_argument);
    const CRuntimeClass noName{"", 1, false, CTestRecord::CreateObject};
    EXPECT_THROW(CArchive::RegisterClass(noName), std::invalid_argument);

    // A 63-character name is the longest that works end to end.
    static const std::string name63(63, 'M');
    static const CRuntimeClass longest{name63.c_str(), 1, true, CTestVersioned::CreateObject};
    ASSERT_TRUE(CArchive::RegisterClass(longest));
    std::string out;
    CArchive ar(CArchive::store, out);
    struct Longest : CTestVersioned {
        const CRuntimeClass* GetRuntimeClass() const override { return &longest; }
    };
    ar.WriteObject(Longest());
    CArchive in(CArchive::load, out);
    EXPECT_TRUE(in.ReadObjectOf<CTestVersioned>());
    CArchive::UnregisterClass(longest);
    EXPECT_EQ(CArchive::FindClass(name63), nullptr);
}

}  // namespace
}  // namespace bexora
