#pragma once
// A test copy of the client's page readers: tag stripping, hidden fields,
// number cutting, the item page parser, the time page, the listing reader,
// the bid answer table and the update file. The site's pages are checked
// against these rules until the client's own readers can be linked instead.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace rules {

inline std::string StripTags(const std::string& s)
{
    std::string out;
    bool inTag = false;
    size_t runStart = 0;
    for (char c : s) {
        unsigned char u = static_cast<unsigned char>(c);
        if (inTag) {
            if (c == '>') {
                inTag = false;
                if (out.empty() || out.back() != '\n')
                    out += '\n';
                runStart = out.size();
            }
            continue;
        }
        if (c == '<') {
            inTag = true;
            continue;
        }
        if (c == '>') {
            out.resize(runStart);
            out += '>';
            continue;
        }
        out += ((u >= 0x21 && u <= 0x7D) || c == '\n') ? c : ' ';
    }
    return out;
}

inline std::string Cut(const std::string& s, long start, long len)
{
    if (start < 0)
        start = 0;
    if (len <= 0 || start >= static_cast<long>(s.size()))
        return "";
    return s.substr(static_cast<size_t>(start), static_cast<size_t>(len));
}

inline std::string Trim(const std::string& s, const char* set)
{
    size_t b = s.find_first_not_of(set);
    if (b == std::string::npos)
        return "";
    return s.substr(b, s.find_last_not_of(set) - b + 1);
}

inline long Find(const std::string& s, const std::string& what, long from = 0)
{
    if (from < 0)
        from = 0;
    size_t p = s.find(what, static_cast<size_t>(from));
    return p == std::string::npos ? -1 : static_cast<long>(p);
}

inline bool Contains(const std::string& s, const std::string& what) { return s.find(what) != std::string::npos; }

inline std::string GetHiddenField(const std::string& page, const std::string& name)
{
    std::string marker = "<input type=\"hidden\" name=\"" + name;
    long p = Find(page, marker);
    if (p < 0)
        return "";
    long l = static_cast<long>(marker.size());
    if (p + l + 10 > static_cast<long>(page.size()))
        return "";
    long q = Find(page, "\"", p + l + 10);
    if (q < 0)
        return "";
    return page.substr(static_cast<size_t>(p + l + 9), static_cast<size_t>(q - (p + l + 9)));
}

// mode: 0 none, 1 stop at ".", 2 stop at ","
inline std::string GetNumberAt(const std::string& text, int mode, long& pos)
{
    size_t p = text.find_first_of("0123456789");
    pos = 0;
    if (p == std::string::npos)
        return "";
    pos = static_cast<long>(p);
    std::string out;
    for (size_t i = p; i < text.size(); ++i) {
        char c = text[i];
        if ((mode == 1 && c == '.') || (mode == 2 && c == ','))
            break;
        if ((c >= '0' && c <= '9') || c == ',' || c == '.')
            out += c;
        else
            break;
    }
    return out;
}

inline std::string GetNumber(const std::string& text, bool stopAtPoint)
{
    long pos;
    return GetNumberAt(text, stopAtPoint ? 1 : 0, pos);
}

inline bool HasDigit(const std::string& s) { return s.find_first_of("0123456789") != std::string::npos; }

// ParseSiteDate, with the local-time conversion replaced by the Pacific
// offset of the zone letters, so the result is a true UTC instant.
inline int64_t ParseSiteDate(const std::string& text)
{
    char mon[4] = "", zone[4] = "";
    int d = 0, y = 0, H = 0, M = 0, S = 0;
    if (Contains(text, "BST")) {
        std::sscanf(text.c_str(), "%2d%*c%3s%*c%2d %d:%d:%d %3s", &d, mon, &y, &H, &M, &S, zone);
        y += 2000;
    } else if ((Contains(text, "PDT") || Contains(text, "PST")) && Contains(text, "-")) {
        std::sscanf(text.c_str(), "%3s%*c%2d%*c%2d %d:%d:%d %3s", mon, &d, &y, &H, &M, &S, zone);
        y += 2000;
    } else if (Contains(text, "PDT") || Contains(text, "PST")) {
        std::sscanf(text.c_str(), "%3s%*c%d, %d %d:%d:%d %3s", mon, &d, &y, &H, &M, &S, zone);
    } else {
        return 0;
    }
    const char* months = "JanFebMarAprMayJunJulAugSepOctNovDec";
    const char* m = mon[0] ? std::strstr(months, mon) : nullptr;
    if (!m)
        return 0;
    if (d < 1 || d > 31 || y < 1980 || y > 2050 || H > 23 || M > 59 || S > 59 || H < 0 || M < 0 || S < 0)
        return 0;
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = static_cast<int>((m - months) / 3);
    tm.tm_mday = d;
    tm.tm_hour = H;
    tm.tm_min = M;
    tm.tm_sec = S;
    int64_t wall = timegm(&tm);
    return wall + (Contains(zone, "PDT") ? 7 : 8) * 3600;
}

struct Item {
    std::string number = "N/A", title = "N/A", price = "N/A", quantity = "N/A", bidCount = "N/A";
    std::string minBid, shipping = "N/A", seller = "N/A", feedback = "N/A", percent = "N/A";
    std::string highBidderText;
    int64_t endTime = 0;
    bool highBidder = false;
};

inline void ReplaceAll(std::string& s, const std::string& from, const std::string& to)
{
    for (size_t p = 0; (p = s.find(from, p)) != std::string::npos; p += to.size())
        s.replace(p, from.size(), to);
}

// ParseItemPage on stripped text (time left and the settings lookup left out).
inline bool ParseItemPage(std::string page, Item& it, const std::string& savedUser = "")
{
    for (const char* junk : {"<WBR>", "<wbr>", "AMP;", "amp;", "&nbsp;"})
        ReplaceAll(page, junk, "");
    ReplaceAll(page, "&gt;", ">");
    ReplaceAll(page, "&lt;", "<");
    if (Contains(page, "Ready to Sign Up for Live Auction?")) {
        it.bidCount = "LIVE";
    } else if (long y = Find(page, "Your maximum bid:"); y >= 0) {
        long e = Find(page, "(Enter", y);
        long r = e >= 0 ? Find(page, "or more", e) : -1;
        it.minBid = (e >= 0 && r >= 0 && r - e > 6) ? Trim(Cut(page, e + 6, r - e - 6), "\n ") : "0";
    }
    long a = Find(page, "eBay:");
    if (a < 0) {
        a = Find(page, "eBay Motors:");
        if (a < 0)
            return false;
        a += 7;
    }
    long i = Find(page, "(item");
    if (i < 0)
        return false;
    if (a < i && i < a + 100) {
        std::string t = Trim(Cut(page, a + 6, i - a - 6), " ");
        while (!t.empty() && (t.back() == '"' || t.back() == '>'))
            t.pop_back();
        it.title = t;
    }
    it.number = GetNumber(Cut(page, i, 30), true);
    long t = Find(page, "end time", i);
    if (t < 0)
        return false;
    long p = Find(page, ")", t);
    it.endTime = ParseSiteDate(Trim(Cut(page, t + 8, p - t - 8), " "));
    long cut = Find(page, "View seller's other items");
    if (cut < 0)
        return false;
    page = page.substr(0, static_cast<size_t>(cut));
    long j = -1;
    for (const char* m : {"Current bid:", "Winning bid:", "Sold for:", "Starting bid:", "Starts at:", "price:", "Price:"}) {
        long pos = Find(page, m);
        if (pos >= 0 && pos <= 10000) {
            j = pos;
            break;
        }
    }
    if (j < 0)
        return false;
    long lf = Find(page, "\n", j);
    std::string l = Trim(Cut(page, lf < 0 ? 0 : lf, 100), " \n");
    std::string n = GetNumber(l, false);
    size_t fd = l.find_first_of("0123456789");
    long len = (fd == std::string::npos ? -1 : static_cast<long>(fd)) + static_cast<long>(n.size());
    it.price = Trim(Cut(l, 0, len), "US \n");
    long q = Find(page, "Quantity:");
    long av = Find(page, "available");
    if (q < 0 || av < 0 || av - q > 20) {
        it.quantity = "1";
    } else {
        std::string qn = GetNumber(Trim(Cut(page, q + 10, av - q - 10), " \n"), true);
        it.quantity = qn.empty() ? "1" : qn;
    }
    if (long h = Find(page, "History:"); h >= 0) {
        long b = Find(page, "bid", h);
        if (b >= 0 && b - h < 30)
            it.bidCount = Trim(Cut(page, h + 8, b - h - 8), " \n");
        if (Contains(it.bidCount, "Winning"))
            it.bidCount = "BUY";
    }
    if (it.bidCount == "N/A" || Contains(it.bidCount, "Purchase"))
        it.bidCount = "BUY";
    if (it.bidCount != "BUY" && it.bidCount != "LIVE" &&
        it.bidCount.find_first_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSATUVWXYZ$<>") != std::string::npos)
        it.bidCount = "BUY";
    if (long k = Find(page, "High bidder:"); k >= 0) {
        it.highBidderText = Trim(Cut(page, k + 12, 20), " ");
        if (!savedUser.empty() && Contains(it.highBidderText, savedUser))
            it.highBidder = true;
    }
    if (long s = Find(page, "Shipping costs:"); s >= 0) {
        long nl = Find(page, "\n", s + 15);
        std::string line = Trim(Cut(page, nl + 1, 50), " ");
        if (Contains(line, "FREE")) {
            it.shipping = "FREE";
        } else {
            long d;
            std::string num = GetNumberAt(line, 0, d);
            if (!num.empty() && d <= 5)
                it.shipping = Trim(Trim(Trim(Cut(line, 0, d + static_cast<long>(num.size())), "US \n"),
                                        "first\titem\n)"),
                                   "US ");
        }
    }
    if (long v = Find(page, "Seller:"); v >= 0) {
        long o = Find(page, "(", v + 8);
        it.seller = Trim(Cut(page, v + 8, o - v - 8), " \n");
        if (o >= 0) {
            if (long c = Find(page, ")", o); c >= 0) {
                it.feedback = Trim(Cut(page, o + 1, c - o - 1), " \n");
                if (long f = Find(page, "Feedback:", c); f >= 0) {
                    long pc = Find(page, "%", f);
                    it.percent = Trim(Cut(page, f + 10, pc - f - 10), " \n");
                }
            }
        }
    }
    return true;
}

// GetSiteTime on a stripped time page.
inline int64_t GetSiteTime(const std::string& text)
{
    long m = Find(text, "The official eBay Time is now:");
    if (m < 0)
        return 0;
    long b = Find(text, ",", m);
    if (b < 0)
        return 0;
    long c = Find(text, "PDT", b), d = Find(text, "PST", b);
    if (c < 0 || c - b >= 70) {
        if (d < 0 || d - b >= 70)
            return 0;
        c = d;
    }
    return ParseSiteDate(Cut(text, b + 1, c - b + 2));
}

class LineReader {
public:
    explicit LineReader(const std::string& text) : m_text(text) {}
    std::string Next()
    {
        for (;;) {
            size_t lf = m_text.find('\n', m_pos);
            if (lf == std::string::npos)
                return "<>";
            std::string line = Trim(m_text.substr(m_pos, lf - m_pos), "\n ");
            m_pos = lf + 1;
            if (!line.empty())
                return line;
        }
    }

private:
    std::string m_text;
    size_t m_pos = 0;
};

inline std::string ScanItemLinks(const std::string& page)
{
    std::string out, last;
    size_t pos = 0, prevEnd = 1;
    for (;;) {
        size_t lt = page.find('<', pos);
        if (lt == std::string::npos)
            break;
        size_t gt = page.find('>', lt);
        if (gt == std::string::npos)
            break;
        std::string tag = page.substr(lt, gt - lt + 1);
        size_t k = tag.find("item");
        long p;
        std::string num = GetNumberAt(k == std::string::npos ? tag : tag.substr(k), 2, p);
        if ((num.size() == 10 || num.size() == 12) && num != last) {
            out += "<" + num + ">\n";
            last = num;
        }
        if (lt > prevEnd && lt - prevEnd > 2)
            out += page.substr(prevEnd, lt - prevEnd) + "\n";
        prevEnd = gt + 1;
        pos = gt + 1;
    }
    return out;
}

struct Listed {
    std::string number, title, price = "N/A";
};

inline std::vector<Listed> QuickAdd(const std::string& prepared)
{
    std::vector<Listed> out;
    LineReader r(prepared);
    std::string line = r.Next();
    for (;;) {
        if (line == "<>")
            return out;
        if (line.empty() || line.find('<') == std::string::npos) {
            line = r.Next();
            continue;
        }
        Listed it;
        it.number = Trim(line, "<>");
        it.title = r.Next();
        std::string l = r.Next();
        if (Contains(l, "<") && Contains(l, ">")) {
            out.push_back(it);
            line = l;
            continue;
        }
        if (l.size() > 15)
            l = r.Next();
        if (l == GetNumber(l, true)) {
            r.Next();
            l = r.Next();
        }
        if (!HasDigit(l))
            l += r.Next();
        it.price = l;
        out.push_back(it);
        line = l;
    }
}

// The bid answer table, first match wins.
inline std::string Classify(const std::string& page, const std::string& user)
{
    static const std::pair<const char*, const char*> rows[] = {
        {"You are the current high bidder", "You are the current high bidder."},
        {"is not a registered eBay user", nullptr},
        {"password is not valid", "Username and Password is invalid."},
        {"Transaction Blocked", "Your transaction is blocked, please contact the seller."},
        {"Bidding 15000.0 or more", "Need more information from eBay for Bidding more than 15000."},
        {"his seller has set buyer requirements", "You do not meet buyer requirements."},
        {"Already an eBay user", "Username and Password is invalid."},
        {"buying activity limits", "You have reached one or more buying activity limits."},
        {"You have been outbid by another bidder", "You have been outbid by another bidder."},
        {"You've been outbid by another bidder", "You have been outbid by another bidder."},
        {"is less than the minimum bid", "Bid is less than the minimun bid.Increse your price."},
        {"The reserve price has not been met", "You are the high bidder, but the reserve price not met."},
        {"Auction ended", "The auction is ended before the bid can be placed."},
        {"Unknown Error", "Item Unknown Error 2"},
        {"To enter a higher maximum bid", "You may need to bid with a higher value, check ebay page."},
    };
    for (const auto& [marker, result] : rows)
        if (Contains(page, marker))
            return result ? result : "Invalid." + user;
    if (page.empty())
        return "You may have problem with your account, try bid from ebay page.";
    if (Contains(page, "You are bidding on this Multiple Item Auction"))
        return "MULTI";
    return "Unknown Error, please contact bexora support";
}

// The offer form's error list, as the bid engine cuts it out.
inline std::string OfferErrorText(const std::string& page)
{
    std::string text = StripTags(page);
    long p = Find(text, "The following must be corrected before continuing:");
    long q = p >= 0 ? Find(text, "Item title", p) : -1;
    if (p < 0 || q < 0 || q <= p)
        return "Unknown error1";
    std::string r = Cut(text, p + 51, q - p - 52);
    return Trim(Trim(Trim(Trim(r, " "), "\n"), " "), "\n");
}

}  // namespace rules
