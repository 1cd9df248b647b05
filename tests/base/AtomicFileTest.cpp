#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "base/AtomicFile.h"
#include "base/Clock.h"
#include "base/Prompt.h"

namespace bexora {
namespace {

namespace fs = std::filesystem;

class AtomicFileTest : public testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = testing::TempDir() + "/bexora-atomic-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        m_dir = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(m_dir, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_dir, ec);
    }
    std::vector<std::string> Entries(const std::string& dir) {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string m_dir;
};

TEST_F(AtomicFileTest, WritesReplacesAndLeavesNoTemporaryFile) {
    std::string path = m_dir + "/list.bid";
    std::string bytes("a\0b\r\n\xff", 6);
    std::string error = "untouched";
    ASSERT_TRUE(AtomicWriteFile(path, bytes, 0600, &error));
    std::string back;
    ASSERT_TRUE(ReadWholeFile(path, back));
    EXPECT_EQ(back, bytes);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    ASSERT_TRUE(AtomicWriteFile(path, "second", 0644));
    ASSERT_TRUE(ReadWholeFile(path, back));
    EXPECT_EQ(back, "second");
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);  // the mode asked for, not the umask's
    ASSERT_TRUE(AtomicWriteFile(path, ""));
    ASSERT_TRUE(ReadWholeFile(path, back));
    EXPECT_EQ(back, "");
    EXPECT_EQ(Entries(m_dir), std::vector<std::string>{"list.bid"});
}

TEST_F(AtomicFileTest, FailureLeavesTheOldFileAndSaysWhy) {
    std::string error;
    EXPECT_FALSE(AtomicWriteFile(m_dir + "/missing/x.ini", "data", 0600, &error));
    EXPECT_NE(error.find("missing"), std::string::npos) << error;
    EXPECT_EQ(Entries(m_dir), std::vector<std::string>{});

    // A folder in the way of the rename: the temporary file must not stay.
    ASSERT_TRUE(MakeDirs(m_dir + "/taken"));
    error.clear();
    EXPECT_FALSE(AtomicWriteFile(m_dir + "/taken", "data", 0600, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(fs::is_directory(m_dir + "/taken"));
    EXPECT_EQ(Entries(m_dir), std::vector<std::string>{"taken"});

    if (geteuid() != 0) {  // permissions do not stop root
        std::string path = m_dir + "/ro/keep.ini";
        ASSERT_TRUE(MakeDirs(m_dir + "/ro"));
        ASSERT_TRUE(AtomicWriteFile(path, "old"));
        chmod((m_dir + "/ro").c_str(), 0500);
        EXPECT_FALSE(AtomicWriteFile(path, "new", 0600, &error));
        std::string back;
        ASSERT_TRUE(ReadWholeFile(path, back));
        EXPECT_EQ(back, "old");
        EXPECT_EQ(Entries(m_dir + "/ro"), std::vector<std::string>{"keep.ini"});
    }
}

TEST_F(AtomicFileTest, ReadAndFolderHelpers) {
    std::string out = "kept", error;
    EXPECT_FALSE(ReadWholeFile(m_dir + "/none", out, &error));
    EXPECT_FALSE(error.empty());

    std::string big(200000, 'x');
    big[150000] = '\0';
    ASSERT_TRUE(AtomicWriteFile(m_dir + "/big", big));
    ASSERT_TRUE(ReadWholeFile(m_dir + "/big", out));
    EXPECT_EQ(out, big);  // more than one read's worth, NUL included

    std::string deep = m_dir + "/a b/c/d";
    EXPECT_TRUE(MakeDirs(deep, 0700));
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_TRUE(MakeDirs(deep));  // already there
    EXPECT_FALSE(MakeDirs(m_dir + "/big/sub"));
    EXPECT_FALSE(MakeDirs(m_dir + "/big"));

    EXPECT_EQ(DirName("file.ini"), ".");
    EXPECT_EQ(DirName("/file.ini"), "/");
    EXPECT_EQ(DirName("/home/ann/Halvane Co./Bexora.ini"), "/home/ann/Halvane Co.");
}

TEST_F(AtomicFileTest, WritingThroughALinkKeepsTheLinkAndReplacesItsTarget) {
    // The list lives in another folder; the user keeps a relative link to it,
    // and a link to that link.
    ASSERT_TRUE(MakeDirs(m_dir + "/store"));
    const std::string target = m_dir + "/store/list.bid";
    ASSERT_TRUE(AtomicWriteFile(target, "old", 0600));
    ASSERT_EQ(symlink("store/list.bid", (m_dir + "/link.bid").c_str()), 0);
    ASSERT_EQ(symlink((m_dir + "/link.bid").c_str(), (m_dir + "/second.bid").c_str()), 0);

    std::string resolved, error;
    ASSERT_TRUE(ResolveLinks(m_dir + "/second.bid", resolved, &error)) << error;
    EXPECT_EQ(fs::canonical(resolved), fs::canonical(target));

    for (const char* name : {"/link.bid", "/second.bid"}) {
        ASSERT_TRUE(AtomicWriteThroughLink(m_dir + name, name, 0600, &error)) << error;
        EXPECT_TRUE(fs::is_symlink(m_dir + name)) << name;
        std::string back;
        ASSERT_TRUE(ReadWholeFile(target, back));
        EXPECT_EQ(back, name);
    }
    // The temporary file went beside the target, and nothing is left over.
    EXPECT_EQ(Entries(m_dir + "/store"), std::vector<std::string>{"list.bid"});
    EXPECT_EQ(Entries(m_dir), (std::vector<std::string>{"link.bid", "second.bid", "store"}));

    // A link whose target is not there yet: the target is made.
    ASSERT_EQ(symlink("store/new.bid", (m_dir + "/dangling.bid").c_str()), 0);
    ASSERT_TRUE(AtomicWriteThroughLink(m_dir + "/dangling.bid", "new", 0600));
    EXPECT_TRUE(fs::is_symlink(m_dir + "/dangling.bid"));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(m_dir + "/store/new.bid")));

    // A loop is an error, and leaves everything as it was.
    ASSERT_EQ(symlink("loop-b", (m_dir + "/loop-a").c_str()), 0);
    ASSERT_EQ(symlink("loop-a", (m_dir + "/loop-b").c_str()), 0);
    error.clear();
    EXPECT_FALSE(AtomicWriteThroughLink(m_dir + "/loop-a", "x", 0600, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(fs::is_symlink(m_dir + "/loop-a"));

    // The plain writer still replaces a link with a file of its own (page
    // files in a shared folder must not be written through a planted link).
    ASSERT_TRUE(AtomicWriteFile(m_dir + "/link.bid", "plain"));
    EXPECT_FALSE(fs::is_symlink(m_dir + "/link.bid"));
    std::string back;
    ASSERT_TRUE(ReadWholeFile(target, back));
    EXPECT_EQ(back, "/second.bid");
}

TEST_F(AtomicFileTest, BoundedReadTakesOnlyRegularFilesUpToTheBound) {
    std::string out, error;
    ASSERT_TRUE(AtomicWriteFile(m_dir + "/ten", "0123456789"));
    EXPECT_TRUE(ReadRegularFile(m_dir + "/ten", out, 10, &error)) << error;
    EXPECT_EQ(out, "0123456789");
    EXPECT_FALSE(ReadRegularFile(m_dir + "/ten", out, 9, &error));
    EXPECT_NE(error.find("too large"), std::string::npos) << error;

    // A FIFO with no writer is refused at once instead of waiting forever.
    ASSERT_EQ(mkfifo((m_dir + "/fifo").c_str(), 0600), 0);
    EXPECT_FALSE(ReadRegularFile(m_dir + "/fifo", out, 1000, &error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    // A device that never ends, and a folder.
    EXPECT_FALSE(ReadRegularFile("/dev/zero", out, 1000, &error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_FALSE(ReadRegularFile(m_dir, out, 1000, &error));
    EXPECT_FALSE(ReadRegularFile(m_dir + "/none", out, 1000, &error));
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
}

class CountingHandler : public IPromptHandler {
public:
    PromptAnswer Ask(const std::string& text, PromptButtons, PromptIcon) override {
        m_texts.push_back(text);
        return PromptAnswer::No;
    }
    std::vector<std::string> m_texts;
};

TEST(PromptTest, QueuedAnswersComeFirstThenTheHandlerThenTheFirstButton) {
    TakeShownPrompts();
    CountingHandler handler;
    SetPromptHandler(&handler);
    QueuePromptAnswer(PromptAnswer::Cancel);
    QueuePromptAnswer(PromptAnswer::Yes);
    EXPECT_EQ(ShowPrompt("one", PromptButtons::OkCancel), PromptAnswer::Cancel);
    EXPECT_EQ(ShowPrompt("two", PromptButtons::YesNo), PromptAnswer::Yes);
    EXPECT_EQ(ShowPrompt("three", PromptButtons::YesNo), PromptAnswer::No);
    EXPECT_EQ(handler.m_texts, std::vector<std::string>{"three"});
    SetPromptHandler(nullptr);
    EXPECT_EQ(ShowPrompt("four", PromptButtons::YesNoCancel), PromptAnswer::Yes);
    EXPECT_EQ(ShowPrompt("five"), PromptAnswer::Ok);
    EXPECT_EQ(TakeShownPrompts(),
              (std::vector<std::string>{"one", "two", "three", "four", "five"}));
    EXPECT_TRUE(TakeShownPrompts().empty());
}

TEST(ClockTest, ManualClockReplacesTheSystemClock) {
    CManualClock manual(1'700'000'000'500);
    SetClock(&manual);
    EXPECT_EQ(LocalNow(), 1'700'000'000);
    manual.Advance(90);
    EXPECT_EQ(LocalNow(), 1'700'000'090);
    manual.SetMs(-1);  // before 1970 rounds down, not towards zero
    EXPECT_EQ(LocalNow(), -1);
    SetClock(nullptr);
    EXPECT_NEAR(static_cast<double>(LocalNow()), static_cast<double>(std::time(nullptr)), 2.0);
}

}  // namespace
}  // namespace bexora
