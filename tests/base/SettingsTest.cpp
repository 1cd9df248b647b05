#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <thread>

#include "base/AtomicFile.h"
#include "base/Prompt.h"
#include "base/Settings.h"

namespace bexora {
namespace {

namespace fs = std::filesystem;

class SettingsTest : public testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = testing::TempDir() + "/bexora-settings-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        m_dir = tmpl;
        m_path = m_dir + "/Halvane Co./Bexora.ini";
        TakeShownPrompts();
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(m_dir, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_dir, ec);
    }

    void WriteRaw(const std::string& text) {
        MakeDirs(DirName(m_path));
        std::ofstream(m_path, std::ios::binary | std::ios::trunc) << text;
    }
    std::string ReadRaw(const std::string& path) {
        std::string out;
        ReadWholeFile(path, out);
        return out;
    }
    unsigned ModeOf(const std::string& path) {
        struct stat st {};
        stat(path.c_str(), &st);
        return st.st_mode & 0777;
    }

    std::string m_dir, m_path;
};

TEST_F(SettingsTest, FirstStartReadsTheTableDefaultsAndWritesNothing) {
    CSettingsStore s(m_path);
    EXPECT_EQ(s.GetInt(setting::LoadSave), 1);
    EXPECT_EQ(s.GetInt(setting::UpdateMin), 30);
    EXPECT_EQ(s.GetInt(setting::BidSec), 15);
    EXPECT_EQ(s.GetInt(setting::MessageLevel), 1);
    EXPECT_EQ(s.GetInt(setting::UpdateEndHour), 1);
    EXPECT_EQ(s.GetInt(setting::NextFile), 1);
    EXPECT_EQ(s.GetInt(setting::ViewPos), 1);
    EXPECT_EQ(s.GetInt(setting::WindowWidth), 0);
    EXPECT_EQ(s.GetInt(setting::SettingsVersion), 0);
    EXPECT_EQ(s.GetString(setting::WorkDir), "");
    EXPECT_EQ(s.GetString(setting::Password), "");
    EXPECT_EQ(s.GetString(setting::SiteItemHost), "cgi.ebay.com");
    EXPECT_EQ(s.GetString(setting::SiteTimeHost), "cgi3.ebay.com");
    EXPECT_EQ(s.GetString(setting::SiteSignInHost), "signin.ebay.com");
    EXPECT_EQ(s.GetString(setting::SiteOfferHost), "offer.ebay.com");
    EXPECT_EQ(s.GetString(setting::SiteMyHost), "my.ebay.com");
    EXPECT_EQ(s.GetString(setting::SiteDomain), "ebay.com");
    EXPECT_EQ(s.GetString(setting::SiteCaFile), "");
    EXPECT_EQ(s.GetString(setting::HomepageLeftPanel), "http://www.ebay.com/");
    EXPECT_EQ(s.GetString(setting::UpdateUrl), "https://www.halvane.com/bexora/");
    std::vector<uint8_t> state{1, 2};
    EXPECT_FALSE(s.GetBinary(setting::WindowState, state));
    EXPECT_EQ(state, (std::vector<uint8_t>{1, 2}));
    EXPECT_FALSE(fs::exists(m_path));
    EXPECT_FALSE(fs::exists(DirName(m_path)));
}

TEST_F(SettingsTest, ComputedDefaultsFollowTheSiteSection) {
    WriteRaw(
        "[Site]\nSiteHomeUrl=http://127.0.0.1:8080/\nVendorSiteUrl=http://127.0.0.1:8081/vendor\n");
    CSettingsStore s(m_path);
    EXPECT_EQ(s.GetString(setting::HomepageLeftPanel), "http://127.0.0.1:8080/");
    EXPECT_EQ(s.GetString(setting::UpdateUrl), "http://127.0.0.1:8081/vendor/");
    ASSERT_TRUE(s.WriteString(setting::VendorSiteUrl, "http://127.0.0.1:8081/"));
    EXPECT_EQ(s.GetString(setting::UpdateUrl), "http://127.0.0.1:8081/");
    // A stored value beats the computed one.
    ASSERT_TRUE(s.WriteString(setting::HomepageLeftPanel, "http://example.org/"));
    EXPECT_EQ(s.GetString(setting::HomepageLeftPanel), "http://example.org/");
}

TEST_F(SettingsTest, TableNamesEachSettingOnce) {
    const auto& all = setting::All();
    EXPECT_EQ(all.size(), 57u);
    std::set<std::string> seen;
    for (const SettingDef* d : all) {
        std::string name = std::string(d->section) + "/" + d->key;
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_TRUE(seen.insert(name).second) << name;
        if (d->type != SettingType::Str) {
            EXPECT_EQ(d->strDefault, nullptr) << name;
        }
    }
}

TEST_F(SettingsTest, SectionsAndKeysMatchInAnyCaseAndKeepTheirSpelling) {
    WriteRaw("[PROGRAM EXIT]\nprompt PENDING = 0\n\n[Program Start]\nLoad Save=0\n");
    CSettingsStore s(m_path);
    EXPECT_EQ(s.GetProfileInt("Program exit", "Prompt pending", 1), 0);
    EXPECT_EQ(s.GetProfileInt("program exit", "prompt pending", 1), 0);
    EXPECT_EQ(s.GetProfileInt("program Start", "LOAD SAVE", 1), 0);

    ASSERT_TRUE(s.WriteProfileInt("Program Exit", "Prompt Pending", 5));
    ASSERT_TRUE(s.WriteProfileInt("program exit", "Save Window", 0));
    EXPECT_EQ(s.GetInt(setting::PromptPending), 5);
    EXPECT_EQ(s.GetInt(setting::SaveWindow), 0);
    std::string text = ReadRaw(m_path);
    EXPECT_NE(text.find("[PROGRAM EXIT]\nprompt PENDING=5\nSave Window=0\n"), std::string::npos)
        << text;
    EXPECT_EQ(text.find("[Program Exit]"), std::string::npos);
    EXPECT_EQ(text.find("[program exit]"), std::string::npos);
}

TEST_F(SettingsTest, AwkwardStringsRoundTripAndCannotForgeLines) {
    std::string high;
    for (int c = 0x80; c <= 0xff; ++c) high += static_cast<char>(c);
    std::string control;
    for (int c = 1; c < 0x20; ++c) control += static_cast<char>(c);
    control += '\x7f';
    const std::vector<std::string> values = {
        "",
        "line one\r\nline two\n",
        "  leading spaces",
        "trailing spaces  ",
        "   ",
        "\tTabbed\t",
        "key=value=more",
        "[Bid Dialog]",
        "; not a comment",
        "# nor this",
        "C:\\path\\x41\\n",
        "\\",
        "hex:00ff",
        "x\n[Bid Dialog]\nPassword=forged",
        high,
        control,
        std::string("nul\0inside", 10),
    };
    {
        CSettingsStore s(m_path);
        for (size_t i = 0; i < values.size(); ++i)
            ASSERT_TRUE(s.WriteProfileString("Strings", "v" + std::to_string(i), values[i])) << i;
        for (size_t i = 0; i < values.size(); ++i)
            EXPECT_EQ(s.GetProfileString("Strings", "v" + std::to_string(i), "?"), values[i]) << i;
    }
    CSettingsStore fresh(m_path);
    for (size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(fresh.GetProfileString("Strings", "v" + std::to_string(i), "?"), values[i]) << i;
    EXPECT_EQ(fresh.GetString(setting::Password), "");
    std::vector<uint8_t> bin;
    EXPECT_FALSE(fresh.GetProfileBinary("Strings", "v12", bin));
    // Header plus one line per value: nothing spilled onto lines of its own.
    std::string text = ReadRaw(m_path);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), static_cast<long>(values.size() + 1));
}

TEST_F(SettingsTest, IntegersAreStrictDecimal) {
    WriteRaw(
        "[N]\nplain=42\nspaced =   -7  \nword=abc\ntail=12x\nempty=\nhuge=99999999999\n"
        "hexnum=0x10\nplus=+3\nsign=-\n");
    CSettingsStore s(m_path);
    EXPECT_EQ(s.GetProfileInt("N", "plain", 1), 42);
    EXPECT_EQ(s.GetProfileInt("N", "spaced", 1), -7);
    EXPECT_EQ(s.GetProfileInt("N", "plus", 1), 3);
    for (const char* bad : {"word", "tail", "empty", "huge", "hexnum", "sign", "missing"})
        EXPECT_EQ(s.GetProfileInt("N", bad, 9), 9) << bad;
    ASSERT_TRUE(s.WriteProfileInt("N", "min", INT_MIN));
    ASSERT_TRUE(s.WriteProfileInt("N", "max", INT_MAX));
    EXPECT_EQ(s.GetProfileInt("N", "min", 0), INT_MIN);
    EXPECT_EQ(s.GetProfileInt("N", "max", 0), INT_MAX);
    // A string that happens to hold digits reads as a number, as callers expect
    // of text written by hand.
    ASSERT_TRUE(s.WriteProfileString("N", "text", "17"));
    EXPECT_EQ(s.GetProfileInt("N", "text", 0), 17);
}

TEST_F(SettingsTest, ByteBlocksRoundTripAsLowercaseHex) {
    std::vector<uint8_t> all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<uint8_t>(b));
    CSettingsStore s(m_path);
    ASSERT_TRUE(s.WriteBinary(setting::WindowState, all));
    ASSERT_TRUE(s.WriteProfileBinary("B", "empty", {}));
    std::vector<uint8_t> out;
    ASSERT_TRUE(s.GetBinary(setting::WindowState, out));
    EXPECT_EQ(out, all);
    out = {9};
    ASSERT_TRUE(s.GetProfileBinary("b", "EMPTY", out));
    EXPECT_TRUE(out.empty());
    std::string text = ReadRaw(m_path);
    EXPECT_NE(text.find("state=hex:000102"), std::string::npos);
    EXPECT_NE(text.find("fdfeff\n"), std::string::npos);
    // A byte block is no string, and hand-written capitals are fine.
    EXPECT_EQ(s.GetProfileString("Window size", "state", "def"), "def");
    WriteRaw("[B]\nx=hex:0A0b\n");
    ASSERT_TRUE(s.GetProfileBinary("B", "x", out));
    EXPECT_EQ(out, (std::vector<uint8_t>{0x0a, 0x0b}));
}

TEST_F(SettingsTest, ASymlinkedSettingsFileStaysALink) {
    // Dotfile managers keep the real file elsewhere and link it in.
    const std::string real = m_dir + "/dotfiles/Bexora.ini";
    ASSERT_TRUE(MakeDirs(DirName(real)));
    ASSERT_TRUE(AtomicWriteFile(real, "[Program Start]\nLoad Save=0\n", 0600));
    ASSERT_TRUE(MakeDirs(DirName(m_path)));
    ASSERT_EQ(symlink("../dotfiles/Bexora.ini", m_path.c_str()), 0);

    CSettingsStore s(m_path);
    EXPECT_EQ(s.GetInt(setting::LoadSave), 0);
    ASSERT_TRUE(s.WriteInt(setting::UpdateMin, 7)) << s.LastError();
    EXPECT_TRUE(fs::is_symlink(m_path));
    EXPECT_NE(ReadRaw(real).find("Update Min=7"), std::string::npos) << ReadRaw(real);
    EXPECT_NE(ReadRaw(real).find("Load Save=0"), std::string::npos);
    EXPECT_EQ(ModeOf(real), 0600u);
    EXPECT_EQ(CSettingsStore(m_path).GetInt(setting::UpdateMin), 7);

    // A damaged target is kept aside beside the target, not as a second link.
    ASSERT_TRUE(AtomicWriteFile(real, std::string("[Bid Dialog\nx\0y=1\n", 18), 0600));
    ASSERT_TRUE(s.WriteInt(setting::MessageLevel, 2)) << s.LastError();
    TakeShownPrompts();
    EXPECT_TRUE(fs::is_symlink(m_path));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(real + ".damaged")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(m_path + ".damaged")));
}

TEST_F(SettingsTest, DamagedFileKeepsWhatCanBeReadAndIsKeptAsideBeforeTheFirstWrite) {
    using namespace std::string_literals;
    const std::string damaged =
        "; hand-made\r\n"
        "[Program Start]\r\n"
        "Load Save=0\r\n"
        "\x01\x02garbage\xff=\x03\n"
        "just some words\n"
        "with\0nul=1\n"
        "[Bid Dialog\n"
        "Bid sec=99\n"
        "[Window size]\n"
        "state=hex:zz\n"
        "Rect=0010 0020 0300 0400\n"
        "[Update Interval]\n"
        "Update Min=45\n"s;
    WriteRaw(damaged);
    CSettingsStore s(m_path);
    EXPECT_EQ(s.GetInt(setting::LoadSave), 0);
    EXPECT_EQ(s.GetInt(setting::UpdateMin), 45);
    EXPECT_EQ(s.GetString(setting::WindowRect), "0010 0020 0300 0400");
    EXPECT_EQ(s.GetInt(setting::BidSec), 15);  // under a broken section line
    std::vector<uint8_t> state;
    EXPECT_FALSE(s.GetBinary(setting::WindowState, state));
    EXPECT_TRUE(TakeShownPrompts().empty());  // reading alone says nothing
    EXPECT_FALSE(fs::exists(m_path + ".damaged"));

    ASSERT_TRUE(s.WriteInt(setting::MessageLevel, 3)) << s.LastError();
    EXPECT_EQ(ReadRaw(m_path + ".damaged"), damaged);
    auto shown = TakeShownPrompts();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find(m_path + "\n"), std::string::npos) << shown[0];
    EXPECT_NE(shown[0].find(m_path + ".damaged"), std::string::npos) << shown[0];

    CSettingsStore fresh(m_path);
    EXPECT_EQ(fresh.GetInt(setting::LoadSave), 0);
    EXPECT_EQ(fresh.GetInt(setting::UpdateMin), 45);
    EXPECT_EQ(fresh.GetInt(setting::MessageLevel), 3);
    EXPECT_EQ(fresh.GetInt(setting::BidSec), 15);
    std::string text = ReadRaw(m_path);
    EXPECT_EQ(text.find("garbage"), std::string::npos);
    EXPECT_NE(text.find("; hand-made\n"), std::string::npos);

    // The clean file is written over without ceremony...
    ASSERT_TRUE(s.WriteInt(setting::MessageLevel, 2));
    EXPECT_TRUE(TakeShownPrompts().empty());
    EXPECT_FALSE(fs::exists(m_path + ".damaged.1"));
    // ...and damage that comes later never replaces the first copy.
    WriteRaw(text + "[oops\n");
    ASSERT_TRUE(s.WriteInt(setting::MessageLevel, 1));
    EXPECT_EQ(ReadRaw(m_path + ".damaged"), damaged);
    EXPECT_TRUE(fs::exists(m_path + ".damaged.1"));
    EXPECT_EQ(TakeShownPrompts().size(), 1u);
}

TEST_F(SettingsTest, UnreadableFileReadsAsDefaultsAndIsKeptAside) {
    // A folder where the file should be stands for any file we cannot read
    // (permissions do not stop root, which runs these tests in CI).
    ASSERT_TRUE(MakeDirs(m_path));
    CSettingsStore s(m_path);
    EXPECT_EQ(s.GetInt(setting::UpdateMin), 30);
    ASSERT_TRUE(s.WriteInt(setting::UpdateMin, 10)) << s.LastError();
    EXPECT_TRUE(fs::is_directory(m_path + ".damaged"));
    EXPECT_EQ(s.GetInt(setting::UpdateMin), 10);
    EXPECT_EQ(TakeShownPrompts().size(), 1u);

    if (geteuid() != 0) {
        std::string other = m_dir + "/locked.ini";
        std::ofstream(other) << "[Message Level]\nLevel=3\n";
        chmod(other.c_str(), 0);
        CSettingsStore locked(other);
        EXPECT_EQ(locked.GetInt(setting::MessageLevel), 1);
        ASSERT_TRUE(locked.WriteInt(setting::BidSec, 5));
        EXPECT_TRUE(fs::exists(other + ".damaged"));
        EXPECT_EQ(TakeShownPrompts().size(), 1u);
    }
}

TEST_F(SettingsTest, ChangesByAnotherWriterAreSeenByTheNextRead) {
    CSettingsStore s(m_path);
    WriteRaw("[Message Level]\nLevel=2\n");
    EXPECT_EQ(s.GetInt(setting::MessageLevel), 2);
    // Rewritten in place: same size, same inode.
    WriteRaw("[Message Level]\nLevel=3\n");
    EXPECT_EQ(s.GetInt(setting::MessageLevel), 3);

    // A file that looks settled (old mtime) and is then edited in place with
    // its mtime put back: only the change time gives it away.
    struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, m_path.c_str(), old, 0), 0);
    EXPECT_EQ(s.GetInt(setting::MessageLevel), 3);
    EXPECT_EQ(s.GetInt(setting::MessageLevel), 3);  // now from the cached copy
    WriteRaw("[Message Level]\nLevel=0\n");
    ASSERT_EQ(utimensat(AT_FDCWD, m_path.c_str(), old, 0), 0);
    EXPECT_EQ(s.GetInt(setting::MessageLevel), 0);

    // Another store (the CLI, say) replacing the file.
    CSettingsStore other(m_path);
    ASSERT_TRUE(other.WriteInt(setting::MessageLevel, 1));
    EXPECT_EQ(s.GetInt(setting::MessageLevel), 1);
    fs::remove(m_path);
    EXPECT_EQ(s.GetInt(setting::MessageLevel), 1);
    EXPECT_EQ(s.GetInt(setting::UpdateMin), 30);
    WriteRaw("[Message Level]\nLevel=2\n");
    EXPECT_EQ(s.GetInt(setting::MessageLevel), 2);
}

TEST_F(SettingsTest, FileIsPrivateToTheUser) {
    CSettingsStore s(m_path);
    ASSERT_TRUE(s.WriteString(setting::Password, "c2VjcmV0"));
    EXPECT_EQ(ModeOf(m_path), 0600u);
    EXPECT_EQ(ModeOf(DirName(m_path)), 0700u);
    chmod(m_path.c_str(), 0644);
    ASSERT_TRUE(s.WriteInt(setting::SavePass, 1));
    EXPECT_EQ(ModeOf(m_path), 0600u);
}

TEST_F(SettingsTest, RewriteKeepsCommentsAndPutsNewKeysInTheirSection) {
    WriteRaw("# top\n[A]\nx=1\n; about A\n\n[B]\ny=2\n");
    CSettingsStore s(m_path);
    ASSERT_TRUE(s.WriteProfileInt("a", "z", 3));
    ASSERT_TRUE(s.WriteProfileInt("C", "w", 4));
    EXPECT_EQ(ReadRaw(m_path), "# top\n[A]\nx=1\nz=3\n; about A\n\n[B]\ny=2\n\n[C]\nw=4\n");
}

TEST_F(SettingsTest, DeleteRemovesOnlyThatKey) {
    CSettingsStore s(m_path);
    EXPECT_TRUE(s.DeleteKey(setting::UserId));
    EXPECT_FALSE(fs::exists(m_path));  // nothing to delete, nothing written
    ASSERT_TRUE(s.WriteString(setting::UserId, "ann"));
    ASSERT_TRUE(s.WriteString(setting::Password, "cHc="));
    EXPECT_TRUE(s.DeleteProfileKey("BID DIALOG", "user id"));
    EXPECT_EQ(s.GetString(setting::UserId), "");
    EXPECT_EQ(s.GetString(setting::Password), "cHc=");
}

TEST_F(SettingsTest, BadNamesAndUnwritableFilesFailWithAReason) {
    CSettingsStore s(m_path);
    EXPECT_FALSE(s.WriteProfileInt("Bid Dialog", "a=b", 1));
    EXPECT_FALSE(s.LastError().empty());
    EXPECT_FALSE(s.WriteProfileInt("Bid Dialog", "two\nlines", 1));
    EXPECT_FALSE(s.WriteProfileInt("", "key", 1));
    EXPECT_FALSE(s.WriteProfileInt("Sec]\n[Other", "key", 1));
    EXPECT_FALSE(fs::exists(m_path));
    ASSERT_TRUE(s.WriteProfileInt("Ok", "key", 1));
    EXPECT_EQ(s.LastError(), "");

    std::string blocked = m_dir + "/plainfile";
    std::ofstream(blocked) << "x";
    CSettingsStore nowhere(blocked + "/Bexora.ini");
    EXPECT_FALSE(nowhere.WriteInt(setting::BidSec, 5));
    EXPECT_FALSE(nowhere.LastError().empty());
    EXPECT_EQ(nowhere.GetInt(setting::BidSec), 15);
}

TEST_F(SettingsTest, ConcurrentWritersLoseNoKey) {
    CSettingsStore a(m_path), b(m_path);
    constexpr int kPerThread = 25;
    auto writer = [&](CSettingsStore& s, const char* prefix) {
        for (int i = 0; i < kPerThread; ++i) {
            ASSERT_TRUE(s.WriteProfileInt("Many", prefix + std::to_string(i), i));
            EXPECT_EQ(s.GetProfileInt("Many", prefix + std::to_string(i), -1), i);
        }
    };
    std::thread t1(writer, std::ref(a), "a");
    std::thread t2(writer, std::ref(a), "b");  // same store
    std::thread t3(writer, std::ref(b), "c");  // another store on the same file
    t1.join();
    t2.join();
    t3.join();
    CSettingsStore fresh(m_path);
    for (const char* p : {"a", "b", "c"})
        for (int i = 0; i < kPerThread; ++i)
            EXPECT_EQ(fresh.GetProfileInt("Many", p + std::to_string(i), -1), i) << p << i;
}

// Restores the environment variables a test changes.
class EnvGuard {
public:
    explicit EnvGuard(std::vector<const char*> names) {
        for (const char* n : names) {
            const char* v = std::getenv(n);
            m_saved.emplace_back(n, v ? std::optional<std::string>(v) : std::nullopt);
        }
    }
    ~EnvGuard() {
        for (auto& [n, v] : m_saved) v ? setenv(n, v->c_str(), 1) : unsetenv(n);
        SetSettingsPath("");
    }

private:
    std::vector<std::pair<const char*, std::optional<std::string>>> m_saved;
};

TEST_F(SettingsTest, PathsComeFromOptionThenEnvironmentThenXdg) {
    EnvGuard guard({"BEXORA_SETTINGS", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "HOME"});
    SetSettingsPath("");
    unsetenv("BEXORA_SETTINGS");
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_DATA_HOME");
    setenv("HOME", "/home/ann", 1);
    EXPECT_EQ(DefaultSettingsPath(), "/home/ann/.config/Halvane Co./Bexora.ini");
    EXPECT_EQ(UserDataDir(), "/home/ann/.local/share/Halvane Co./Bexora");
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    setenv("XDG_DATA_HOME", "/data", 1);
    EXPECT_EQ(DefaultSettingsPath(), "/cfg/Halvane Co./Bexora.ini");
    EXPECT_EQ(UserDataDir(), "/data/Halvane Co./Bexora");
    setenv("BEXORA_SETTINGS", "", 1);
    EXPECT_EQ(DefaultSettingsPath(), "/cfg/Halvane Co./Bexora.ini");
    setenv("BEXORA_SETTINGS", (m_dir + "/env.ini").c_str(), 1);
    EXPECT_EQ(DefaultSettingsPath(), m_dir + "/env.ini");

    // The process-wide store follows the path, and the shorthands use it.
    ASSERT_TRUE(WriteProfileInt("Message Level", "Level", 3));
    EXPECT_EQ(GetProfileInt("message level", "level", 1), 3);
    SetSettingsPath(m_path);
    EXPECT_EQ(Settings().Path(), m_path);
    EXPECT_EQ(GetProfileInt("Message Level", "Level", 1), 1);
    ASSERT_TRUE(WriteProfileString("Homepage", "left panel", "http://x/"));
    ASSERT_TRUE(WriteProfileBinary("Window size", "state", {7}));
    std::vector<uint8_t> out;
    EXPECT_TRUE(GetProfileBinary("Window size", "state", out));
    EXPECT_EQ(GetProfileString("Homepage", "left panel", ""), "http://x/");
    EXPECT_EQ(CSettingsStore(m_dir + "/env.ini").GetInt(setting::MessageLevel), 3);
}

}  // namespace
}  // namespace bexora
