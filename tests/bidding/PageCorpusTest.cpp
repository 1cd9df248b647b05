// Saved pages of the local site in both of its layouts, each read with the
// profile made for it and with the other one: the right profile reads what
// the page shows (tests/data/pages/corpus.tsv, written from what the site put
// on the page), the wrong one reads nothing of it.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "base/AtomicFile.h"
#include "bidding/BidRequest.h"
#include "site/BidHistory.h"
#include "site/ItemPageParser.h"
#include "site/SiteProfile.h"
#include "site/SiteTime.h"
#include "text/TextTools.h"

namespace bexora {
namespace {

struct Row {
    std::string path, kind;
    std::map<std::string, std::string> want;
};

std::vector<Row> Corpus() {
    std::ifstream in(std::string(BEXORA_TEST_DATA) + "/pages/corpus.tsv");
    std::vector<Row> rows;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream cells(line);
        Row r;
        std::getline(cells, r.path, '\t');
        std::getline(cells, r.kind, '\t');
        for (std::string cell; std::getline(cells, cell, '\t');) {
            const size_t eq = cell.find('=');
            r.want[cell.substr(0, eq)] = eq == std::string::npos ? "" : cell.substr(eq + 1);
        }
        rows.push_back(std::move(r));
    }
    return rows;
}

std::string Meaning(AnswerAction a) {
    switch (a) {
        case AnswerAction::HighBidder: return "high-bidder";
        case AnswerAction::NotRegistered: return "not-registered";
        case AnswerAction::EmptyPage: return "empty-page";
        case AnswerAction::MultipleQuantity: return "multiple-quantity";
        case AnswerAction::Unknown: return "unknown";
        default: return "message";
    }
}

// What the page reads to with profile, as name=value pairs named like the
// corpus table's; empty when the profile finds nothing of its kind in it.
std::map<std::string, std::string> Read(const Row& row, const std::string& raw,
                                        const CSiteProfile& profile) {
    std::map<std::string, std::string> got;
    std::string text = raw;
    StripTags(text);
    if (row.kind == "item") {
        CItem item;
        if (!ParseItemPage(text, item, profile)) return got;
        got = {{"title", item.m_strTitle},       {"number", item.m_strItemNumber},
               {"price", item.m_strCurrentPrice}, {"minbid", item.m_strMinBid},
               {"quantity", item.m_strQuantity},  {"bids", item.m_strBidCount},
               {"shipping", item.m_strShipping},  {"seller", item.m_strSeller},
               {"feedback", item.m_strFeedback},  {"percent", item.m_strPercent},
               {"end", std::to_string(item.m_tEndTime)}};
    } else if (row.kind == "time") {
        if (int64_t t = ReadSiteTimePage(raw, profile)) got["date"] = std::to_string(t);
    } else if (row.kind == "history") {
        const auto bids = ReadBidHistoryPage(raw, profile);
        if (bids.empty()) return got;
        got["count"] = std::to_string(bids.size());
        got["last"] = bids.front().user;
        for (const SiteBidRecord& b : bids)
            if (b.siteMs > bids.front().siteMs) got["last"] = b.user;
    } else if (row.kind == "offer") {
        const std::string key = GetHiddenField(raw, profile.Get("offer.field-key"));
        if (!key.empty()) got["key"] = key;
        if (text.find(profile.Get("offer.error")) != std::string::npos)
            got["error"] = ReadOfferError(text, profile);
        const AnswerRow a = MatchAnswer(raw, profile);
        const auto& w = profile.List("offer.warning");
        if (std::find(w.begin(), w.end(), a.marker) != w.end()) got["warning"] = a.result;
    } else if (row.kind == "answer") {
        const AnswerRow a = MatchAnswer(raw, profile);
        if (a.action == AnswerAction::Unknown) return got;
        got = {{"meaning", Meaning(a.action)}, {"message", a.action == AnswerAction::MultipleQuantity ? "" : a.result}};
    } else if (row.kind == "signin") {
        if (raw.find(profile.Get("sign-in.refused")) != std::string::npos) got["refused"] = "1";
    } else if (row.kind == "listing") {
        // The quick add's item links, in page order.
        std::string numbers;
        const std::string lines = ScanItemLinks(raw, profile.Get("listing.link"));
        for (size_t at = 0; (at = lines.find('<', at)) != std::string::npos; ++at) {
            const size_t close = lines.find('>', at);
            if (numbers.find(lines.substr(at + 1, close - at - 1)) == std::string::npos)
                numbers += (numbers.empty() ? "" : ",") + lines.substr(at + 1, close - at - 1);
        }
        if (!numbers.empty()) got["numbers"] = numbers;
    }
    return got;
}

TEST(PageCorpus, EachLayoutReadsWithItsProfileAndNothingWithTheOther) {
    FixClockOffset(0);  // the time left needs no site clock here
    CSiteProfile layout2;
    std::string error;
    ASSERT_TRUE(LoadSiteProfile(std::string(BEXORA_TEST_DATA) + "/../../data/profiles/layout2.profile",
                                layout2, error))
        << error;
    const std::vector<Row> rows = Corpus();
    ASSERT_GE(rows.size(), 30u);
    std::map<std::string, int> kinds;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        std::string raw;
        ASSERT_TRUE(ReadWholeFile(std::string(BEXORA_TEST_DATA) + "/pages/" + row.path, raw));
        const bool second = row.path.rfind("layout2/", 0) == 0;
        const CSiteProfile& own = second ? layout2 : BuiltinProfile();
        const CSiteProfile& other = second ? BuiltinProfile() : layout2;
        ++kinds[row.kind + (second ? "2" : "1")];

        std::map<std::string, std::string> got = Read(row, raw, own);
        for (const auto& [name, want] : row.want) {
            if (name == "epoch") continue;  // the zone's reading depends on TZ
            std::string expected = want;
            if (name == "end" || (row.kind == "time" && name == "date"))
                expected = std::to_string(ParseSiteDate(want));
            EXPECT_EQ(got[name], expected) << name;
        }
        // Listings carry item links whatever the layout; every other page
        // of one layout gives the other layout's profile nothing to read.
        if (row.kind != "listing") EXPECT_TRUE(Read(row, raw, other).empty());
    }
    // Every kind of page is there in both layouts.
    for (const char* kind : {"item", "time", "history", "offer", "answer", "signin", "listing"})
        for (const char* layout : {"1", "2"}) EXPECT_GT(kinds[std::string(kind) + layout], 0) << kind << layout;
    FixClockOffset(std::nullopt);
}

TEST(PageCorpus, ProfilesReadBackAndBadOnesAreRefused) {
    // The built-in profile written out reads back to the same profile.
    CSiteProfile again;
    std::string error;
    ASSERT_TRUE(ParseSiteProfile(BuiltinProfile().Text(), again, error)) << error;
    EXPECT_EQ(again.Text(), BuiltinProfile().Text());

    const std::string good = BuiltinProfile().Text();
    auto without = [&](const std::string& line) {
        std::string t = good;
        const size_t at = t.find(line);
        const size_t start = t.rfind('\n', at) + 1;
        t.erase(start, t.find('\n', at) - start + 1);
        return t;
    };
    for (const auto& [text, complaint] : std::vector<std::pair<std::string, std::string>>{
             {good + "item.mumble = x\n", "unknown key"},
             {good + "item.end = again\n", "given twice"},
             {without("item.end ="), "no item.end"},
             {good + "item.price =\n", "is empty"},
             {good + "address.item = \"bad\\q\"\n", "escape"},
             {good + "answer = Hello | winner | Yes\n", "unknown answer meaning"},
             {without("| unknown |"), "last answer"},
             {good + "offer.warning = not an answer\n", "no answer's text"},
             {good + "just words\n", "no \"=\""},
         }) {
        CSiteProfile p;
        EXPECT_FALSE(ParseSiteProfile(text, p, error)) << complaint;
        EXPECT_NE(error.find(complaint), std::string::npos) << error;
    }
}

}  // namespace
}  // namespace bexora
