// bexora-cli dump and rewrite: the text scripts read, and files written
// exactly as the program saves them.

#include <gtest/gtest.h>

#include "base/AtomicFile.h"
#include "model/ebayDoc.h"
#include "support/RunProcess.h"
#include "support/TempDir.h"

using bexora::test::RunProcess;

namespace {

const std::string kCli = BEXORA_CLI;

std::string ReadFile(const std::string& path) {
    std::string bytes;
    EXPECT_TRUE(bexora::ReadWholeFile(path, bytes));
    return bytes;
}

std::string SaveList(bexora::CebayDoc& doc, const std::string& path) {
    EXPECT_TRUE(doc.OnSaveDocument(path));
    return ReadFile(path);
}

TEST(ModelCli, DumpPrintsEveryFieldAndGroup) {
    bexora::test::TempDir dir;
    bexora::CebayDoc doc;
    auto item = std::make_unique<bexora::CItem>();
    item->m_strItemNumber = "110012345678";
    item->m_strTitle = "C:\\clock\nline two";
    item->m_strCurrentPrice = "$12.50";
    item->m_strPassword = "pw";
    item->m_tEndTime = 1700000000;
    item->m_bBidPending = 1;
    item->m_tBidTime = -1;
    item->m_strBidGroup = "lamps";
    doc.AddItem(std::move(item));
    doc.AddItem(std::make_unique<bexora::CItem>());
    doc.BidGroups().JoinGroup("lamps", 2);
    const std::string path = dir.File("a.bid");
    SaveList(doc, path);

    auto r = RunProcess(kCli, {"dump", path});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const std::string first =
        "[item 1]\n"
        "m_strItemNumber=110012345678\n"
        "m_strTitle=C:\\\\clock\\nline two\n"
        "m_strCurrentPrice=$12.50\n"
        "m_strShipping=N/A\n"
        "m_strQuantity=N/A\n"
        "m_strBidCount=N/A\n"
        "m_strTimeLeft=N/A\n"
        "m_strMyBid=N/A\n"
        "m_bHighBidder=0\n"
        "m_strUserId=\n"
        "m_strPassword=********\n"
        "m_nBidQuantity=0\n"
        "m_tEndTime=1700000000\n"
        "m_bChanged=0\n"
        "m_bFresh=0\n"
        "m_strMessages=\n"
        "m_strReserved=\n"
        "m_strBidGroup=lamps\n"
        "m_strMinBid=\n"
        "m_bBidPending=1\n"
        "m_tBidTime=-1\n"
        "m_bNotified=0\n"
        "m_bUpdateFailed=0\n"
        "m_strSeller=N/A\n"
        "m_strFeedback=N/A\n"
        "m_strPercent=N/A\n"
        "m_strNote=\n";
    ASSERT_EQ(r.out.rfind("items=2\n" + first + "[item 2]\nm_strItemNumber=N/A\n", 0), 0u) << r.out;
    const std::string tail = "groups=1\n[group 1]\nm_strName=lamps\nm_nWanted=2\nm_nMembers=1\n";
    ASSERT_GE(r.out.size(), tail.size());
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);

    // The password shows only when asked for, and nowhere else in the text.
    EXPECT_EQ(r.out.find("=pw\n"), std::string::npos);
    auto shown = RunProcess(kCli, {"dump", "--show-passwords", path});
    EXPECT_EQ(shown.status, 0);
    EXPECT_NE(shown.out.find("\nm_strPassword=pw\n"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("\nm_strPassword=\n"), std::string::npos);  // item 2 has none
    EXPECT_NE(r.out.find("\nm_strPassword=\n"), std::string::npos);      // none is not masked

    bexora::CebayDoc empty;
    SaveList(empty, dir.File("empty.bid"));
    EXPECT_EQ(RunProcess(kCli, {"dump", dir.File("empty.bid")}).out, "items=0\ngroups=0\n");
}

TEST(ModelCli, DumpReportsMessagesAndBadFiles) {
    bexora::test::TempDir dir;
    // One item of an unknown schema, no group section.
    bexora::CItem item;
    std::string record;
    {
        bexora::CArchive ar(bexora::CArchive::store, record);
        item.Serialize(ar);
    }
    const size_t tail = 4 * 4 + 1;  // percent, feedback, seller, group ("\x03N/A"), note ("\0")
    std::string bytes = std::string("\x01\x00\xFF\xFF\x09\x00\x05\x00", 8) + "CItem" +
                        record.substr(0, record.size() - tail);
    const std::string path = dir.File("odd.bid");
    ASSERT_TRUE(bexora::AtomicWriteFile(path, bytes));
    auto r = RunProcess(kCli, {"dump", path});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "message: Unknown file format\n");
    EXPECT_EQ(r.out.rfind("items=1\n", 0), 0u);

    // Cut inside the items: cannot be opened.
    ASSERT_TRUE(bexora::AtomicWriteFile(path, bytes.substr(0, 30)));
    r = RunProcess(kCli, {"dump", path});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("odd.bid"), std::string::npos);
    EXPECT_EQ(r.out, "");

    r = RunProcess(kCli, {"dump", dir.File("none.bid")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("none.bid"), std::string::npos);
    EXPECT_EQ(RunProcess(kCli, {"dump"}).status, 2);
    EXPECT_EQ(RunProcess(kCli, {"rewrite", path}).status, 2);

    auto help = RunProcess(kCli, {"--help"});
    EXPECT_NE(help.out.find("dump FILE.bid"), std::string::npos);
    EXPECT_NE(help.out.find("rewrite IN.bid OUT.bid"), std::string::npos);
}

TEST(ModelCli, RewriteIsByteIdentical) {
    bexora::test::TempDir dir;
    bexora::CebayDoc doc;
    for (int i = 0; i < 3; ++i) {
        auto item = std::make_unique<bexora::CItem>();
        item->m_strItemNumber = std::to_string(100 + i);
        item->m_strPassword = std::string(80 + i, 'p');  // longer than the usual limit
        item->m_strNote = std::string(400, 'n');
        doc.AddItem(std::move(item));
    }
    doc.BidGroups().JoinGroup("a", 1);
    doc.BidGroups().JoinGroup("b", 3);
    const std::string in = dir.File("in.bid"), out = dir.File("out.bid");
    const std::string original = SaveList(doc, in);

    auto r = RunProcess(kCli, {"rewrite", in, out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(out), original);

    // Into a folder that is not there: the reason, and exit 1.
    r = RunProcess(kCli, {"rewrite", in, dir.File("no/such.bid")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("such.bid"), std::string::npos);
}

}  // namespace
