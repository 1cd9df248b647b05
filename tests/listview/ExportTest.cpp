// "Export to Excel": the exact bytes of the file and what happens when it
// cannot be written.

#include "ListHarness.h"
#include "base/AtomicFile.h"
#include "listview/Export.h"

namespace bexora::test {
namespace {

const std::string kHeader =
    "item #\tDescription\tCurrent Bid\tShipping\t"
    "Qty\tBid No.\tEndTime\tSeller\tFeedback\tPercent\tMy bid\tBidGroup\r\n";

class Export : public ListTest {
protected:
    void SetUp() override {
        ListTest::SetUp();
        Start();
    }
    std::string Read(const std::string& path) {
        std::string text;
        EXPECT_TRUE(ReadWholeFile(path, text)) << path;
        return text;
    }
};

TEST_F(Export, RowsInTheListsOrderWithCrLfAndTheEndTimeAsTheListShowsIt) {
    FixClockOffset(3 * 3600);  // the end time is this computer's, as in the list
    CItem& a = Add("220000000001", 3600, "US $25.00");
    a.m_strTitle = "Brass lamp";
    a.m_strCurrentPrice = "US $12.50";
    a.m_strShipping = "US $4.00";
    a.m_strQuantity = "1";
    a.m_strBidCount = "3";
    a.m_strSeller = "lampco";
    a.m_strFeedback = "1234";
    a.m_strPercent = "99.8";
    a.m_strBidGroup = "lamps";
    a.m_strNote = "not exported";
    a.m_strMessages = "not exported either";
    CItem& b = Add("110000000002", 0);
    b.m_strTitle = "Vase\twith a tab\nand a line";
    m_core->Sort(1);  // b before a

    const std::string path = m_dir.File("out.xls");
    ASSERT_TRUE(OnExport(*m_core, path));
    EXPECT_EQ(Read(path), kHeader +
                              // No end time read yet: an empty field, not 1970.
                              "110000000002\tVase\twith a tab\r\nand a "
                              "line\t$10.00\tN/A\tN/A\t1\t\tN/A\tN/A\tN/A\tN/A\tN/A\r\n"
                              "220000000001\tBrass lamp\tUS $12.50\tUS "
                              "$4.00\t1\t3\t03/04/24 14:20:30\tlampco\t1234\t99.8\t"
                              "US $25.00\tlamps\r\n");
    EXPECT_TRUE(TakeShownPrompts().empty());
}

TEST_F(Export, EmptyListAndNamesAsChosen) {
    // No extension is added, and an existing file is replaced.
    const std::string path = m_dir.File("items");
    ASSERT_TRUE(
        AtomicWriteFile(path, "old contents that are longer than the header line, much longer\n"));
    ASSERT_TRUE(OnExport(*m_core, path));
    EXPECT_EQ(Read(path), kHeader);
    std::string none;
    EXPECT_FALSE(ReadWholeFile(path + ".xls", none));
}

TEST_F(Export, CancelledOrUnwritableIsNoSilentSuccess) {
    Add("220000000001", 3600);
    EXPECT_FALSE(OnExport(*m_core, ""));  // the dialog was cancelled
    EXPECT_TRUE(TakeShownPrompts().empty());

    const std::string path = m_dir.File("no/such/folder/out.xls");
    EXPECT_FALSE(OnExport(*m_core, path));
    const std::vector<std::string> shown = TakeShownPrompts();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind("Cannot write the export file " + path + ".\n", 0), 0u) << shown[0];
    EXPECT_GT(shown[0].size(), ("Cannot write the export file " + path + ".\n").size());  // and why
}

TEST(ExportEndTime, LocalDateAndTimeApart) {
    setenv("TZ", "America/Los_Angeles", 1);
    tzset();
    EXPECT_EQ(ExportEndTime(kStart), "03/04/24 02:20:30");
    EXPECT_EQ(ExportEndTime(0), "");
    setenv("TZ", "UTC", 1);
    tzset();
}

}  // namespace
}  // namespace bexora::test
