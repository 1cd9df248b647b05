// The item-list document: the .bid bytes, opening good and bad files, new
// list names, saving without asking, the close question, and saves that
// fail or are cut short.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "base/AtomicFile.h"
#include "base/Prompt.h"
#include "base/Settings.h"
#include "model/ebayDoc.h"
#include "support/TempDir.h"

namespace bexora {
namespace {

using test::TempDir;

class FakeView : public IItemListView {
public:
    std::vector<CItem*> GetRowItems() const override { return m_rows; }
    CBidGroupList& GetBidGroups() override { return m_groups; }
    std::vector<CItem*> m_rows;
    CBidGroupList m_groups;
};

std::unique_ptr<CItem> MakeItem(const std::string& number, bool pending = false) {
    auto it = std::make_unique<CItem>();
    it->m_strItemNumber = number;
    it->m_strTitle = "Item " + number;
    it->m_strPassword = "pw" + number;
    it->m_bBidPending = pending;
    return it;
}

std::string Record(CItem& item) {
    std::string bytes;
    CArchive ar(CArchive::store, bytes);
    item.Serialize(ar);
    return bytes;
}

// Answers every message with its first button, without a word.
class QuietPrompts : public IPromptHandler {
public:
    PromptAnswer Ask(const std::string&, PromptButtons buttons, PromptIcon) override {
        return buttons == PromptButtons::YesNo || buttons == PromptButtons::YesNoCancel
                   ? PromptAnswer::Yes
                   : PromptAnswer::Ok;
    }
};

class Document : public ::testing::Test {
protected:
    void SetUp() override {
        SetSettingsPath(m_dir.File("settings.ini"));
        SetPromptHandler(&m_prompts);
        TakeShownPrompts();
    }
    void TearDown() override {
        SetSettingsPath("");
        // No answer may be left queued for the next test.
        while (ShowPrompt("drain", PromptButtons::YesNo) != PromptAnswer::Yes) {
        }
        SetPromptHandler(nullptr);
        TakeShownPrompts();
    }
    QuietPrompts m_prompts;
    std::string Read(const std::string& path) {
        std::string bytes;
        EXPECT_TRUE(ReadWholeFile(path, bytes));
        return bytes;
    }
    TempDir m_dir;
};

TEST_F(Document, FileBytesOfTwoItemsAndAGroup) {
    CebayDoc doc;
    CItem* a = doc.AddItem(MakeItem("111"));
    CItem* b = doc.AddItem(MakeItem("222"));
    doc.BidGroups().JoinGroup("G", 1);

    const std::string expected = std::string("\x02\x00\xFF\xFF\x03\x00\x05\x00", 8) + "CItem" +
                                 Record(*a) + std::string("\x01\x80", 2) + Record(*b) +
                                 std::string("\x01\x00\xFF\xFF\x02\x00\x09\x00", 8) + "CBidGroup" +
                                 std::string("\x01G\x01\x00\x00\x00\x01\x00\x00\x00", 10);
    const std::string path = m_dir.File("two.bid");
    ASSERT_TRUE(doc.OnSaveDocument(path));
    EXPECT_EQ(Read(path), expected);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);  // it holds passwords

    // With no items, "CBidGroup" is class number 1 and a second group is 01 80.
    CebayDoc groupsOnly;
    groupsOnly.BidGroups().JoinGroup("x", 1);
    groupsOnly.BidGroups().JoinGroup("y", 1);
    const std::string g = groupsOnly.StoreToBytes();
    EXPECT_EQ(g.substr(0, 4), std::string("\x00\x00\x02\x00", 4));
    EXPECT_NE(g.find(std::string("\x01\x80\x01x", 4)), std::string::npos);

    CebayDoc empty;
    EXPECT_EQ(empty.StoreToBytes(), std::string(4, '\0'));

    CebayDoc back;
    ASSERT_TRUE(back.OnOpenDocument(path));
    ASSERT_EQ(back.Items().size(), 2u);
    EXPECT_EQ(back.Items()[0]->m_strItemNumber, "111");
    EXPECT_EQ(back.Items()[1]->m_strPassword, "pw222");
    ASSERT_NE(back.BidGroups().FindGroup("G"), nullptr);
    EXPECT_EQ(back.GetTitle(), "two.bid");
    EXPECT_EQ(back.GetPathName(), path);
    EXPECT_TRUE(TakeShownPrompts().empty());
}

TEST_F(Document, SavesInRowOrderAndGroupsOfTheView) {
    CebayDoc doc;
    FakeView view;
    CItem* a = doc.AddItem(MakeItem("1"));
    CItem* b = doc.AddItem(MakeItem("2", true));
    CItem* c = doc.AddItem(MakeItem("3"));
    doc.SetListView(&view);
    view.m_rows = {c, a};  // b is not shown: kept after the rows, not lost
    view.m_groups.JoinGroup("view group", 2);
    doc.BidGroups();
    EXPECT_TRUE(doc.RebuildItemList());
    ASSERT_EQ(doc.Items().size(), 3u);
    EXPECT_EQ(doc.Items()[0].get(), c);
    EXPECT_EQ(doc.Items()[1].get(), a);
    EXPECT_EQ(doc.Items()[2].get(), b);

    const std::string path = m_dir.File("order.bid");
    view.m_rows = {b, c, a};
    ASSERT_TRUE(doc.OnSaveDocument(path));
    CebayDoc back;
    FakeView backView;
    back.SetListView(&backView);
    ASSERT_TRUE(back.OnOpenDocument(path));
    ASSERT_EQ(back.Items().size(), 3u);
    EXPECT_EQ(back.Items()[0]->m_strItemNumber, "2");
    EXPECT_EQ(back.Items()[2]->m_strItemNumber, "1");
    EXPECT_NE(backView.m_groups.FindGroup("view group"), nullptr);

    EXPECT_TRUE(doc.DeleteItem(b));
    EXPECT_FALSE(doc.DeleteItem(b));
    view.m_rows = {c, a};
    EXPECT_FALSE(doc.RebuildItemList());
}

TEST_F(Document, OpensOldAndDamagedFiles) {
    CebayDoc two;
    two.AddItem(MakeItem("1"));
    two.AddItem(MakeItem("2"));
    two.BidGroups().JoinGroup("G", 1);
    two.BidGroups().JoinGroup("H", 1);
    const std::string full = two.StoreToBytes();
    const size_t groups = full.find(std::string("\x02\x00\xFF\xFF\x02\x00", 6));
    ASSERT_NE(groups, std::string::npos);

    auto open = [&](const std::string& bytes, CebayDoc& doc) {
        const std::string path = m_dir.File("in.bid");
        EXPECT_TRUE(AtomicWriteFile(path, bytes));
        return doc.OnOpenDocument(path);
    };

    // Only the item section (a file from before bid groups).
    CebayDoc old;
    ASSERT_TRUE(open(full.substr(0, groups), old));
    EXPECT_EQ(old.Items().size(), 2u);
    EXPECT_TRUE(old.BidGroups().IsEmpty());

    // A group section cut inside its second group keeps the first.
    CebayDoc cut;
    ASSERT_TRUE(open(full.substr(0, full.size() - 3), cut));
    EXPECT_EQ(cut.Items().size(), 2u);
    EXPECT_EQ(cut.BidGroups().GetCount(), 1u);
    // Garbage after the items opens too.
    CebayDoc junk;
    ASSERT_TRUE(open(full.substr(0, groups) + "\x05\x00\x13\x37", junk));
    EXPECT_TRUE(junk.BidGroups().IsEmpty());
    EXPECT_TRUE(TakeShownPrompts().empty());

    // The item section cut anywhere: the open fails with a message naming the
    // file, and the document keeps what it had.
    CebayDoc doc;
    doc.AddItem(MakeItem("keep"));
    doc.SetPathName(m_dir.File("keep.bid"));
    for (size_t end : {size_t(0), size_t(1), size_t(2), groups / 2, groups - 1}) {
        EXPECT_FALSE(open(full.substr(0, end), doc)) << end;
        auto shown = TakeShownPrompts();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_NE(shown[0].find("in.bid"), std::string::npos);
        ASSERT_EQ(doc.Items().size(), 1u);
        EXPECT_EQ(doc.Items()[0]->m_strItemNumber, "keep");
        EXPECT_EQ(doc.GetTitle(), "keep.bid");
    }
    // A file that is not there.
    EXPECT_FALSE(doc.OnOpenDocument(m_dir.File("missing.bid")));
    auto shown = TakeShownPrompts();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("missing.bid"), std::string::npos);
    EXPECT_NE(shown[0].find("No such file"), std::string::npos);
}

TEST_F(Document, OnlyRegularFilesOfASaneSizeOpen) {
    CebayDoc doc;
    doc.AddItem(MakeItem("keep"));
    auto refused = [&](const std::string& path, const std::string& reason) {
        EXPECT_FALSE(doc.OnOpenDocument(path)) << path;
        auto shown = TakeShownPrompts();
        ASSERT_EQ(shown.size(), 1u) << path;
        EXPECT_NE(shown[0].find(path), std::string::npos) << shown[0];
        EXPECT_NE(shown[0].find(reason), std::string::npos) << shown[0];
        ASSERT_EQ(doc.Items().size(), 1u);
    };

    // A FIFO is refused at once. (Were it opened, a writer that turns up a
    // moment later would hand it a good list.)
    const std::string fifo = m_dir.File("fifo.bid");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    CebayDoc good;
    good.AddItem(MakeItem("1"));
    const std::string bytes = good.StoreToBytes();
    std::thread writer([&] {
        for (int i = 0; i < 100; ++i) {
            int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                (void)!write(fd, bytes.data(), bytes.size());
                close(fd);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    refused(fifo, "not a regular file");
    writer.join();
    refused("/dev/null", "not a regular file");
    refused(m_dir.Path(), "not a regular file");

    // Past the bound nothing is read (a sparse file costs no disk).
    const std::string huge = m_dir.File("huge.bid");
    ASSERT_TRUE(AtomicWriteFile(huge, bytes));
    ASSERT_EQ(truncate(huge.c_str(), off_t(CebayDoc::kMaxFileBytes) + 1), 0);
    refused(huge, "too large");
}

TEST_F(Document, AListOfTooManyItemsFailsWithAMessage) {
    // Tiny records: a bare item stores in about a hundred bytes but takes far
    // more in memory, so millions of them would exhaust it at every start.
    auto listOf = [](uint32_t n) {
        CebayDoc doc;
        for (uint32_t i = 0; i < n; ++i) doc.AddItem(std::make_unique<CItem>());
        return doc.StoreToBytes();
    };
    const std::string path = m_dir.File("many.bid");
    ASSERT_TRUE(AtomicWriteFile(path, listOf(CebayDoc::kMaxItems + 1)));
    CebayDoc doc;
    EXPECT_FALSE(doc.OnOpenDocument(path));
    auto shown = TakeShownPrompts();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("The list holds 100001 items; at most 100000 can be opened."),
              std::string::npos)
        << shown[0];
    EXPECT_TRUE(doc.Items().empty());

    // A count alone claiming billions is refused before any item is read.
    std::string claim("\xFF\xFF\xFF\xFF\xFF\x7F", 6);
    ASSERT_TRUE(AtomicWriteFile(path, claim));
    EXPECT_FALSE(doc.OnOpenDocument(path));
    shown = TakeShownPrompts();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("The list holds 2147483647 items"), std::string::npos) << shown[0];

    // The largest list opens.
    ASSERT_TRUE(AtomicWriteFile(path, listOf(CebayDoc::kMaxItems)));
    EXPECT_TRUE(doc.OnOpenDocument(path));
    EXPECT_EQ(doc.Items().size(), CebayDoc::kMaxItems);
    EXPECT_TRUE(TakeShownPrompts().empty());
}

TEST_F(Document, SavingASymlinkedListKeepsTheLink) {
    std::filesystem::create_directory(m_dir.File("synced"));
    const std::string real = m_dir.File("synced/auctions.bid");
    const std::string link = m_dir.File("auctions.bid");
    ASSERT_EQ(symlink("synced/auctions.bid", link.c_str()), 0);

    CebayDoc doc;
    doc.AddItem(MakeItem("1"));
    ASSERT_TRUE(doc.OnSaveDocument(link));  // the target is made by the first save
    doc.AddItem(MakeItem("2"));
    ASSERT_TRUE(doc.OnSaveDocument(link));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(doc.GetPathName(), link);
    EXPECT_EQ(Read(real), doc.StoreToBytes());
    struct stat st {};
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    CebayDoc again;
    ASSERT_TRUE(again.OnOpenDocument(link));
    EXPECT_EQ(again.Items().size(), 2u);
}

TEST_F(Document, NewListNames) {
    const std::string work = m_dir.File("work");
    ASSERT_TRUE(MakeDirs(work));
    // An empty work folder becomes the current directory, stored.
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(work);
    CebayDoc first;
    first.AddItem(MakeItem("old"));
    ASSERT_TRUE(first.OnNewDocument());
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(first.Items().empty());
    EXPECT_EQ(first.GetTitle(), "bexora1.bid");
    EXPECT_EQ(Settings().GetString(setting::WorkDir), std::filesystem::canonical(work).string());
    EXPECT_EQ(first.GetPathName(), std::filesystem::canonical(work).string() + "/bexora1.bid");
    EXPECT_FALSE(std::filesystem::exists(first.GetPathName()));  // written by the first save

    for (int n = 2; n <= 30; ++n) {
        CebayDoc doc;
        doc.OnNewDocument();
        EXPECT_EQ(doc.GetTitle(), "bexora" + std::to_string(n) + ".bid");
    }
    CebayDoc again;
    again.OnNewDocument();
    EXPECT_EQ(again.GetTitle(), "bexora1.bid");

    Settings().WriteInt(setting::NextFile, 45);
    Settings().WriteString(setting::WorkDir, "/srv/lists/");
    CebayDoc odd;
    odd.OnNewDocument();
    EXPECT_EQ(odd.GetTitle(), "bexora45.bid");
    EXPECT_EQ(odd.GetPathName(), "/srv/lists/bexora45.bid");
    EXPECT_EQ(Settings().GetInt(setting::NextFile), 1);

    // A name whose list is there, or whose lock a running list holds, is
    // passed over: a new list never overwrites another.
    Settings().WriteString(setting::WorkDir, work);
    Settings().WriteInt(setting::NextFile, 2);
    ASSERT_TRUE(AtomicWriteFile(work + "/bexora2.bid", "a list"));
    ASSERT_TRUE(AtomicWriteFile(work + "/bexora3.bid.lock", "bexora-cli run (process 1)\n"));
    CebayDoc fresh;
    fresh.OnNewDocument();
    EXPECT_EQ(fresh.GetTitle(), "bexora4.bid");
    EXPECT_EQ(Settings().GetInt(setting::NextFile), 5);
}

TEST_F(Document, AutoSaveAndTheCloseQuestion) {
    Settings().WriteString(setting::WorkDir, m_dir.Path());
    CebayDoc doc;
    doc.OnNewDocument();
    doc.AddItem(MakeItem("1"));
    EXPECT_FALSE(doc.AutoSave());
    EXPECT_TRUE(doc.LastSaveSucceeded());
    EXPECT_EQ(Read(m_dir.File("bexora1.bid")), doc.StoreToBytes());

    // No pending bid: closes without a word, saved.
    EXPECT_TRUE(doc.CanCloseDocument(false));
    EXPECT_TRUE(TakeShownPrompts().empty());

    CItem* pending = doc.AddItem(MakeItem("2", true));
    EXPECT_TRUE(doc.AutoSave());
    QueuePromptAnswer(PromptAnswer::No);
    EXPECT_FALSE(doc.CanCloseDocument(false));
    EXPECT_EQ(TakeShownPrompts(), std::vector<std::string>{CebayDoc::kPendingQuestion});
    CebayDoc saved;
    ASSERT_TRUE(saved.OnOpenDocument(m_dir.File("bexora1.bid")));
    EXPECT_EQ(saved.Items().size(), 2u);  // already saved when asked

    QueuePromptAnswer(PromptAnswer::Yes);
    EXPECT_TRUE(doc.CanCloseDocument(false));
    EXPECT_EQ(TakeShownPrompts().size(), 1u);

    // Windows logging off, or the question switched off: close at once.
    EXPECT_TRUE(doc.CanCloseDocument(true));
    Settings().WriteInt(setting::PromptPending, 0);
    EXPECT_TRUE(doc.CanCloseDocument(false));
    EXPECT_TRUE(TakeShownPrompts().empty());

    pending->ClearPendingBid();
    Settings().WriteInt(setting::PromptPending, 1);
    EXPECT_TRUE(doc.CanCloseDocument(false));
    EXPECT_TRUE(TakeShownPrompts().empty());

    // A document without a path saves into the work folder under its title.
    CebayDoc untitled;
    untitled.SetTitle("mylist");
    untitled.AutoSave();
    EXPECT_TRUE(std::filesystem::exists(m_dir.File("mylist.bid")));
}

TEST_F(Document, FailedSavesAreReportedAndRetried) {
    CebayDoc doc;
    doc.AddItem(MakeItem("1"));
    const std::string dir = m_dir.File("later");
    const std::string path = dir + "/list.bid";
    doc.SetPathName(path);
    EXPECT_FALSE(doc.AutoSave());
    EXPECT_FALSE(doc.LastSaveSucceeded());
    auto shown = TakeShownPrompts();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find(path), std::string::npos);
    EXPECT_EQ(doc.Items().size(), 1u);

    // Closing now would lose the list: the user decides.
    QueuePromptAnswer(PromptAnswer::Ok);  // the save's message again
    QueuePromptAnswer(PromptAnswer::No);
    EXPECT_FALSE(doc.CanCloseDocument(false));
    shown = TakeShownPrompts();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1], CebayDoc::kCloseUnsavedQuestion);

    ASSERT_TRUE(MakeDirs(dir));
    doc.AutoSave();
    EXPECT_TRUE(doc.LastSaveSucceeded());
    EXPECT_TRUE(doc.CanCloseDocument(false));

    // A list the user made read-only is not replaced behind their back.
    if (geteuid() != 0) {
        const std::string before = Read(path);
        chmod(path.c_str(), 0400);
        doc.AddItem(MakeItem("2"));
        EXPECT_FALSE(doc.OnSaveDocument(path));
        EXPECT_EQ(Read(path), before);
        chmod(path.c_str(), 0600);
    }
}

TEST_F(Document, SaveCutShortAtAnyByteKeepsTheOldFile) {
    CebayDoc doc;
    doc.AddItem(MakeItem("1"));
    doc.AddItem(MakeItem("2", true));
    doc.BidGroups().JoinGroup("G", 1);
    const std::string path = m_dir.File("list.bid");
    ASSERT_TRUE(doc.OnSaveDocument(path));
    const std::string old = Read(path);

    doc.AddItem(MakeItem("3"));
    const std::string next = doc.StoreToBytes();
    ASSERT_GT(next.size(), old.size());

    // The file size limit makes every write beyond byte k fail, as a full
    // disk would.
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &previous);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    for (size_t k = 0; k < next.size(); ++k) {
        rlimit limit = saved;
        limit.rlim_cur = k;
        setrlimit(RLIMIT_FSIZE, &limit);
        const bool ok = doc.OnSaveDocument(path);
        setrlimit(RLIMIT_FSIZE, &saved);
        ASSERT_FALSE(ok) << k;
        ASSERT_EQ(Read(path), old) << k;
    }
    sigaction(SIGXFSZ, &previous, nullptr);
    EXPECT_EQ(TakeShownPrompts().size(), next.size());

    // Nothing left lying about, and the old file still opens.
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(m_dir.Path()))
        files += e.path().filename().string().rfind("list.bid", 0) == 0;
    EXPECT_EQ(files, 1u);
    CebayDoc back;
    ASSERT_TRUE(back.OnOpenDocument(path));
    EXPECT_EQ(back.Items().size(), 2u);

    ASSERT_TRUE(doc.OnSaveDocument(path));
    EXPECT_EQ(Read(path), next);
}

}  // namespace
}  // namespace bexora
