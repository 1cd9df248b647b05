// bexora-cli's item-list commands end to end: the program as a process
// against the local auction site, with real time (auctions end a few seconds
// after they are listed) and the site's request log as the witness of what
// was sent.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "base/AtomicFile.h"
#include "bidding/SiteHarness.h"
#include "bidding/UiDispatcher.h"
#include "listview/ItemListCore.h"
#include "listview/ListOwner.h"
#include "model/ebayDoc.h"
#include "site/PageFetch.h"
#include "site/SiteEndpoints.h"
#include "site/SiteTime.h"
#include "support/RunProcess.h"
#include "support/SessionBus.h"
#include "text/TextTools.h"

namespace bexora {
namespace {

using Clock = std::chrono::steady_clock;
namespace bx = bexora::auction;

// A list line's cells.
std::vector<std::string> Cells(const std::string& line) {
    std::vector<std::string> cells;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        cells.push_back(line.substr(start, tab - start));
    cells.push_back(line.substr(start));
    return cells;
}

// The lines of an output; a run's lines without their "HH:MM:SS " stamps.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    auto stamped = [](const std::string& l) {
        return l.size() > 9 && l[2] == ':' && l[5] == ':' && l[8] == ' ' && isdigit(l[0]) && isdigit(l[7]);
    };
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        if (stamped(lines.back())) lines.back().erase(0, 9);
        start = end + 1;
    }
    return lines;
}

size_t Count(const std::string& text, const std::string& line) {
    size_t n = 0;
    for (const std::string& l : Lines(text)) n += l == line;
    return n;
}

size_t CountStarting(const std::string& text, const std::string& prefix) {
    size_t n = 0;
    for (const std::string& l : Lines(text)) n += l.rfind(prefix, 0) == 0;
    return n;
}

// The bid's time is whole seconds of the clock: a conversation of a few
// milliseconds that crosses a second counts one.
size_t TimeUsedLines(const std::string& text) {
    return Count(text, "notice 2 Time used to place this bid is 00 seconds.") +
           Count(text, "notice 2 Time used to place this bid is 01 seconds.");
}

// Index of the first line equal to line, or -1.
int IndexOf(const std::string& text, const std::string& line) {
    std::vector<std::string> lines = Lines(text);
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i] == line) return static_cast<int>(i);
    return -1;
}

class ListCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_site.Ok());
        setenv("XDG_DATA_HOME", m_site.Dir().c_str(), 1);
        setenv("TZ", "UTC", 1);
        m_site.Account("pat", "secret");
        m_list = m_site.WorkFile("snipes.bid");
    }

    test::ProcessResult Cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--settings", m_site.SettingsFile()});
        return test::RunProcess(BEXORA_CLI, args);
    }
    std::future<test::ProcessResult> CliAsync(std::vector<std::string> args) {
        return std::async(std::launch::async, [this, args] { return Cli(args); });
    }

    // An auction ending in endsIn seconds; the moment is kept for RunFor.
    std::string Auction(const std::string& title, int endsIn, double price = 5) {
        m_lastEnd = Clock::now() + std::chrono::seconds(endsIn);
        return m_site.AddItem("{\"title\":\"" + title + "\",\"price\":" + std::to_string(price) +
                              ",\"ends_in\":" + std::to_string(endsIn) + "}");
    }
    // The seconds from now until `after` seconds past the latest end.
    std::string RunFor(int after) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_lastEnd - Clock::now());
        return std::to_string((left.count() + after * 1000) / 1000.0);
    }

    void Competitor(const std::string& item, const std::string& user, double max) {
        m_site.Control("POST", "/_control/bid",
                       "{\"item\":\"" + item + "\",\"user\":\"" + user +
                           "\",\"max\":" + std::to_string(max) + "}");
    }

    void Add(const std::vector<std::string>& items) {
        std::vector<std::string> args = {"add", m_list};
        args.insert(args.end(), items.begin(), items.end());
        auto r = Cli(args);
        ASSERT_EQ(r.status, 0) << r.out << r.err;
    }

    void Snipe(const std::string& item, const std::string& max, const std::string& before,
               std::vector<std::string> more = {}) {
        std::vector<std::string> args = {"bid",    m_list, item,  "--max",      max, "--before",
                                         before,  "--user", "pat", "--password", "secret"};
        args.insert(args.end(), more.begin(), more.end());
        auto r = Cli(args);
        ASSERT_EQ(r.status, 0) << r.out << r.err;
    }

    // Until a run has the list open (it names itself in the lock file).
    bool WaitForOwner(const std::string& list = "") {
        for (int i = 0; i < 500; ++i) {
            std::string text;
            ReadWholeFile((list.empty() ? m_list : list) + ".lock", text);
            if (text.find("bexora-cli run") != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    // The list as saved.
    std::unique_ptr<CebayDoc> Saved() {
        auto doc = std::make_unique<CebayDoc>();
        EXPECT_TRUE(doc->OnOpenDocument(m_list));
        return doc;
    }

    test::LocalSite m_site;
    std::string m_list;
    Clock::time_point m_lastEnd = Clock::now();
};

TEST_F(ListCliTest, SnipeWinsAgainstACompetitor) {
    std::string item = Auction("Brass desk lamp, working", 5);
    Competitor(item, "rival", 12);
    Add({item});
    Snipe(item, "20", "0:0:2");
    EXPECT_EQ(m_site.CountLog(test::kConfirmStep), 0u) << "a time-delay bid waits";

    auto run = Cli({"run", m_list, "--for", RunFor(3)});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string& out = run.out;
    int success = IndexOf(out, "notice 2 Bid Success: " + item +
                                   " (Brass desk ..) You are the current high bidder.");
    int wins = IndexOf(out, "notice 2 Bid Wins:    " + item + " Congratulations");
    ASSERT_GE(success, 0) << out;
    ASSERT_GT(wins, success) << out;
    EXPECT_EQ(TimeUsedLines(out), 1u) << out;
    EXPECT_EQ(CountStarting(out, "navigate http://127.0.0.1:"), 1u) << out;
    EXPECT_EQ(Count(out, "balloon Bid Wins | " + item), 1u) << out;
    EXPECT_EQ(Count(out, "balloon Bid Wins | Item: " + item + " Congratulations."), 1u);
    EXPECT_EQ(m_site.CountLog(test::kConfirmStep), 1u);

    bx::Json state = m_site.Control("GET", "/_control/items/" + item);
    EXPECT_EQ(state.Get("winner")->AsString(), "pat");
    EXPECT_DOUBLE_EQ(state.Get("price")->AsNumber(), 12.5);  // the rival's 12 and one step

    auto doc = Saved();
    const CItem* saved = doc->FindItem(item);
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(saved->m_strTimeLeft, "Ended");
    EXPECT_EQ(saved->m_strMessages.rfind("Bid Wins: Congratulations\n", 0), 0u) << saved->m_strMessages;
    EXPECT_EQ(saved->m_bBidPending, 0);
}

TEST_F(ListCliTest, SnipeOutbidAtTheLastSecondIsReportedOnce) {
    std::string item = Auction("Walnut chess board", 5);
    Add({item});
    Snipe(item, "10", "0:0:3");
    auto run = CliAsync({"run", m_list, "--for", RunFor(4)});

    // Our bid leads; then, with no refresh in between, someone bids more
    // in the auction's last second.
    ASSERT_TRUE(m_site.WaitForRequest(test::kConfirmStep, 8000));
    // The site's clock is this machine's (no skew set).
    const double end = m_site.Control("GET", "/_control/items/" + item).Get("end_time")->AsNumber();
    std::this_thread::sleep_until(std::chrono::system_clock::time_point(
        std::chrono::milliseconds(static_cast<int64_t>(end * 1000) - 1200)));
    bx::Json bid = m_site.Control("POST", "/_control/bid",
                                  "{\"item\":\"" + item + "\",\"user\":\"lastsecond\",\"max\":25}");
    ASSERT_EQ(bid.Get("result")->AsString(), "high_bidder") << bid.Dump();

    test::ProcessResult r = run.get();
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string& out = r.out;
    int success = IndexOf(out, "notice 2 Bid Success: " + item +
                                   " (Walnut ches..) You are the current high bidder.");
    int lost = IndexOf(out, "notice 2 Bid failed: " + item + " Other bidder outbid you.");
    ASSERT_GE(success, 0) << out;
    ASSERT_GT(lost, success) << out;
    // The list kept ticking for seconds after the end: still only once.
    EXPECT_EQ(CountStarting(out, "notice 2 Bid failed: "), 1u) << out;
    EXPECT_EQ(Count(out, "balloon Bid failed | Item: " + item +
                             " Other bidder outbid you."),
              1u)
        << out;
    EXPECT_EQ(CountStarting(out, "notice 2 Bid Wins:"), 0u) << out;

    auto doc = Saved();
    const CItem* saved = doc->FindItem(item);
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(saved->m_bNotified, 1);
    auto history = Cli({"history", m_list, item});
    EXPECT_EQ(history.out.rfind("Bid Failed: Other bidder outbid you.\n", 0), 0u) << history.out;
}

TEST_F(ListCliTest, AGroupWantingOneOfThreeSendsOneBid) {
    std::string first = Auction("Pocket watch one", 4);
    std::string second = Auction("Pocket watch two", 5);
    std::string third = Auction("Pocket watch three", 6);
    Add({first, second, third});
    for (const std::string& item : {first, second, third})
        Snipe(item, "15", "0:0:2", {"--group", "watches", "--quantity", "1"});

    auto run = Cli({"run", m_list, "--for", RunFor(3)});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string& out = run.out;
    EXPECT_EQ(m_site.CountLog(test::kConfirmStep), 1u) << out;
    EXPECT_EQ(Count(out, "notice 2 Bid Wins:    " + first + " Congratulations"), 1u) << out;
    for (const std::string& item : {second, third})
        EXPECT_EQ(Count(out, "notice 3 Bid skipped:" + item +
                                 " Bid is not placed because the bid group limit is reached."),
                  1u)
            << out;

    EXPECT_EQ(m_site.Control("GET", "/_control/items/" + first).Get("winner")->AsString(), "pat");
    for (const std::string& item : {second, third}) {
        bx::Json state = m_site.Control("GET", "/_control/items/" + item);
        EXPECT_EQ(state.Get("bids")->AsNumber(), 0) << item;
    }
    auto doc = Saved();
    const CBidGroup* group = doc->BidGroups().FindGroup("watches");
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->m_nWanted, 0);
    const CItem* skipped = doc->FindItem(third);
    ASSERT_NE(skipped, nullptr);
    EXPECT_EQ(skipped->m_bBidPending, 0);
    EXPECT_EQ(skipped->m_strMessages.rfind(
                  "Bid is not placed because the bid group limit is reached.\n", 0),
              0u);
}

TEST_F(ListCliTest, APendingBidOvertakenByThePriceIsDropped) {
    std::string item = Auction("Enamel coffee pot", 120);
    Add({item});
    Snipe(item, "8", "0:0:10");
    Competitor(item, "rival", 12);
    Competitor(item, "other", 15);  // the price is now 12.50, above our 8
    ASSERT_EQ(Cli({"config", "set", "Program Start", "Update all", "1"}).status, 0);

    auto run = Cli({"run", m_list, "--for", "2.5"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Count(run.out, "notice 2 Bid Warning: " + item + "Pending price too low."), 1u) << run.out;
    EXPECT_EQ(Count(run.out, "balloon Bid Warning |  Pending price too low."), 1u) << run.out;
    EXPECT_EQ(Count(run.out, "balloon Bid Warning | Item: " + item +
                                 " Pending price too low."),
              1u);
    auto doc = Saved();
    const CItem* saved = doc->FindItem(item);
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(saved->m_bBidPending, 0);
    EXPECT_EQ(saved->m_bNotified, 1);
    EXPECT_EQ(saved->m_strMessages.rfind("Bid Warning:  Pending price too low.\n", 0), 0u);

    // Refreshed again, the closed bid stays silent, and nothing was sent.
    auto again = Cli({"run", m_list, "--for", "1.5"});
    // (The site clock's measurement may be told within the run.)
    EXPECT_EQ(CountStarting(again.out, "notice 2") - CountStarting(again.out, "notice 2 Site clock:"), 0u)
        << again.out;
    EXPECT_EQ(m_site.CountLog("MakeBid"), 0u);
}

TEST_F(ListCliTest, AWrongPasswordIsABidFailure) {
    std::string item = Auction("Copper kettle with lid", 120);
    Add({item});
    auto r = Cli({"bid", m_list, item, "--max", "10", "--now", "--user", "pat", "--password",
                  "wrong"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Count(r.out, "notice 2 Bid failure: " + item +
                               " (Copper kett..) Username and Password is invalid."),
              1u)
        << r.out;
    EXPECT_EQ(TimeUsedLines(r.out), 1u) << r.out;
    EXPECT_EQ(CountStarting(r.out, "navigate "), 1u) << r.out;
    EXPECT_EQ(r.out.find("secret"), std::string::npos);
    EXPECT_EQ(r.out.find("wrong"), std::string::npos) << "the result address carries no password";
    EXPECT_EQ(m_site.Control("GET", "/_control/items/" + item).Get("bids")->AsNumber(), 0);
    // A confirmation the site refuses leaves its own address as the result
    // page: the line shows it without the form's key and pass token.
    m_site.Fault(R"({"contains":"mode=1","status":500,"count":1})");
    auto refused = Cli({"bid", m_list, item, "--max", "10", "--now", "--user", "pat", "--password", "secret"});
    std::string shown;
    for (const std::string& line : Lines(refused.out))
        if (line.rfind("navigate ", 0) == 0) shown = line;
    ASSERT_NE(shown.find("mode=1"), std::string::npos) << refused.out;
    EXPECT_NE(shown.find("&key=****&"), std::string::npos) << shown;
    EXPECT_NE(shown.find("&pass=****&"), std::string::npos) << shown;

    auto doc = Saved();
    const CItem* saved = doc->FindItem(item);
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(saved->m_bNotified, 1);
    EXPECT_EQ(saved->m_strMyBid, "$10.00");
}

// The bookkeeping commands, on items that end long after the test.
TEST_F(ListCliTest, ListCommandsKeepTheList) {
    std::string cheap = Auction("Tin toy robot", 3600, 4);
    std::string dear = Auction("Silver teapot", 3600, 40);

    auto added = Cli({"add", m_list, cheap, " " + dear + " ", "999999999999"});
    EXPECT_EQ(added.status, 1);
    EXPECT_EQ(added.out, "message: Can not add Item.\\n Check the item number!\n");
    auto again = Cli({"add", m_list, cheap});
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.out, "message: Item already in the list\n");
    // The time left is as of now, not of the last save: an auction that
    // ended since is shown ended.
    const std::string brief = Auction("Brief paper weight", 2);
    ASSERT_EQ(Cli({"add", m_list, brief}).status, 0);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const std::vector<std::string> briefRows = Lines(Cli({"list", m_list}).out);
    ASSERT_EQ(briefRows.size(), 3u);
    EXPECT_EQ(Cells(briefRows[2])[kColTimeLeft], "Ended") << briefRows[2];
    ASSERT_EQ(Cli({"delete", m_list, brief}).status, 0);
    struct stat st {};
    ASSERT_EQ(stat(m_list.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    auto list = Cli({"list", m_list, "--sort", "-3"});
    ASSERT_EQ(list.status, 0);
    std::vector<std::string> rows = Lines(list.out);
    ASSERT_EQ(rows.size(), 2u) << list.out;
    EXPECT_EQ(rows[0].rfind(dear + "\tSilver teapot\t$40.00\tFREE\t1\t0\t", 0), 0u) << rows[0];
    EXPECT_EQ(std::count(rows[0].begin(), rows[0].end(), '\t'), 12);
    EXPECT_EQ(rows[0].substr(rows[0].size() - 8), "\tN/A\tN/A");
    EXPECT_EQ(Lines(Cli({"list", m_list}).out)[0].rfind(cheap + "\t", 0), 0u) << "list order as saved";

    EXPECT_EQ(Cli({"history", m_list, cheap}).out, "No bidding history.\n");
    EXPECT_EQ(Cli({"note", m_list, cheap, "for the shelf"}).status, 0);
    Snipe(dear, "55", "0:1:0", {"--group", "gifts", "--quantity", "1"});
    EXPECT_EQ(Cli({"history", m_list, dear}).out,
              dear + ": a pending bid of $55.00 is scheduled at 0 hr 1 min 0 sec before ending time\n");
    {
        auto doc = Saved();
        EXPECT_EQ(doc->FindItem(cheap)->m_strNote, "for the shelf");
        EXPECT_EQ(doc->FindItem(dear)->m_bBidPending, 1);
        EXPECT_NE(doc->BidGroups().FindGroup("gifts"), nullptr);
    }

    EXPECT_EQ(Cli({"cancel", m_list, dear}).status, 0);
    {
        auto doc = Saved();
        EXPECT_EQ(doc->FindItem(dear)->m_bBidPending, 0);
        EXPECT_EQ(doc->FindItem(dear)->m_strMyBid, "N/A");
        EXPECT_EQ(doc->BidGroups().FindGroup("gifts"), nullptr) << "its last member left";
    }

    const std::string sheet = m_site.WorkFile("lamps.xls");
    ASSERT_EQ(Cli({"export", m_list, sheet}).status, 0);
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(sheet, bytes));
    EXPECT_EQ(bytes.rfind("item #\tDescription\tCurrent Bid\tShipping\tQty\tBid No.\tEndTime\t"
                          "Seller\tFeedback\tPercent\tMy bid\tBidGroup\r\n" +
                              cheap + "\tTin toy robot\t",
                          0),
              0u)
        << bytes;
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 3);
    auto unwritable = Cli({"export", m_list, m_site.WorkFile("no/such/folder/x.xls")});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_EQ(unwritable.out.rfind("message: Cannot write the export file ", 0), 0u) << unwritable.out;

    auto gone = Cli({"delete", m_list, cheap, "123"});
    EXPECT_EQ(gone.status, 1);
    EXPECT_NE(gone.err.find("item 123 is not in"), std::string::npos);
    EXPECT_EQ(Lines(Cli({"list", m_list}).out).size(), 1u);
    EXPECT_EQ(m_site.CountLog(test::kConfirmStep), 0u);
}

TEST_F(ListCliTest, AddPageTakesTheItemsOfAListingOrAnItemPage) {
    std::string one = Auction("Gadget radio blue", 3600, 7);
    std::string two = Auction("Gadget radio red", 3600, 9);
    std::string three = Auction("Brass kettle", 3600, 11);
    std::string home = Cli({"config", "get", "Site", "SiteHomeUrl"}).out;
    home.erase(home.find_last_not_of("\n") + 1);
    const std::string listing = home + "search?satitle=Gadget";
    const std::string saved = m_site.WorkFile("listing.html");
    ASSERT_TRUE(WriteTextFile(Cli({"fetch", listing}).out, saved));

    m_site.ClearLog();
    auto fast = Cli({"add-page", m_list, saved, "--address", listing});
    EXPECT_EQ(fast.status, 0) << fast.out << fast.err;
    std::vector<std::string> rows = Lines(Cli({"list", m_list, "--sort", "1"}).out);
    ASSERT_EQ(rows.size(), 2u) << fast.out;
    EXPECT_EQ(m_site.CountLog("ViewItem"), 0u) << "the fast add reads only the listing";

    // The slow add reads each page; listed items take its values.
    ASSERT_EQ(Cli({"delete", m_list, two}).status, 0);
    m_site.ClearLog();
    auto slow = Cli({"add-page", m_list, saved, "--address", listing, "--slow"});
    EXPECT_EQ(slow.status, 0) << slow.err;
    EXPECT_EQ(m_site.CountLog("ViewItem"), 2u);
    auto doc = Saved();
    ASSERT_NE(doc->FindItem(two), nullptr);
    EXPECT_NE(doc->FindItem(two)->m_tEndTime, 0);

    const std::string itemPage = home + "ws/eBayISAPI.dll?ViewItem&item=" + three + "&cmdZViewItem";
    ASSERT_TRUE(WriteTextFile(Cli({"fetch", itemPage}).out, saved));
    EXPECT_EQ(Cli({"add-page", m_list, saved, "--address", itemPage}).out, "");
    EXPECT_EQ(Cli({"add-page", m_list, saved, "--address", itemPage}).out,
              "message: Item Already in the List\n");
    EXPECT_EQ(Lines(Cli({"list", m_list}).out).size(), 3u);
}

TEST_F(ListCliTest, RunEndsCleanlyOnSigterm) {
    std::string item = Auction("Oak picture frame", 3600);
    Add({item});
    ASSERT_EQ(Cli({"config", "set", "Program Start", "Update all", "1"}).status, 0);
    auto started = Clock::now();
    // timeout(1) sends SIGTERM after 3 s and passes on the program's status.
    auto running = std::async(std::launch::async, [&] {
        return test::RunProcess("/usr/bin/timeout",
                                {"--preserve-status", "-s", "TERM", "3", BEXORA_CLI, "--settings",
                                 m_site.SettingsFile(), "run", m_list});
    });
    // Meanwhile the list is the run's: other commands go to it, and what
    // they change is in the run's own saves.
    ASSERT_TRUE(WaitForOwner());
    auto noted = Cli({"note", m_list, item, "from the other terminal"});
    EXPECT_EQ(noted.status, 0) << noted.err;
    // Looking at it is fine.
    auto list = Cli({"list", m_list});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out.rfind(item + "\t", 0), 0u);
    auto r = running.get();
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_LT(took.count(), 8000);
    // The first tick refreshed the item (the page was read once more).
    EXPECT_GE(m_site.CountLog("ViewItem&item=" + item), 2u);
    // Saved on the way out: the tick's own time-left text is in the file.
    auto doc = Saved();
    ASSERT_NE(doc->FindItem(item), nullptr);
    EXPECT_EQ(doc->FindItem(item)->m_strTimeLeft, "00:59:00");
    EXPECT_EQ(doc->FindItem(item)->m_strNote, "from the other terminal");
}

TEST_F(ListCliTest, CommandsFromAnotherTerminalGoToTheRun) {
    std::string now = Auction("Linen table cloth", 3600);
    std::string sniped = Auction("Walnut jewellery box", 9);
    std::string cancelled = Auction("Pewter candle stick", 9);
    Add({sniped, cancelled, now});
    auto running = CliAsync({"run", m_list, "--for", RunFor(3)});
    ASSERT_TRUE(WaitForOwner());

    // Set up and cancelled while the run has the list: the run fires only
    // what is still set up, once.
    Snipe(sniped, "20", "0:0:2");
    Snipe(cancelled, "20", "0:0:2");
    auto cancel = Cli({"cancel", m_list, cancelled});
    EXPECT_EQ(cancel.status, 0) << cancel.err;
    // A bid placed at once answers with its result, as without a run.
    auto direct =
        Cli({"bid", m_list, now, "--max", "7", "--now", "--user", "pat", "--password", "secret"});
    EXPECT_EQ(direct.status, 0) << direct.out << direct.err;
    EXPECT_EQ(CountStarting(direct.out, "notice 2 Bid Success: " + now), 1u) << direct.out;
    EXPECT_EQ(CountStarting(direct.out, "navigate http://127.0.0.1:"), 1u) << direct.out;
    // The pending snipes as the run has them.
    auto list = Cli({"list", m_list});
    EXPECT_EQ(list.status, 0);
    const std::vector<std::string> ownersRows = Lines(list.out);
    // One runner at a time, and the refusal names it.
    auto second = Cli({"run", m_list, "--for", "1"});
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.err.find("is open in bexora-cli run (process "), std::string::npos)
        << second.err;
    // Items a command names that the list does not hold are the command's error.
    auto missing = Cli({"note", m_list, "999999", "x"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("item 999999 is not in"), std::string::npos) << missing.err;

    auto run = running.get();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(m_site.CountLog(test::kConfirmStep), 2u) << run.out;
    EXPECT_EQ(CountStarting(run.out, "notice 2 Bid Success: " + sniped), 1u) << run.out;
    EXPECT_EQ(CountStarting(run.out, "notice 2 Bid Success: " + cancelled), 0u) << run.out;
    EXPECT_EQ(m_site.Control("GET", "/_control/items/" + sniped).Get("winner")->AsString(), "pat");
    auto doc = Saved();
    ASSERT_NE(doc->FindItem(cancelled), nullptr);
    EXPECT_FALSE(doc->FindItem(cancelled)->m_bBidPending);
    EXPECT_FALSE(doc->FindItem(sniped)->m_bBidPending);
    // Free again: commands work on the file, and the run's socket is gone.
    EXPECT_EQ(Cli({"note", m_list, now, "done"}).status, 0);
    EXPECT_EQ(Saved()->FindItem(now)->m_strNote, "done");
    // The end times are this computer's, the same whether the run answered
    // or the file did (whose process has read the site's clock itself).
    const std::vector<std::string> filesRows = Lines(Cli({"list", m_list}).out);
    ASSERT_EQ(filesRows.size(), ownersRows.size());
    for (size_t i = 0; i < filesRows.size(); ++i) {
        const std::vector<std::string> owners = Cells(ownersRows[i]), files = Cells(filesRows[i]);
        ASSERT_EQ(files.size(), 13u) << filesRows[i];
        const double end = m_site.Control("GET", "/_control/items/" + files[0]).Get("end_time")->AsNumber();
        EXPECT_EQ(files[kColEndTime], FormatLocalTime(static_cast<int64_t>(end))) << filesRows[i];
        EXPECT_EQ(owners[kColEndTime], files[kColEndTime]) << ownersRows[i];
    }
}

TEST_F(ListCliTest, RelativePathsAreTheClientsAndRewriteRespectsTheOwner) {
    std::string item = Auction("Copper kettle", 3600);
    Add({item});
    auto running = CliAsync({"run", m_list, "--for", "4"});
    ASSERT_TRUE(WaitForOwner());
    // The run writes what the client names, where the client means it.
    const std::string dir = DirName(m_list);
    auto exported = test::RunProcess(
        "/bin/sh", {"-c", "cd '" + dir + "' && '" + BEXORA_CLI + "' --settings '" +
                              m_site.SettingsFile() + "' export snipes.bid out.xls"});
    EXPECT_EQ(exported.status, 0) << exported.err;
    std::string xls;
    EXPECT_TRUE(ReadWholeFile(dir + "/out.xls", xls));
    EXPECT_NE(xls.find(item), std::string::npos);
    // A copy of the run's list is the run's to write; writing over it is refused.
    EXPECT_EQ(Cli({"rewrite", m_list, dir + "/copy.bid"}).status, 0);
    CebayDoc copy;
    ASSERT_TRUE(copy.OnOpenDocument(dir + "/copy.bid"));
    EXPECT_NE(copy.FindItem(item), nullptr);
    auto over = Cli({"rewrite", dir + "/copy.bid", m_list});
    EXPECT_EQ(over.status, 1);
    EXPECT_NE(over.err.find("is open in bexora-cli run"), std::string::npos) << over.err;
    EXPECT_EQ(running.get().status, 0);
}

TEST_F(ListCliTest, AnOwnerThatDiesMidAnswerIsAnErrorAndTheNextCommandWorksOnTheFile) {
    std::string item = Auction("Cast iron doorstop", 3600);
    Add({item});
    // An owner that takes the command and never answers, then is killed.
    pid_t owner = fork();
    if (owner == 0) {
        CUiDispatcher ui;
        CListOwner listOwner(ui, [](const std::vector<std::string>&, const std::string&) {
            return CListOwner::PollFn([](CListAnswer&) { return false; });
        });
        if (!listOwner.Open(m_list, "bexora-cli run")) _exit(2);
        for (;;) ui.WaitAndRunPending(100);
    }
    ASSERT_TRUE(WaitForOwner());
    auto note = CliAsync({"note", m_list, item, "lost"});
    EXPECT_EQ(note.wait_for(std::chrono::milliseconds(500)), std::future_status::timeout);
    kill(owner, SIGKILL);
    waitpid(owner, nullptr, 0);
    ASSERT_EQ(note.wait_for(std::chrono::seconds(20)), std::future_status::ready)
        << "the client hangs";
    auto r = note.get();
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("bexora-cli run (process " + std::to_string(owner) +
                         ") ended before it answered"),
              std::string::npos)
        << r.err;
    auto again = Cli({"note", m_list, item, "kept"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(Saved()->FindItem(item)->m_strNote, "kept");
}

// In Pacific time with a right clock the offset is exactly 0; the run reads
// the time page once, and a snipe due while the time host is silent still
// goes out within its second.
TEST_F(ListCliTest, PacificRunReadsTheTimePageOnceAndSnipesThroughASilentTimeHost) {
    setenv("TZ", "America/Los_Angeles", 1);
    std::string item = Auction("Pewter jug", 14);
    std::string watched = m_site.AddItem(R"({"title":"Pewter mug","price":5,"ends_in":3600})");
    Add({item, watched});
    Snipe(item, "10", "0:0:6");
    m_site.ClearLog();
    auto run = CliAsync({"run", m_list, "--for", RunFor(1)});
    ASSERT_TRUE(m_site.WaitForRequest("TimeShow", 8000));
    m_site.Fault(R"({"path":"/aw-cgi/","stall":true,"stall_ms":20000})");

    test::ProcessResult r = run.get();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(CountStarting(r.out, "notice 2 Bid Success: " + item), 1u) << r.out;
    size_t timeReads = 0;
    double confirmedAt = 0;
    const bx::Json log = m_site.Control("GET", "/_control/log");
    for (const bx::Json& e : log.Items()) {
        const std::string& target = e.Get("target")->AsString();
        timeReads += target.find("TimeShow") != std::string::npos;
        if (target.find(test::kConfirmStep) != std::string::npos && target.find("Item=" + item) != std::string::npos)
            confirmedAt = e.Get("time")->AsNumber();
    }
    EXPECT_LE(timeReads, 2u);
    // The site's clock is this machine's (no skew set).
    const double end = m_site.Control("GET", "/_control/items/" + item).Get("end_time")->AsNumber();
    EXPECT_GE(confirmedAt, end - 6);
    EXPECT_LT(confirmedAt, end - 5);
    setenv("TZ", "UTC", 1);
}

TEST_F(ListCliTest, CheckFindsWhatWouldStopABidWithoutBiddingAlsoThroughTheRun) {
    std::string good = Auction("Oak picture frame", 3600);
    std::string bad = Auction("Glass paper weight", 3600);
    std::string none = Auction("Clay flower pot", 3600);
    std::string ended = Auction("Tin watering can", 2);
    Add({good, bad, none, ended});
    Snipe(good, "20", "0:0:2");
    Snipe(ended, "20", "0:0:1");
    std::this_thread::sleep_for(std::chrono::seconds(3));
    auto setUp = Cli({"bid", m_list, bad, "--max", "20", "--before", "0:0:2", "--user", "pat",
                      "--password", "wrong"});
    ASSERT_EQ(setUp.status, 0) << setUp.err;

    auto check = Cli({"check", m_list});
    EXPECT_EQ(check.status, 1) << check.err;
    EXPECT_EQ(Count(check.out, good + "\tok"), 1u) << check.out;
    EXPECT_EQ(Count(check.out, bad + "\tUsername and Password is invalid."), 1u) << check.out;
    EXPECT_EQ(check.out.find(none), std::string::npos) << "no bid, not checked: " << check.out;
    EXPECT_EQ(CountStarting(check.out, "balloon Bid check failed | Bid check failed:" + bad), 1u)
        << check.out;
    EXPECT_EQ(m_site.CountLog(test::kConfirmStep), 0u);
    {
        auto doc = Saved();
        EXPECT_EQ(doc->FindItem(bad)->m_strMessages.rfind("Bid check failed:" + bad, 0), 0u);
        EXPECT_EQ(doc->FindItem(bad)->m_bBidPending, 1);  // still scheduled
    }

    // Named items, sent to the list's run.
    auto running = CliAsync({"run", m_list, "--for", "3"});
    ASSERT_TRUE(WaitForOwner());
    auto owned = Cli({"check", m_list, good});
    EXPECT_EQ(owned.status, 0) << owned.err;
    EXPECT_EQ(Count(owned.out, good + "\tok"), 1u) << owned.out;
    auto noBid = Cli({"check", m_list, none});
    EXPECT_EQ(noBid.status, 1);
    EXPECT_EQ(Count(noBid.out, none + "\tNo bid to check."), 1u) << noBid.out;
    // An auction that has ended is said to be, and is no problem to fix.
    auto over = Cli({"check", m_list, ended});
    EXPECT_EQ(over.status, 0) << over.out;
    EXPECT_EQ(Count(over.out, ended + "\tThe auction has ended: nothing to check."), 1u) << over.out;
    EXPECT_EQ(running.get().status, 0);
    EXPECT_EQ(m_site.CountLog(test::kConfirmStep), 0u);
}

TEST_F(ListCliTest, ADryRunPrintsTheConfirmationItWouldSendAndSendsNone) {
    std::string item = Auction("Silver tea spoon", 6);
    Add({item});
    Snipe(item, "20", "0:0:3");
    auto run = Cli({"run", m_list, "--dry-run", "--for", RunFor(1)});
    EXPECT_EQ(run.status, 0) << run.err;
    // It starts by saying what it runs, and that it is a dry run; every line
    // of the run has its time.
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("Running " + m_list + ": 1 item, 1 snipe; next " + item + " (Silver tea spoon) at ", 0), 0u)
        << lines[0];
    EXPECT_EQ(lines[1], "Dry run: each bid goes up to its confirmation, which is printed, not sent");
    size_t unstamped = 0;
    for (size_t start = 0, end = 0; start < run.out.size(); start = end + 1) {
        end = std::min(run.out.find('\n', start), run.out.size());
        const std::string l = run.out.substr(start, end - start);
        unstamped += !(l.size() > 9 && l[2] == ':' && l[5] == ':' && l[8] == ' ');
    }
    EXPECT_EQ(unstamped, 0u) << run.out;
    EXPECT_EQ(CountStarting(run.out,
                            "notice 2 Dry run:" + item + " Dry run: would send http://127.0.0.1:"),
              1u)
        << run.out;
    EXPECT_NE(run.out.find("&Item=" + item + "&key="), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("secret"), std::string::npos);
    EXPECT_EQ(m_site.CountLog(test::kConfirmStep), 0u);
    EXPECT_EQ(m_site.CountLog(test::kOfferFormStep), 1u);
    EXPECT_EQ(m_site.Control("GET", "/_control/items/" + item).Get("bids")->AsNumber(), 0);
    EXPECT_EQ(Count(run.out, "Bid Success"), 0u) << run.out;
}

// The site redesigns its pages under a running list: the built-in profile
// reads none of them and sends no bid, says so and keeps the page; with the
// new layout's profile file chosen (the same program) the snipe wins; back
// on the old layout and profile, it wins again.
TEST_F(ListCliTest, ARedesignedSiteIsRefusedUntilItsProfileIsChosen) {
    const std::string layout2 = std::string(BEXORA_TEST_DATA) + "/../../data/profiles/layout2.profile";
    const std::string pages = m_site.Dir() + "/Halvane Co./Bexora/pages/";
    auto layout = [&](int n) {
        m_site.Control("POST", "/_control/layout", "{\"layout\":" + std::to_string(n) + "}");
    };
    auto confirmations = [&] { return m_site.CountLog(test::kConfirmStep) + m_site.CountLog("/v2/offer/place"); };
    struct Row {
        int layout;
        std::string profile;  // "" leaves the setting alone
        bool wins;
    };
    for (const Row& row : {Row{2, "", false}, Row{2, layout2, true}, Row{1, "builtin", true}}) {
        SCOPED_TRACE(row.layout);
        if (!row.profile.empty()) ASSERT_EQ(Cli({"config", "set", "Site", "SiteProfile", row.profile}).status, 0);
        // Set up on the layout the profile reads; the first row's site then
        // changes under the list.
        layout(row.wins ? row.layout : 1);
        std::string item = Auction("Enamel sign " + std::to_string(row.layout), 7);
        Add({item});
        Snipe(item, "20", "0:0:2");
        layout(row.layout);
        m_site.ClearLog();
        const size_t before = confirmations();
        // The run reads every item's page at its start.
        ASSERT_EQ(Cli({"config", "set", "Program Start", "Update all", "1"}).status, 0);
        auto run = Cli({"run", m_list, "--for", RunFor(2)});
        EXPECT_EQ(run.status, 0) << run.err;
        if (row.wins) {
            EXPECT_EQ(CountStarting(run.out, "notice 2 Bid Success: " + item), 1u) << run.out;
            EXPECT_EQ(m_site.Control("GET", "/_control/items/" + item).Get("winner")->AsString(), "pat");
            EXPECT_EQ(confirmations(), before + 1);
            continue;
        }
        // Nothing of the new pages was taken: no bid, the refresh, the
        // pre-flight and the bid say why, and the pages are kept. The time
        // page is gone too: with the site's clock unread (and this zone not
        // the site's) the snipe still goes out, it is not taken for ended.
        const std::string refused = "Page not recognised: " + item + " (saved as ViewItem-" + item + ".html)";
        const std::string form = "Page not recognised: " + item + " (saved as MakeBid-" + item + ".html)";
        EXPECT_EQ(Count(run.out, "notice 2 " + refused), 1u) << run.out;
        EXPECT_EQ(CountStarting(run.out, "notice 3 Bid check failed:" + item + " (Enamel sign..) " + form), 1u)
            << run.out;
        EXPECT_EQ(Count(run.out, "notice 2 Bid failure: " + item + " (Enamel sign..) " + form), 1u) << run.out;
        EXPECT_EQ(CountStarting(run.out, "notice 2 Bid Success"), 0u) << run.out;
        EXPECT_EQ(confirmations(), before);
        EXPECT_EQ(m_site.Control("GET", "/_control/items/" + item).Get("bids")->AsNumber(), 0);
        EXPECT_TRUE(std::filesystem::exists(pages + "ViewItem-" + item + ".html"));
        EXPECT_EQ(std::filesystem::status(pages + "MakeBid-" + item + ".html").permissions() &
                      std::filesystem::perms::others_read,
                  std::filesystem::perms::none);
        EXPECT_NE(Saved()->FindItem(item)->m_strMessages.find(refused), std::string::npos);
    }
}

TEST_F(ListCliTest, MisuseIsRefused) {
    EXPECT_EQ(Cli({"run", m_list, "--for", "soon"}).status, 2);
    EXPECT_EQ(Cli({"list", m_list, "--sort", "14"}).status, 2);
    EXPECT_EQ(Cli({"list"}).status, 2);
    // A list that is not there is said to be, and no lock file is made for it.
    const std::string missing = m_site.WorkFile("missing.bid");
    using Args = std::vector<std::string>;
    for (const Args& args : {Args{"list", missing}, Args{"note", missing, "123", "x"},
                             Args{"cancel", missing, "123"}, Args{"rewrite", missing, m_site.WorkFile("out.bid")}}) {
        const test::ProcessResult r = Cli(args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_NE(r.err.find("missing.bid does not exist"), std::string::npos) << args[0] << ": " << r.err;
        EXPECT_FALSE(std::filesystem::exists(missing + ".lock")) << args[0];
    }
    EXPECT_EQ(Cli({"bid", m_list, "123", "--max", "5"}).status, 2) << "needs --now or --before";
    EXPECT_EQ(Cli({"bid", m_list, "123", "--max", "5", "--now", "--before", "0:0:5"}).status, 2);
    EXPECT_EQ(Cli({"bid", m_list, "123", "--max", "5", "--before", "5 seconds"}).status, 2);
    EXPECT_EQ(Cli({"note", m_list, "123"}).status, 2);
    struct stat st {};
    EXPECT_NE(stat(m_list.c_str(), &st), 0) << "nothing was created";
}

// bexora-cli clock measures the site's clock and says what it found: the
// offset with the site's zone in it (Pacific time read here in UTC), its
// bound, and this computer's own error apart from the zone.
TEST_F(ListCliTest, ClockMeasuresAndPrintsTheOffsetItsBoundAndTheError) {
    m_site.Control("POST", "/_control/clock", R"({"skew":-0.25})");
    const test::ProcessResult r = Cli({"clock"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    // Local minus site: 8 hours of zone (7 in summer), and the site's clock a
    // quarter of a second behind.
    const double offset = std::atof(lines[0].substr(std::string("offset ").size()).c_str());
    const double zone = offset > 7.5 * 3600 ? 8 * 3600 : 7 * 3600;
    EXPECT_NEAR(offset - zone, 0.25, 0.1) << lines[0];
    EXPECT_EQ(lines[1].rfind("bound ", 0), 0u) << lines[1];
    EXPECT_NE(lines[2].find("this computer 0.2"), std::string::npos) << lines[2];
    EXPECT_NE(lines[2].find(" ahead (within "), std::string::npos) << lines[2];
    m_site.Control("POST", "/_control/clock", R"({"skew":0})");
}

// A terminal's bid goes through the dialog's checks and more: an amount
// under the minimum bid is refused with the reason before the scheduled bid
// is touched, and the dialog's presets change only with --set-default.
TEST_F(ListCliTest, ATerminalBidIsCheckedAndLeavesTheDialogsPresets) {
    const std::string item = Auction("Tin lamp", 600, 20);
    Add({item});
    Snipe(item, "25", "0:0:10");
    const std::string secBefore = Cli({"config", "get", "Bid Dialog", "Bid sec"}).out;
    for (const char* amount : {"0", "5"}) {
        auto r = Cli({"bid", m_list, item, "--max", amount, "--before", "0:0:11", "--user", "pat", "--password",
                      "secret", "--yes"});
        EXPECT_NE(r.status, 0) << amount;
        EXPECT_NE(r.err.find("below the minimum bid"), std::string::npos) << r.err;
    }
    auto doc = Saved();
    EXPECT_TRUE(doc->FindItem(item)->m_bBidPending);
    EXPECT_EQ(doc->FindItem(item)->m_strMyBid.find("25.00") != std::string::npos, true)
        << doc->FindItem(item)->m_strMyBid;
    Snipe(item, "26", "0:0:11", {"--yes"});
    EXPECT_EQ(Cli({"config", "get", "Bid Dialog", "Bid sec"}).out, secBefore);
    Snipe(item, "26", "0:0:12", {"--yes", "--set-default"});
    EXPECT_EQ(Cli({"config", "get", "Bid Dialog", "Bid sec"}).out, "12\n");
    // A password given here is remembered only when asked, "Save Pass" or not.
    EXPECT_EQ(Cli({"config", "get", "Bid Dialog", "Password"}).out, "\n");
    Snipe(item, "26", "0:0:12", {"--yes", "--save-password"});
    EXPECT_EQ(Cli({"config", "get", "Bid Dialog", "Password"}).out, "c2VjcmV0\n");
    // Where passwords go was said once (no keyring here), not at every command.
    auto again = Cli({"bid", m_list, item, "--max", "27", "--before", "0:0:12", "--user", "pat", "--password",
                      "secret", "--yes"});
    EXPECT_EQ(again.err, "") << again.err;
    EXPECT_EQ(Cli({"config", "get", "Bid Dialog", "Passwords Told"}).out, "no keyring\n");
}

// While bexora-cli run owns the list, a terminal adds items whose pages the
// site answers slowly (by number, and by a listing page read --slow): the
// pages are read off the owner's tick, so the snipe due meanwhile leaves on
// its second, the terminal is told how far the add got while it waits, and
// every item is saved.
TEST_F(ListCliTest, ASlowAddThroughTheOwnerHoldsUpNoSnipe) {
    const std::string cup = Auction("Slow cup", 600);
    const std::string snipe = Auction("Brass lamp", 8);  // the run lasts until its end
    Add({snipe, cup});
    Snipe(snipe, "20", "0:0:3");
    const std::string runFor = RunFor(4);
    const std::string vase = Auction("Slow vase", 600), jug = Auction("Slow jug", 600);
    const std::string plate = Auction("Slow plate", 600);
    for (const std::string& item : {vase, cup, plate})
        m_site.Fault(R"({"contains":"item=)" + item + R"(","latency_ms":4000})");
    m_site.Fault(R"({"contains":"item=)" + jug + R"(","latency_ms":6000})");
    const std::string listing = m_site.WorkFile("listing.html");
    ASSERT_TRUE(AtomicWriteFile(listing, "<html><body><a href=\"" + site::ItemViewUrl(jug) +
                                             "\">Slow jug</a> $3.00</body></html>"));
    auto run = CliAsync({"run", m_list, "--for", runFor});
    ASSERT_TRUE(WaitForOwner());
    // A bid set up from the terminal reads its page (slow) meanwhile too.
    auto bid = CliAsync({"bid", m_list, cup, "--max", "30", "--before", "0:1:0", "--user", "pat", "--password",
                         "secret"});
    auto slowPage = CliAsync({"add-page", m_list, listing, "--address", site::HomeUrl(), "--slow"});
    // A client that shows progress hears of each item as it joins.
    std::vector<std::string> progress;
    CListAnswer added;
    std::string why;
    ASSERT_EQ(CListClient::Send(m_list, {"add", m_list, vase, plate}, added, why, -1,
                                [&](const std::string&, const std::string& line) { progress.push_back(line); }),
              CListClient::Result::Answered)
        << why;
    EXPECT_EQ(added.status, 0) << added.out << added.err;
    // The first item is in while the second page is read (4 s apart).
    EXPECT_NE(std::find(progress.begin(), progress.end(), "Adding\t1\t2"), progress.end()) << progress.size();
    const test::ProcessResult pageAdded = slowPage.get();
    EXPECT_EQ(pageAdded.status, 0) << pageAdded.out << pageAdded.err;
    const test::ProcessResult bidSet = bid.get();
    EXPECT_EQ(bidSet.status, 0) << bidSet.out << bidSet.err;
    // A rewrite into a list another command holds is refused at once, not
    // after waiting out that hold on the owner's tick.
    const std::string held = m_site.WorkFile("held.bid");
    CListLock hold;
    ASSERT_TRUE(hold.TryAcquire(held));
    const auto asked = Clock::now();
    const test::ProcessResult rewrite = Cli({"rewrite", m_list, held});
    EXPECT_NE(rewrite.status, 0);
    EXPECT_LT(Clock::now() - asked, std::chrono::seconds(3)) << rewrite.err;
    hold.Release();
    // A page on the terminal's standard input goes with the command; the
    // owner's own standard input is not read.
    const std::string bowl = m_site.AddItem(R"({"title":"Glass bowl","price":5,"ends_in":600})");
    std::string bowlPage;
    FetchPage(site::ItemViewUrl(bowl), bowlPage);
    const std::vector<std::string> pipedArgs = {"--settings", m_site.SettingsFile(), "add-page", m_list,
                                                "/dev/stdin", "--address", site::ItemViewUrl(bowl)};
    const test::ProcessResult piped = test::RunProcess(BEXORA_CLI, pipedArgs, bowlPage);
    EXPECT_EQ(piped.status, 0) << piped.err;
    const test::ProcessResult r = run.get();
    EXPECT_EQ(r.status, 0) << r.err;

    const double end = m_site.Control("GET", "/_control/items/" + snipe).Get("end_time")->AsNumber();
    const bx::Json log = m_site.Control("GET", "/_control/log");
    int confirmations = 0;
    for (const bx::Json& e : log.Items()) {
        const std::string& target = e.Get("target")->AsString();
        if (target.find(test::kConfirmStep) == std::string::npos || target.find("Item=" + snipe) == std::string::npos)
            continue;
        ++confirmations;
        EXPECT_NEAR(e.Get("site_time")->AsNumber(), end - 3, 1.0) << r.out;
    }
    EXPECT_EQ(confirmations, 1) << r.out;
    auto doc = Saved();
    EXPECT_NE(doc->FindItem(vase), nullptr) << added.out << added.err << r.out;
    EXPECT_NE(doc->FindItem(plate), nullptr);
    EXPECT_NE(doc->FindItem(jug), nullptr) << pageAdded.out << pageAdded.err;
    EXPECT_NE(doc->FindItem(bowl), nullptr);
    EXPECT_TRUE(doc->FindItem(cup)->m_bBidPending);
}

// bexora-cli run with only its wall clock faked (libfaketime; the boot and
// monotonic clocks run on), the clock stepped 5 s into the run, as NTP does
// after a resume: a step back must not stop the run, a step ahead must not
// send the snipes early. Each lands within a second of its moment by the
// site's clock, once.
TEST_F(ListCliTest, SnipesLandOnTheirMomentsWhenTheComputersClockSteps) {
    const std::string faketime = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";
    ASSERT_EQ(access(faketime.c_str(), R_OK), 0) << "scripts/install-deps installs libfaketime";
    struct Row {
        const char* name;
        const char* step;  // the clock's offset after the step, for libfaketime
    };
    const Row rows[] = {{"ahead", "+60"}, {"back", "-3600"}};
    struct Run {
        std::string list, stamp;
        std::vector<std::string> items;
        std::future<test::ProcessResult> result;
    };
    std::vector<Run> runs;
    for (const Row& row : rows) {
        Run r;
        r.list = m_site.WorkFile(std::string("step-") + row.name + ".bid");
        r.stamp = m_site.WorkFile(std::string("step-") + row.name + ".faketime");
        ASSERT_TRUE(AtomicWriteFile(r.stamp, "+0\n"));
        m_list = r.list;
        r.items = {Auction(std::string("Lamp ") + row.name, 14), Auction(std::string("Vase ") + row.name, 17)};
        Add(r.items);
        for (const std::string& item : r.items) Snipe(item, "20", "0:0:3");
        runs.push_back(std::move(r));
    }
    m_site.ClearLog();
    for (Run& r : runs) {
        std::vector<std::string> args = {"LD_PRELOAD=" + faketime, "DONT_FAKE_MONOTONIC=1", "FAKETIME_NO_CACHE=1",
                                         "FAKETIME_TIMESTAMP_FILE=" + r.stamp,
                                         "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0", BEXORA_CLI,
                                         "--settings", m_site.SettingsFile(), "run", r.list, "--for", RunFor(3)};
        r.result = std::async(std::launch::async, [args] { return test::RunProcess("/usr/bin/env", args); });
    }
    std::this_thread::sleep_for(std::chrono::seconds(5));
    for (size_t i = 0; i < runs.size(); ++i) ASSERT_TRUE(AtomicWriteFile(runs[i].stamp, std::string(rows[i].step) + "\n"));
    for (size_t i = 0; i < runs.size(); ++i) {
        SCOPED_TRACE(rows[i].name);
        const test::ProcessResult run = runs[i].result.get();
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("Clock moved "), std::string::npos) << run.out;
        for (const std::string& item : runs[i].items) {
            const double end = m_site.Control("GET", "/_control/items/" + item).Get("end_time")->AsNumber();
            int confirmations = 0;
            const bx::Json log = m_site.Control("GET", "/_control/log");
            for (const bx::Json& e : log.Items()) {
                const std::string& target = e.Get("target")->AsString();
                if (target.find(test::kConfirmStep) == std::string::npos || target.find("Item=" + item) == std::string::npos)
                    continue;
                ++confirmations;
                EXPECT_NEAR(e.Get("site_time")->AsNumber(), end - 3, 1.0) << run.out;
            }
            EXPECT_EQ(confirmations, 1) << run.out;
        }
    }
}

// A real Secret Service (gnome-keyring) on a private session bus: the
// passwords go there, the list and the settings keep none (nor their
// Base64), a list written before moves its passwords, and a locked keyring
// is found by the check while there is time to unlock it.
class KeyringCliTest : public ListCliTest {
protected:
    void SetUp() override {
        ListCliTest::SetUp();
        if (HasFatalFailure()) return;
        setenv("XDG_RUNTIME_DIR", m_runtime.Path().c_str(), 1);
        setenv("HOME", m_runtime.Path().c_str(), 1);
        m_bus = std::make_unique<test::PrivateBus>();
        int in[2];
        ASSERT_EQ(pipe(in), 0);
        m_keyring = fork();
        if (m_keyring == 0) {
            dup2(in[0], 0);
            close(in[1]);
            int null = open("/dev/null", O_RDWR);
            dup2(null, 1);
            dup2(null, 2);
            execlp("gnome-keyring-daemon", "gnome-keyring-daemon", "--foreground", "--unlock",
                   "--components=secrets", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(in[0]);
        ASSERT_EQ(write(in[1], "keyring-pw", 10), 10);
        close(in[1]);
        for (int i = 0; i < 250 && !SecretsOwned(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (!SecretsOwned()) GTEST_SKIP() << "gnome-keyring-daemon did not start on a private bus";
    }
    void TearDown() override {
        if (m_keyring > 0) {
            kill(m_keyring, SIGTERM);
            waitpid(m_keyring, nullptr, 0);
        }
        m_bus.reset();
    }

    bool SecretsOwned() { return Call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner", "s", "org.freedesktop.secrets") == 1; }
    // The keyring's login collection locked, as after a screen lock.
    bool Lock() {
        sd_bus* bus = nullptr;
        if (sd_bus_open_user(&bus) < 0) return false;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        int r = sd_bus_call_method(bus, "org.freedesktop.secrets", "/org/freedesktop/secrets",
                                   "org.freedesktop.Secret.Service", "Lock", &error, nullptr, "ao", 1,
                                   "/org/freedesktop/secrets/collection/login");
        sd_bus_error_free(&error);
        sd_bus_flush_close_unref(bus);
        return r >= 0;
    }
    int Call(const char* dest, const char* path, const char* iface, const char* method, const char* sig,
             const char* arg) {
        sd_bus* bus = nullptr;
        if (sd_bus_open_user(&bus) < 0) return -1;
        sd_bus_message* reply = nullptr;
        int b = -1;
        if (sd_bus_call_method(bus, dest, path, iface, method, nullptr, &reply, sig, arg) >= 0)
            sd_bus_message_read(reply, "b", &b);
        sd_bus_message_unref(reply);
        sd_bus_flush_close_unref(bus);
        return b;
    }
    // Neither the password nor its Base64 anywhere in the file.
    static void HoldsNoPassword(const std::string& path) {
        std::string text;
        ASSERT_TRUE(ReadWholeFile(path, text)) << path;
        EXPECT_EQ(text.find("secret"), std::string::npos) << path;
        EXPECT_EQ(text.find("c2VjcmV0"), std::string::npos) << path;
    }

    test::TempDir m_runtime;
    std::unique_ptr<test::PrivateBus> m_bus;
    pid_t m_keyring = -1;
};

TEST_F(KeyringCliTest, PasswordsLiveInTheKeyringAndTheListStillSnipesAfterARestart) {
    const std::string item = Auction("Keyring clock", 6);
    Competitor(item, "rival", 12);
    Add({item});
    Snipe(item, "20", "0:0:2", {"--save-password"});
    HoldsNoPassword(m_list);
    HoldsNoPassword(m_site.SettingsFile());
    auto listed = Cli({"secrets", "list"});
    EXPECT_EQ(listed.out, "pat at " + site::SignInHost() + "\n") << listed.err;
    // The bid dialog's account comes back from the keyring.
    EXPECT_EQ(Cli({"config", "get", "Bid Dialog", "User ID"}).out, "pat\n");

    auto run = Cli({"run", m_list, "--for", RunFor(3)});
    EXPECT_NE(IndexOf(run.out, "notice 2 Bid Wins:    " + item + " Congratulations"), -1) << run.out << run.err;
    EXPECT_EQ(m_site.CountLog(test::kConfirmStep), 1u);
    HoldsNoPassword(m_list);
    EXPECT_EQ(run.err.find("passwords are kept"), std::string::npos) << run.err;
}

TEST_F(KeyringCliTest, AnOlderListMovesItsPasswordsAndALockedKeyringIsFoundInTime) {
    const std::string item = Auction("Keyring vase", 600);
    Add({item});
    // Written as an older copy writes it: the password in the file.
    ASSERT_EQ(Cli({"config", "set", "Bid Dialog", "Keep Passwords", "file"}).status, 0);
    Snipe(item, "20", "0:0:30");
    std::string text;
    ReadWholeFile(m_list, text);
    EXPECT_NE(text.find("c2VjcmV0"), std::string::npos);
    EXPECT_EQ(Cli({"config", "set", "Bid Dialog", "Keep Passwords", "nowhere"}).status, 2);

    // With the keyring chosen, the next save moves it and says so.
    ASSERT_EQ(Cli({"config", "set", "Bid Dialog", "Keep Passwords", "keyring"}).status, 0);
    ASSERT_EQ(Cli({"note", m_list, item, "moved"}).status, 0);
    HoldsNoPassword(m_list);
    EXPECT_EQ(Saved()->FindItem(item)->m_strMessages.rfind("Passwords moved to the keyring\n", 0), 0u);
    EXPECT_EQ(Cli({"secrets", "list"}).out, "pat at " + site::SignInHost() + "\n");

    // Back into the file and again out of it, on the user's word.
    auto toFile = Cli({"secrets", "move-to-file", m_list});
    EXPECT_EQ(toFile.status, 0) << toFile.err;
    ReadWholeFile(m_list, text);
    EXPECT_NE(text.find("c2VjcmV0"), std::string::npos);
    EXPECT_EQ(Cli({"config", "get", "Bid Dialog", "Keep Passwords"}).out, "file\n");
    auto toKeyring = Cli({"secrets", "move-to-keyring", m_list});
    EXPECT_EQ(toKeyring.status, 0) << toKeyring.err;
    HoldsNoPassword(m_list);

    // Locked: the check says so, with the time left, and signs in nowhere.
    ASSERT_TRUE(Lock());
    const size_t signIns = m_site.CountLog(test::kSignInStep);
    auto check = Cli({"check", m_list, item});
    EXPECT_NE(check.out.find("No password for pat in the keyring (locked?) 00:0"), std::string::npos)
        << check.out << check.err;
    EXPECT_NE(check.out.find("left to fix it before the bid."), std::string::npos) << check.out;
    EXPECT_EQ(m_site.CountLog(test::kSignInStep), signIns);
    EXPECT_NE(Cli({"secrets", "move-to-file", m_list}).status, 0);
    HoldsNoPassword(m_list);
}

}  // namespace
}  // namespace bexora
