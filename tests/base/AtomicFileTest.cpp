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
