// The self-update against the local auction site's update folder: the check,
// the file-by-file download with its ".bak" copies, and the ways it fails.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <condition_variable>
#include <functional>
#include <mutex>

#include "base/Prompt.h"
#include "bidding/SiteHarness.h"
#include "update/UpdateCheck.h"
#include "update/UpdateDownload.h"
#include "update/UpdateFlow.h"

namespace bexora {
namespace {

// The dialog's controls as the worker leaves them.
class CRecordingView : public IUpdateView {
    template <class F> void Set(F f) {
        std::lock_guard<std::mutex> lock(m_mutex);
        f();
    }
    template <class F> auto Get(F f) {
        std::lock_guard<std::mutex> lock(m_mutex);
        return f();
    }

public:
    void SetFileLine(const std::string& t) override { Set([&] { m_fileLine = t; }); }
    void SetStatusLine(const std::string& t) override {
        Set([&] {
            m_statusLine = t;
            m_statusSeen.push_back(t);
        });
        if (m_onStatus) m_onStatus(t);
    }
    void SetProgress(int p) override {
        Set([&] {
            m_progress = p;
            m_maxProgress = std::max(m_maxProgress, p);
        });
    }
    void SetButtonText(UpdateButton b, const std::string& t) override { Set([&] { m_text[Idx(b)] = t; }); }
    void EnableButton(UpdateButton b, bool e) override { Set([&] { m_enabled[Idx(b)] = e; }); }
    void FocusButton(UpdateButton b) override { Set([&] { m_focus = b; }); }
    void ShowMessage(const std::string& text, PromptIcon) override { Set([&] { m_messages.push_back(text); }); }

    static int Idx(UpdateButton b) { return b == UpdateButton::First ? 0 : 1; }
    bool Enabled(UpdateButton b) { return Get([&] { return m_enabled[Idx(b)]; }); }
    std::string Text(UpdateButton b) { return Get([&] { return m_text[Idx(b)]; }); }
    std::string FileLine() { return Get([&] { return m_fileLine; }); }
    std::string StatusLine() { return Get([&] { return m_statusLine; }); }
    std::vector<std::string> StatusSeen() { return Get([&] { return m_statusSeen; }); }
    int MaxProgress() { return Get([&] { return m_maxProgress; }); }
    std::vector<std::string> Messages() { return Get([&] { return m_messages; }); }

    std::function<void(const std::string&)> m_onStatus;  // runs on the worker
    UpdateButton m_focus = UpdateButton::First;

private:
    std::mutex m_mutex;
    std::string m_fileLine, m_statusLine;
    std::vector<std::string> m_statusSeen, m_messages;
    int m_progress = 0, m_maxProgress = 0;
    bool m_enabled[2] = {true, true};
    std::string m_text[2] = {"&Update", "Cancel"};
};

class UpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_site.Ok());
        m_folder = m_site.Dir() + "/app";
        ASSERT_TRUE(MakeDirs(m_folder));
        TakeShownPrompts();
    }
    void TearDown() override { CloseThreadConnections(); }

    std::string AppFile(const std::string& name) const { return m_folder + "/" + name; }
    static std::string Read(const std::string& path) {
        std::string s;
        return ReadWholeFile(path, s) ? s : "<missing>";
    }
    static bool Exists(const std::string& path) {
        struct stat st {};
        return lstat(path.c_str(), &st) == 0;
    }
    void Publish(const std::string& version, const std::vector<std::pair<std::string, std::string>>& files,
                 bool chunked = false) {
        auction::Json j = auction::Json::Object();
        j["version"] = version;
        j["files"] = auction::Json::Array();
        for (const auto& [name, content] : files) {
            auction::Json f = auction::Json::Object();
            f["name"] = name;
            f["content"] = content;
            if (chunked) f["chunked"] = true;
            j["files"].Push(f);
        }
        m_site.Control("POST", "/_control/update", j.Dump());
    }
    void PublishRaw(const std::string& text) {
        auction::Json j = auction::Json::Object();
        j["raw"] = text;
        m_site.Control("POST", "/_control/update", j.Dump());
    }
    std::string FilesBase() {
        return "http://" + Settings().GetString(setting::SiteItemHost) + "/vendor/files/";
    }
    // Presses "&Update" and waits for the worker to end.
    void RunUpdate(CUpdateDownload& dlg) {
        dlg.OnInitDialog();
        dlg.OnFirstButton();
        dlg.WaitForWorker();
    }
    int StoredVersion() { return Settings().GetProfileInt("Settings", "Version", -1); }

    test::LocalSite m_site;
    std::string m_folder;
    CRecordingView m_view;
};

TEST_F(UpdateTest, CheckOffersOnlyVersionsAbove1099) {
    Publish("1.0.9.9", {});
    EXPECT_FALSE(CheckForUpdate(m_folder));
    Publish("1.1.0.0", {});
    CUpdateOffer offer = CheckUpdateOffer(m_folder);
    EXPECT_TRUE(offer.m_bOffered);
    EXPECT_EQ(offer.m_nVersion, 1100);
    EXPECT_EQ(offer.m_strVersion, "1.1.0.0");
    // The local copy is written and read back under the one name.
    EXPECT_EQ(Read(AppFile("update.txt")).substr(0, 25), "[update]\nVersion=1.1.0.0\n");
    EXPECT_FALSE(Exists(AppFile("Update.txt")));
}

TEST_F(UpdateTest, CheckReadsTheHeaderInAnyCaseAndNothingElse) {
    PublishRaw("[UPDATE]\r\nVersion=1.2.0.0\r\n");
    EXPECT_TRUE(CheckForUpdate(m_folder));
    std::remove(AppFile("update.txt").c_str());

    // An error page, a file without the header, a server that is not there:
    // no update, and no local copy.
    PublishRaw("<html>Version=9.9.9.9</html>\n");
    EXPECT_FALSE(CheckForUpdate(m_folder));
    m_site.Fault(R"({"path":"/vendor/update.txt","status":404})");
    EXPECT_FALSE(CheckForUpdate(m_folder));
    Settings().WriteString(setting::UpdateUrl, "http://127.0.0.1:1/vendor/");
    EXPECT_FALSE(CheckForUpdate(m_folder));
    EXPECT_FALSE(Exists(AppFile("update.txt")));
}

TEST(UpdateInstructionsTest, ValuesAreCutAtTheirOffsets) {
    CUpdateInstructions in = ParseUpdateInstructions(
        "[Update]\r\n\r\nVersion=  1.1.0.0  \r\nNotes\r\nBase=  http://h/f/ \r\n"
        "NumberOfFiles=   2\r\nF1=  bexora \r\nF2=readme.txt");
    EXPECT_TRUE(in.m_bValid);
    EXPECT_EQ(in.m_nVersion, 1100);
    EXPECT_EQ(in.m_strBaseUrl, "http://h/f/");
    EXPECT_EQ(in.m_nFiles, 2);
    EXPECT_EQ(in.m_files, (std::vector<std::string>{"bexora", "readme.txt"}));

    // Only ten characters of the version count, and no number overflows.
    EXPECT_EQ(UpdateVersionNumber("Version=1.2.3.4.5.6.7"), 12345);
    EXPECT_EQ(UpdateVersionNumber("Version=9999999999"), INT_MAX);
    EXPECT_EQ(UpdateVersionNumber("Version=beta"), 0);
    EXPECT_FALSE(ParseUpdateInstructions("update\nVersion=1.1.0.0\n").m_bValid);
}

TEST_F(UpdateTest, ThreeFilesAreReplacedKeepingBakCopiesAndTheRunBit) {
    const std::string big(300000, 'x');
    Publish("1.1.0.0", {{"bexora", "new binary"}, {"readme.txt", big}, {"extra.dat", "added"}});
    ASSERT_TRUE(CheckForUpdate(m_folder));
    ASSERT_TRUE(AtomicWriteFile(AppFile("bexora"), "old binary", 0755));
    ASSERT_TRUE(AtomicWriteFile(AppFile("readme.txt"), "old readme", 0644));
    ASSERT_TRUE(AtomicWriteFile(AppFile("readme.txt.bak"), "older readme"));
    Settings().WriteInt(setting::FirstRun, 0);

    CUpdateDownload dlg(m_view, m_folder);
    RunUpdate(dlg);

    EXPECT_EQ(Read(AppFile("bexora")), "new binary");
    EXPECT_EQ(Read(AppFile("bexora.bak")), "old binary");
    EXPECT_EQ(Read(AppFile("readme.txt")), big);
    EXPECT_EQ(Read(AppFile("readme.txt.bak")), "old readme");
    EXPECT_EQ(Read(AppFile("extra.dat")), "added");
    EXPECT_FALSE(Exists(AppFile("bexora.tmp")));
    struct stat st {};
    ASSERT_EQ(stat(AppFile("bexora").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);

    EXPECT_EQ(StoredVersion(), 1100);
    EXPECT_EQ(Settings().GetInt(setting::FirstRun), 2);
    EXPECT_EQ(m_view.FileLine(), "Update completed successfully!");
    EXPECT_EQ(m_view.StatusLine(), "Please restart the program now ...");
    EXPECT_FALSE(m_view.Enabled(UpdateButton::First));
    EXPECT_TRUE(m_view.Enabled(UpdateButton::Second));
    EXPECT_EQ(m_view.Text(UpdateButton::Second), "Restart");
    EXPECT_EQ(m_view.m_focus, UpdateButton::Second);
    EXPECT_EQ(dlg.OnSecondButton(), UpdateEnding::Ok);

    auto seen = m_view.StatusSeen();
    EXPECT_NE(std::find(seen.begin(), seen.end(), "Downloaded 292 KB of 292 KB"), seen.end());
    EXPECT_EQ(m_view.MaxProgress(), 100);
    EXPECT_EQ(m_site.CountLog("/vendor/files/"), 3u);
}

TEST_F(UpdateTest, NoFilesCompletesAtOnce) {
    Publish("1.1.0.0", {});
    ASSERT_TRUE(CheckForUpdate(m_folder));
    CUpdateDownload dlg(m_view, m_folder);
    RunUpdate(dlg);
    EXPECT_EQ(StoredVersion(), 1100);
    EXPECT_EQ(Settings().GetInt(setting::FirstRun), 2);
    EXPECT_EQ(m_view.Text(UpdateButton::Second), "Restart");
    EXPECT_EQ(dlg.OnSecondButton(), UpdateEnding::Ok);
}

TEST_F(UpdateTest, ADownloadCutShortLeavesTheOldFileAndNoVersion) {
    Publish("1.1.0.0", {{"one.dat", "new one"}, {"two.dat", std::string(100000, 'n')}});
    ASSERT_TRUE(CheckForUpdate(m_folder));
    ASSERT_TRUE(AtomicWriteFile(AppFile("one.dat"), "old one"));
    ASSERT_TRUE(AtomicWriteFile(AppFile("two.dat"), "old two"));
    m_site.Fault(R"({"path":"/vendor/files/two.dat","drop_after_bytes":5000})");

    CUpdateDownload dlg(m_view, m_folder);
    RunUpdate(dlg);

    EXPECT_EQ(Read(AppFile("one.dat")), "new one");  // earlier files stay replaced
    EXPECT_EQ(Read(AppFile("two.dat")), "old two");
    EXPECT_FALSE(Exists(AppFile("two.dat.bak")));
    EXPECT_FALSE(Exists(AppFile("bexora.tmp")));
    EXPECT_EQ(StoredVersion(), -1);
    EXPECT_EQ(m_view.FileLine(), "Download failed. Please try again later.");
    EXPECT_FALSE(m_view.StatusLine().empty());
    EXPECT_FALSE(m_view.Enabled(UpdateButton::First));
    EXPECT_TRUE(m_view.Enabled(UpdateButton::Second));
    EXPECT_LT(dlg.LastResult(), 0);
    EXPECT_EQ(dlg.OnSecondButton(), UpdateEnding::Cancel);
}

TEST_F(UpdateTest, AnErrorAnswerNeverTakesAFilesPlace) {
    // update.txt names a file the server does not have: its 404 page must
    // not become the program.
    PublishRaw("[update]\nVersion=1.1.0.0\nNotes\nBase=" + FilesBase() +
               "\nNumberOfFiles=1\nF1=bexora\n");
    ASSERT_TRUE(CheckForUpdate(m_folder));
    ASSERT_TRUE(AtomicWriteFile(AppFile("bexora"), "old binary", 0755));
    CUpdateDownload dlg(m_view, m_folder);
    RunUpdate(dlg);
    EXPECT_EQ(Read(AppFile("bexora")), "old binary");
    EXPECT_EQ(m_view.StatusLine(), "The server answered with status 404.");
    EXPECT_EQ(StoredVersion(), -1);
}

TEST_F(UpdateTest, CancelDuringADownloadFails) {
    Publish("1.1.0.0", {{"slow.dat", "never"}});
    ASSERT_TRUE(CheckForUpdate(m_folder));
    ASSERT_TRUE(AtomicWriteFile(AppFile("slow.dat"), "old"));
    m_site.Fault(R"({"path":"/vendor/files/slow.dat","stall":true,"stall_ms":20000})");

    CUpdateDownload dlg(m_view, m_folder);
    dlg.OnInitDialog();
    dlg.OnFirstButton();
    EXPECT_EQ(m_view.Text(UpdateButton::First), "Cancel");
    EXPECT_FALSE(m_view.Enabled(UpdateButton::Second));
    ASSERT_TRUE(m_site.WaitForRequest("/vendor/files/slow.dat"));
    auto start = std::chrono::steady_clock::now();
    dlg.OnFirstButton();  // now reads "Cancel"
    EXPECT_EQ(m_view.Text(UpdateButton::First), "Update");
    dlg.WaitForWorker();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    EXPECT_EQ(m_view.FileLine(), "Download failed. Please try again later.");
    EXPECT_EQ(m_view.StatusLine(), "The download was cancelled.");
    EXPECT_FALSE(m_view.Enabled(UpdateButton::First));
    EXPECT_TRUE(m_view.Enabled(UpdateButton::Second));
    EXPECT_EQ(dlg.OnSecondButton(), UpdateEnding::Cancel);
    EXPECT_EQ(Read(AppFile("slow.dat")), "old");
    EXPECT_EQ(StoredVersion(), -1);
}

TEST_F(UpdateTest, NoSizeFromTheServerLeavesTheBarAtZero) {
    Publish("1.1.0.0", {{"data.bin", std::string(20000, 'd')}}, /*chunked=*/true);
    ASSERT_TRUE(CheckForUpdate(m_folder));
    CUpdateDownload dlg(m_view, m_folder);
    RunUpdate(dlg);
    EXPECT_EQ(Read(AppFile("data.bin")), std::string(20000, 'd'));
    auto seen = m_view.StatusSeen();
    EXPECT_NE(std::find(seen.begin(), seen.end(), "Downloaded 19.5 KB (total size unknown)"), seen.end());
    for (const std::string& s : seen) EXPECT_EQ(s.find(" of "), std::string::npos) << s;
    EXPECT_EQ(m_view.MaxProgress(), 0);
}

TEST_F(UpdateTest, NamesOutsideTheFolderAreRefused) {
    for (const std::string name : {"../escaped.txt", "sub/inner.txt", "..", "/tmp/abs.txt", ""}) {
        SCOPED_TRACE(name);
        PublishRaw("[update]\nVersion=1.1.0.0\nNotes\nBase=" + FilesBase() +
                   "\nNumberOfFiles=2\nF1=ok.txt\nF2=" + name + "\n");
        m_site.Control("POST", "/_control/update", R"({"files":[{"name":"ok.txt","content":"ok"}]})");
        ASSERT_TRUE(CheckForUpdate(m_folder));
        m_site.ClearLog();
        CRecordingView view;
        CUpdateDownload dlg(view, m_folder);
        RunUpdate(dlg);
        EXPECT_EQ(view.FileLine(), "Download failed. Please try again later.");
        EXPECT_FALSE(view.Enabled(UpdateButton::First));
        EXPECT_EQ(dlg.OnSecondButton(), UpdateEnding::Cancel);
        EXPECT_EQ(m_site.CountLog("/vendor/files/"), 1u);  // only ok.txt was asked for
        EXPECT_EQ(StoredVersion(), -1);
    }
    EXPECT_FALSE(Exists(m_site.Dir() + "/escaped.txt"));
    EXPECT_FALSE(Exists(m_site.Dir() + "/escaped.txt.bak"));
    EXPECT_FALSE(Exists(m_folder + "/sub"));
    EXPECT_FALSE(Exists("/tmp/abs.txt.bak"));
    EXPECT_FALSE(IsPlainFileName("bexora.tmp"));
    EXPECT_TRUE(IsPlainFileName("libfoo.so.1"));
}

TEST_F(UpdateTest, UpdateOverHttpsIsVerifiedWithTheSitesCertificate) {
    Settings().WriteString(setting::UpdateUrl,
                           "https://" + Settings().GetString(setting::SiteSignInHost) + "/vendor/");
    Publish("1.1.0.0", {{"bexora", "over tls"}});
    ASSERT_TRUE(CheckForUpdate(m_folder));
    CUpdateDownload dlg(m_view, m_folder);
    RunUpdate(dlg);
    EXPECT_EQ(Read(AppFile("bexora")), "over tls");

    // Without the site's certificate neither the check nor a download works.
    Settings().WriteString(setting::SiteCaFile, "");
    EXPECT_FALSE(CheckForUpdate(m_site.Dir()));
    struct NoProgress : IDownloadCallback {
        bool OnProgress(uint64_t, uint64_t) override { return true; }
    } cb;
    std::string url = "https://" + Settings().GetString(setting::SiteSignInHost) + "/vendor/files/bexora";
    EXPECT_LT(DownloadToFile(url, AppFile("x.tmp"), &cb), 0);
    EXPECT_FALSE(Exists(AppFile("x.tmp")));
}

TEST_F(UpdateTest, AMissingLocalCopyIsReportedAndTheDialogCanBeLeft) {
    CUpdateDownload dlg(m_view, m_folder);
    RunUpdate(dlg);
    EXPECT_EQ(m_view.Messages(), std::vector<std::string>{"Error open update instruction"});
    EXPECT_TRUE(m_view.Enabled(UpdateButton::Second));
    EXPECT_EQ(dlg.OnSecondButton(), UpdateEnding::Cancel);
}

TEST_F(UpdateTest, SplashAndMenuCommandFollowTheDialog) {
    std::vector<std::string> statuses;
    auto status = [&](const std::string& s) { statuses.push_back(s); };
    int dialogs = 0;
    auto ok = [&] { ++dialogs; return true; };
    auto cancel = [&] { ++dialogs; return false; };

    Publish("1.0.9.9", {});
    EXPECT_TRUE(SplashUpdateCheck(m_folder, status, ok));
    EXPECT_FALSE(CheckProgramUpdateCommand(m_folder, ok));
    EXPECT_EQ(dialogs, 0);
    Publish("1.1.0.0", {});
    EXPECT_FALSE(SplashUpdateCheck(m_folder, status, ok));  // this copy exits
    EXPECT_TRUE(SplashUpdateCheck(m_folder, status, cancel));
    EXPECT_TRUE(CheckProgramUpdateCommand(m_folder, ok));
    EXPECT_FALSE(CheckProgramUpdateCommand(m_folder, cancel));
    EXPECT_EQ(dialogs, 4);
    EXPECT_EQ(statuses, (std::vector<std::string>{
                            "Checking the program update...", "You are using the lastest version",
                            "Checking the program update...", "Finish updating ...",
                            "Checking the program update...", "Error updating ..."}));
    EXPECT_EQ(TakeShownPrompts(), (std::vector<std::string>{
                                      "No Update available right now.\nPlease check back later.",
                                      "Error updating, Please try again later."}));
}

TEST(ShortSizeTextTest, ThreeFiguresAndAUnit) {
    EXPECT_EQ(ShortSizeText(0), "0 bytes");
    EXPECT_EQ(ShortSizeText(1023), "1023 bytes");
    EXPECT_EQ(ShortSizeText(1239), "1.20 KB");
    EXPECT_EQ(ShortSizeText(1048575), "1023 KB");
    EXPECT_EQ(ShortSizeText(1048576), "1.00 MB");
    EXPECT_EQ(ShortSizeText(12900000), "12.3 MB");
    EXPECT_EQ(DownloadStatusText(-6), "Couldn't resolve host name");
    EXPECT_EQ(DownloadStatusText(-999), "No message available.");
}

}  // namespace
}  // namespace bexora
