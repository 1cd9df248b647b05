#pragma once
// The small text tools every page reader shares: HTML to line-oriented text,
// hidden form fields, numbers and prices, item links, a line reader, Base64
// for stored passwords, and writing a text to a file.
//
// All text is std::string holding Windows-1252 bytes; positions are byte
// indices; every search is case-sensitive. Nothing here throws on bad input
// or reads outside the text: a missing value gives an empty text (-1 for a
// price).

#include <cstddef>
#include <string>
#include <string_view>

namespace bexora {

// ---- cutting helpers shared by the page readers ----

// Removes every character that occurs in set from both ends / the right end /
// the left end of s.
std::string Trim(const std::string& s, const char* set);
std::string TrimRight(const std::string& s, const char* set);
std::string TrimLeft(const std::string& s, const char* set);

// The cut of len characters from start. A negative length gives an empty
// text, a start before the beginning is taken as the beginning (the length
// is not shortened by that), and a length that runs past the end stops at
// the end. The two-argument form cuts to the end of s.
std::string Mid(const std::string& s, long start, long len);
std::string Mid(const std::string& s, long start);
// The first / last n characters (all of s when n is larger, empty when n <= 0).
std::string Left(const std::string& s, long n);
std::string Right(const std::string& s, long n);

// Position of the first what (or c) at or after from; -1 when absent or when
// from lies past the end. A negative from searches from the start.
long Find(const std::string& s, const std::string& what, long from = 0);
long Find(const std::string& s, char c, long from = 0);

// Replaces every occurrence of what (left to right, not overlapping, never
// rescanning the inserted text). An empty what changes nothing.
void ReplaceAll(std::string& s, const std::string& what, const std::string& with);

// ---- page text ----

// Turns a page into line-oriented text in place: each tag becomes one line
// feed (never two in a row), a stray '>' outside a tag throws away the text
// run it ends, and every character outside '!'..'}' other than a line feed
// becomes a space. Linear in the size of the page. Returns page.
std::string& StripTags(std::string& page);

// Replaces numeric character references ("&#39;", "&#x27;") of codes 1 to
// 253 by their byte; other references and look-alikes stay as they are.
std::string DecodeNumericEntities(std::string text);

// Value of <input type="hidden" name="NAME" value="VALUE">, written in exactly
// that form; empty when there is no such field.
std::string GetHiddenField(const std::string& page, const std::string& name);

// The number that starts at the first digit of text and runs over digits,
// ',' and '.'; with stopAtPoint a '.' ends it. Empty when text has no digit.
std::string GetNumber(const std::string& text, bool stopAtPoint);

// As GetNumber; stopMode 1 ends the number at a '.', 2 at a ',', 0 (or any
// other value) at neither. firstDigit gets the position of the first digit,
// 0 when there is none.
std::string GetNumberAt(const std::string& text, int stopMode, int& firstDigit);

// The first run of digits of text, or empty.
std::string GetDigits(const std::string& text);

// The value of a price text: from its first digit on, commas removed, read
// as a decimal number the way atof does (in the "C" locale, whatever the
// program's locale is). -1 when the text has no digit.
double PriceValue(const std::string& text);

// Lines for the quick add from a browser page: "<NUMBER>" for each 10- or
// 12-character item number in a tag (not repeating the previous one), and
// the text between two tags when it is longer than 2 characters.
std::string ScanItemLinks(const std::string& page, std::string_view linkWord = "item");

// Reads a text line by line; one read position per reader object.
class CLineReader {
public:
    // With reset: back to the start, returns "". Otherwise the next line that
    // is not empty once line feeds, carriage returns and spaces are trimmed
    // from its ends; "<>" when no further line feed is left.
    std::string NextLine(const std::string& text, bool reset = false);

private:
    size_t m_nPos = 0;
};

// ---- stored passwords, files ----

// Base64 with a CR LF after each full 76-character line, the last one kept
// only when in.size() is a multiple of 57. Fails (out untouched) when the
// output would be longer than 100 characters, i.e. for more than 72 bytes.
bool Base64Encode(const std::string& in, std::string& out);
// Skips characters outside the alphabet (line breaks included), stops at '='.
std::string Base64Decode(const std::string& in);

// Writes text to path (replacing it) through AtomicWriteFile, mode 0644.
// False when it cannot; callers may go on as if it had been written.
bool WriteTextFile(const std::string& text, const std::string& path);
// The same with the permission bits of mode (0600 for pages that only the
// user may read).
bool WriteTextFile(const std::string& text, const std::string& path, unsigned mode);

}  // namespace bexora
