#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <random>
#include <string>

#include "base/AtomicFile.h"
#include "text/TextTools.h"

using namespace bexora;

namespace {

std::string Strip(std::string s) {
    return StripTags(s);
}

}  // namespace

TEST(StripTags, TagsBecomeSingleLineFeeds) {
    EXPECT_EQ(Strip("a<b>c</b>d"), "a\nc\nd");
    // The readers rely on a value standing on the line after its marker.
    EXPECT_EQ(Strip("<tr><td>Current bid:</td><td>US $12.50</td></tr>"),
              "\nCurrent bid:\nUS $12.50\n");
    EXPECT_EQ(Strip("<p>"), "\n");
    EXPECT_EQ(Strip("x\n<br>y"), "x\ny");  // no second line feed after one already written
    EXPECT_EQ(Strip(""), "");
    // A '<' inside a tag is just part of the tag.
    EXPECT_EQ(Strip("a<b <c>d"), "a\nd");
}

TEST(StripTags, StrayCloseDiscardsItsRun) {
    EXPECT_EQ(Strip("x > y"), "> y");
    EXPECT_EQ(Strip(">"), ">");
    EXPECT_EQ(Strip(">ab"), ">ab");
    // Only the run since the last tag goes; the line feed of the tag stays.
    EXPECT_EQ(Strip("keep<i>lost>kept"), "keep\n>kept");
    EXPECT_EQ(Strip("a>b>c"), ">c");
}

TEST(StripTags, CharacterClasses) {
    EXPECT_EQ(Strip(std::string("a\tb\rc~d") + "\x7f" + "e"), "a b c d e");
    std::string high;
    for (int c = 0x80; c <= 0xFF; ++c) high += static_cast<char>(c);
    EXPECT_EQ(Strip(high), std::string(128, ' '));
    EXPECT_EQ(Strip(std::string("a\0b", 3)), "a b");
    EXPECT_EQ(Strip("!}{|"), "!}{|");
}

TEST(StripTags, PageEndingInsideATag) {
    EXPECT_EQ(Strip("abc<td class="), "abc");
    EXPECT_EQ(Strip("<"), "");
    EXPECT_EQ(Strip("a<b>c<"), "a\nc");
}

// Random bytes weighted towards the characters the tools look for; run under
// the sanitizers this catches any read past the end.
TEST(TextTools, ArbitraryInputIsSafe) {
    std::mt19937 rng(2024);
    const std::string alphabet = "<>&#;\"=\n 0123456789.,itemx";
    for (int round = 0; round < 2000; ++round) {
        std::string s;
        size_t len = rng() % 64;
        for (size_t i = 0; i < len; ++i)
            s += rng() % 3 ? alphabet[rng() % alphabet.size()] : static_cast<char>(rng());
        if (round % 4 == 0) s = "<input type=\"hidden\" name=\"x" + s;
        std::string stripped = s;
        StripTags(stripped);
        ASSERT_LE(stripped.size(), s.size());
        ASSERT_EQ(stripped.find('<'), std::string::npos);
        // Tags alone never make an empty line.
        if (s.find('\n') == std::string::npos) {
            ASSERT_EQ(stripped.find("\n\n"), std::string::npos);
        }
        ASSERT_LE(DecodeNumericEntities(s).size(), s.size());
        GetHiddenField(s, "");
        GetHiddenField(s, "x");
        ScanItemLinks(s);
        PriceValue(s);
        Base64Decode(s);
        CLineReader reader;
        for (int k = 0; k < 70 && reader.NextLine(s) != "<>"; ++k) {
        }
    }
}

// Pages reach megabytes; a quadratic pass would not finish within the test
// time-out here.
TEST(TextTools, LongPagesTakeLinearTime) {
    std::string strays;
    for (int i = 0; i < 1 << 20; ++i) strays += "ab>c";
    StripTags(strays);
    EXPECT_EQ(strays, ">c");

    std::string refs;
    for (int i = 0; i < 1 << 19; ++i) refs += "&#1x&#39;";
    EXPECT_EQ(DecodeNumericEntities(refs).size(), refs.size() / 9 * 5);

    std::string opens(4 << 20, '<');
    EXPECT_EQ(ScanItemLinks(opens), "");
    EXPECT_DOUBLE_EQ(PriceValue("US $" + std::string(4 << 20, ',') + "5.25 x"), 5.25);
}

TEST(DecodeNumericEntities, SmallCodesOnly) {
    EXPECT_EQ(DecodeNumericEntities("it&#39;s"), "it's");
    EXPECT_EQ(DecodeNumericEntities("it&#x27;s &#X41;"), "it's A");
    EXPECT_EQ(DecodeNumericEntities("&#8217;"), "&#8217;");
    EXPECT_EQ(DecodeNumericEntities("&#253;&#254;"), "\xfd&#254;");
    // The ';' must lie fewer than 7 characters after the "&#".
    EXPECT_EQ(DecodeNumericEntities("&#00039;"), "&#00039;");
    EXPECT_EQ(DecodeNumericEntities("&#0039;"), "'");
}

TEST(DecodeNumericEntities, MalformedReferencesStay) {
    EXPECT_EQ(DecodeNumericEntities("&#;"), "&#;");
    EXPECT_EQ(DecodeNumericEntities("&#39"), "&#39");
    EXPECT_EQ(DecodeNumericEntities("&#39 a;b"), "&#39 a;b");  // no text eaten up to a later ';'
    EXPECT_EQ(DecodeNumericEntities("&#x;&#0;"), "&#x;&#0;");
    EXPECT_EQ(DecodeNumericEntities("&#&#39;"), "&#'");
    EXPECT_EQ(DecodeNumericEntities("&#"), "&#");
    EXPECT_EQ(DecodeNumericEntities(""), "");
}

TEST(DecodeNumericEntities, RepeatedAndAdjacentReferences) {
    EXPECT_EQ(DecodeNumericEntities("&#36;1 &#36;2 &#36;3"), "$1 $2 $3");
    EXPECT_EQ(DecodeNumericEntities("&#65;&#66;&#65;"), "ABA");
    // A decoded '&' is not read again as the start of a reference.
    EXPECT_EQ(DecodeNumericEntities("&#38;#39;"), "&#39;");
}

TEST(GetHiddenField, ReadsTheValue) {
    const std::string page =
        "<form><input type=\"hidden\" name=\"key\" value=\"abc\">"
        "<input type=\"hidden\" name=\"uiid\" value=\"12 34\"></form>";
    EXPECT_EQ(GetHiddenField(page, "key"), "abc");
    EXPECT_EQ(GetHiddenField(page, "uiid"), "12 34");
    EXPECT_EQ(GetHiddenField(page, "pass"), "");
    EXPECT_EQ(GetHiddenField("", "key"), "");
}

TEST(GetHiddenField, LongerNamesAndOtherLayoutsAreNotMistaken) {
    const std::string page =
        "<input type=\"hidden\" name=\"keyid\" value=\"wrong\">"
        "<input type=\"hidden\" name=\"key\" id=\"k\" value=\"wrong\">"
        "<input type=\"hidden\" name=\"key\" value=\"right\">";
    EXPECT_EQ(GetHiddenField(page, "key"), "right");
    EXPECT_EQ(GetHiddenField(page, "keyid"), "wrong");
}

TEST(GetHiddenField, EmptyAndCutOffValues) {
    const std::string empty =
        "<input type=\"hidden\" name=\"pass\" value=\"\"><input type=\"hidden\" name=\"x\">";
    EXPECT_EQ(GetHiddenField(empty, "pass"), "");
    const std::string marker = "<input type=\"hidden\" name=\"key";
    EXPECT_EQ(GetHiddenField(marker, "key"), "");
    EXPECT_EQ(GetHiddenField(marker + "\" value=", "key"), "");
    EXPECT_EQ(GetHiddenField(marker + "\" value=\"", "key"), "");
    EXPECT_EQ(GetHiddenField(marker + "\" value=\"abc", "key"), "");  // no closing quote
    EXPECT_EQ(GetHiddenField(marker + "\" value=\"a\"", "key"), "a");
}

TEST(Numbers, GetNumberAndGetDigits) {
    EXPECT_EQ(GetNumber("US $1,234.50 and more", false), "1,234.50");
    EXPECT_EQ(GetNumber("US $1,234.50 and more", true), "1,234");
    EXPECT_EQ(GetNumber("(item 123456789012)", true), "123456789012");
    EXPECT_EQ(GetNumber("no digits, none.", false), "");
    EXPECT_EQ(GetNumber("", true), "");
    EXPECT_EQ(GetNumber("7", false), "7");
    EXPECT_EQ(GetDigits("US $1,234.50"), "1");
    EXPECT_EQ(GetDigits("ab 2024x"), "2024");
    EXPECT_EQ(GetDigits("none"), "");
}

TEST(Numbers, GetNumberAtStopModes) {
    int first = -1;
    EXPECT_EQ(GetNumberAt("US $1,234.50 x", 0, first), "1,234.50");
    EXPECT_EQ(first, 4);
    EXPECT_EQ(GetNumberAt("US $1,234.50 x", 1, first), "1,234");
    EXPECT_EQ(GetNumberAt("US $1,234.50 x", 2, first), "1");
    EXPECT_EQ(GetNumberAt("12.5,6", 2, first), "12.5");
    EXPECT_EQ(first, 0);
    first = 7;
    EXPECT_EQ(GetNumberAt("FREE", 0, first), "");
    EXPECT_EQ(first, 0);
    EXPECT_EQ(GetNumberAt("x9", 5, first), "9");  // unknown modes stop at nothing
}

TEST(Numbers, PriceValue) {
    EXPECT_DOUBLE_EQ(PriceValue("US $0.99"), 0.99);
    EXPECT_DOUBLE_EQ(PriceValue("$1,234.50"), 1234.5);
    EXPECT_DOUBLE_EQ(PriceValue("EUR 12,00 incl."), 1200);  // commas go, whatever they meant
    EXPECT_DOUBLE_EQ(PriceValue("5 bids"), 5);
    EXPECT_DOUBLE_EQ(PriceValue("2.5e1x"), 25);
    EXPECT_DOUBLE_EQ(PriceValue("FREE"), -1);
    EXPECT_DOUBLE_EQ(PriceValue("N/A"), -1);
    EXPECT_DOUBLE_EQ(PriceValue(""), -1);
    EXPECT_DOUBLE_EQ(PriceValue("$.50"), 50);  // reading starts at the first digit
}

TEST(Numbers, PriceValueIgnoresTheProgramLocale) {
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = old ? old : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
        GTEST_SKIP() << "no locale with a decimal comma installed";
    EXPECT_DOUBLE_EQ(PriceValue("US $12.75"), 12.75);
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(ScanItemLinks, NumbersAndTextRuns) {
    const std::string page =
        "<html><a href=\"ViewItem&item=1234567890\">Old lamp</a> $5.00 "
        "<a href=\"ViewItem&item=1234567890\">again</a>"
        "<a href=\"x?item=123456789012,9\">Radio set</a>";
    EXPECT_EQ(ScanItemLinks(page),
              "<1234567890>\n"
              "Old lamp\n"
              " $5.00 \n"
              "again\n"
              "<123456789012>\n"
              "Radio set\n");
}

TEST(ScanItemLinks, OnlyTenOrTwelveCharacterNumbers) {
    std::string page =
        "<a item=123456789>x</a><a item=12345678901>"
        "<a item=1234567890123><a item=12345.6789>";
    EXPECT_EQ(ScanItemLinks(page), "<12345.6789>\n");
    // Without "item" the whole tag is read; a number before "item" is not.
    EXPECT_EQ(ScanItemLinks("<td 1234567890>"), "<1234567890>\n");
    EXPECT_EQ(ScanItemLinks("<td 1234567890 item>"), "");
    // The same number again after another one is written again.
    EXPECT_EQ(ScanItemLinks("<a item=1111111111><a item=2222222222><a item=1111111111>"),
              "<1111111111>\n<2222222222>\n<1111111111>\n");
}

TEST(ScanItemLinks, TextBeforeTheFirstTagAndAfterTheLast) {
    // The first run is taken from the second character of the page.
    EXPECT_EQ(ScanItemLinks("Xabcd<b>"), "abcd\n");
    EXPECT_EQ(ScanItemLinks("Xab<b>"), "");
    EXPECT_EQ(ScanItemLinks("<b>text after"), "");
    EXPECT_EQ(ScanItemLinks("<b>long enough<unclosed item=1234567890"), "");
    EXPECT_EQ(ScanItemLinks(""), "");
    EXPECT_EQ(ScanItemLinks("<>"), "");
}

TEST(CLineReader, SkipsEmptyLinesAndTrims) {
    const std::string text = "a\n\n  b  \n \r\n[update]\r\nlast without feed";
    CLineReader reader;
    EXPECT_EQ(reader.NextLine(text, true), "");
    EXPECT_EQ(reader.NextLine(text), "a");
    EXPECT_EQ(reader.NextLine(text), "b");
    EXPECT_EQ(reader.NextLine(text), "[update]");
    EXPECT_EQ(reader.NextLine(text), "<>");
    EXPECT_EQ(reader.NextLine(text), "<>");
    EXPECT_EQ(reader.NextLine(text, true), "");
    EXPECT_EQ(reader.NextLine(text), "a");

    CLineReader other;  // a second reader keeps its own position
    EXPECT_EQ(other.NextLine(text), "a");
    EXPECT_EQ(reader.NextLine(text), "b");
    EXPECT_EQ(reader.NextLine("short\n"), "<>");  // a shorter text than last time
    EXPECT_EQ(other.NextLine(""), "<>");
}

TEST(Base64, LengthLimitAndLineBreaks) {
    std::string out = "untouched";
    ASSERT_TRUE(Base64Encode("", out));
    EXPECT_EQ(out, "");
    ASSERT_TRUE(Base64Encode("a", out));
    EXPECT_EQ(out, "YQ==");
    ASSERT_TRUE(Base64Encode("ab", out));
    EXPECT_EQ(out, "YWI=");
    ASSERT_TRUE(Base64Encode("secret", out));
    EXPECT_EQ(out, "c2VjcmV0");

    ASSERT_TRUE(Base64Encode(std::string(56, 'x'), out));
    EXPECT_EQ(out.size(), 76u);  // a full line, but no break after it
    ASSERT_TRUE(Base64Encode(std::string(57, 'x'), out));
    EXPECT_EQ(out.size(), 78u);
    EXPECT_EQ(out.substr(76), "\r\n");
    ASSERT_TRUE(Base64Encode(std::string(72, 'x'), out));
    EXPECT_EQ(out.size(), 98u);
    EXPECT_EQ(out.substr(76, 2), "\r\n");
    EXPECT_EQ(out.find('\r', 78), std::string::npos);

    out = "untouched";
    EXPECT_FALSE(Base64Encode(std::string(73, 'x'), out));
    EXPECT_FALSE(Base64Encode(std::string(114, 'x'), out));
    EXPECT_EQ(out, "untouched");
}

TEST(Base64, RoundTripsEveryByte) {
    for (size_t n : {0u, 1u, 2u, 3u, 56u, 57u, 58u, 72u}) {
        std::string in;
        for (size_t i = 0; i < n; ++i) in += static_cast<char>((i * 37 + n) & 0xFF);
        std::string enc;
        ASSERT_TRUE(Base64Encode(in, enc)) << n;
        EXPECT_EQ(Base64Decode(enc), in) << n;
    }
}

TEST(Base64, DecodeSkipsForeignCharactersAndStopsAtFill) {
    EXPECT_EQ(Base64Decode("c2Vj\r\ncmV0"), "secret");
    EXPECT_EQ(Base64Decode(" c2 Vj*cm V0 "), "secret");
    EXPECT_EQ(Base64Decode("YQ==YWI="), "a");
    EXPECT_EQ(Base64Decode("YQ"), "a");
    EXPECT_EQ(Base64Decode("Y"), "");  // a lone character holds no whole byte
    EXPECT_EQ(Base64Decode(""), "");
    EXPECT_EQ(Base64Decode("\xff\x80"), "");
}

TEST(WriteTextFile, WritesAndReplaces) {
    char dir[] = "/tmp/bexora-text-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/Signin.html";
    ASSERT_TRUE(WriteTextFile("first version", path));
    ASSERT_TRUE(WriteTextFile("line 1\nline 2\n", path));
    std::string back;
    ASSERT_TRUE(ReadWholeFile(path, back));
    EXPECT_EQ(back, "line 1\nline 2\n");

    EXPECT_FALSE(WriteTextFile("x", std::string(dir) + "/missing/folder/page.html"));
    unlink(path.c_str());
    rmdir(dir);
}

TEST(Cutting, MidFollowsTheCuttingRules) {
    const std::string s = "abcdef";
    EXPECT_EQ(Mid(s, 2, 3), "cde");
    EXPECT_EQ(Mid(s, 2, -1), "");
    EXPECT_EQ(Mid(s, -2, 3), "abc");  // the start moves, the length does not shrink
    EXPECT_EQ(Mid(s, 4, 100), "ef");
    EXPECT_EQ(Mid(s, 6, 1), "");
    EXPECT_EQ(Mid(s, 100, 1), "");
    EXPECT_EQ(Mid(s, 3), "def");
    EXPECT_EQ(Mid(s, -5), "abcdef");
    EXPECT_EQ(Left(s, 2), "ab");
    EXPECT_EQ(Left(s, 99), "abcdef");
    EXPECT_EQ(Right(s, 2), "ef");
    EXPECT_EQ(Right(s, -1), "");
}

TEST(Cutting, FindTrimReplace) {
    const std::string s = "a-b-c";
    EXPECT_EQ(Find(s, "-"), 1);
    EXPECT_EQ(Find(s, "-", 2), 3);
    EXPECT_EQ(Find(s, "-", 4), -1);
    EXPECT_EQ(Find(s, "a", 99), -1);
    EXPECT_EQ(Find(s, "a", -3), 0);
    EXPECT_EQ(Find(s, "zz"), -1);
    EXPECT_EQ(Find(s, 'c'), 4);
    EXPECT_EQ(Find(s, 'c', 6), -1);

    EXPECT_EQ(Trim(" \nUS $12.50\n ", "US \n"), "$12.50");
    EXPECT_EQ(Trim("   ", " "), "");
    EXPECT_EQ(TrimRight("title\">\"", "\">"), "title");
    EXPECT_EQ(TrimLeft("  x ", " "), "x ");

    std::string r = "aaa";
    ReplaceAll(r, "a", "aa");
    EXPECT_EQ(r, "aaaaaa");
    ReplaceAll(r, "aa", "b");
    EXPECT_EQ(r, "bbb");
    ReplaceAll(r, "", "x");
    EXPECT_EQ(r, "bbb");
}
