// The self-update against the local auction site's signed update folder: the
// check, the download into a staging folder, the swap with its ".bak"
// copies, and the ways it fails.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "UpdateSigning.h"
#include "base/Prompt.h"
#include "bidding/SiteHarness.h"
#include "site/SiteProfile.h"
#include "update/ProfileUpdate.h"
#include "site/PageFetch.h"
#include "update/Download.h"
#include "update/UpdateCheck.h"
#include "update/UpdateDownload.h"
#include "update/UpdateFlow.h"
#include "update/UpdateSignature.h"
#include "update/UpdateSwap.h"

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
        ASSERT_TRUE(MakeDirs(m_folder, 0755));
        // The tests run as root, which never self-updates: they act as a
        // user who owns the program folder.
        SetUpdateUidForTests(kUser);
        ASSERT_EQ(chown(m_folder.c_str(), kUser, kUser), 0);
        TakeShownPrompts();
    }
    void TearDown() override {
        SetUpdateUidForTests(-1);
        CloseThreadConnections();
    }
    static constexpr int kUser = 4242;

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
        return "https://" + Settings().GetString(setting::SiteSignInHost) + "/vendor/files/";
    }
    std::string HttpsVendor() { return "https://" + Settings().GetString(setting::SiteSignInHost) + "/vendor/"; }
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

TEST_F(UpdateTest, CheckOffersOnlyVersionsAboveTheProgramsOwn) {
    // The version About shows is the one compared (2.0.0.0 gives 2000).
    EXPECT_EQ(kInstalledVersion, UpdateVersionNumber(std::string("Version=") + kProgramVersion));
    Publish(kProgramVersion, {});
    EXPECT_FALSE(CheckForUpdate(m_folder));
    Publish("1.1.0.0", {});
    EXPECT_FALSE(CheckForUpdate(m_folder));
    Publish("2.1.0.0", {});
    CUpdateOffer offer = CheckUpdateOffer(m_folder);
    EXPECT_TRUE(offer.m_bOffered);
    EXPECT_EQ(offer.m_nVersion, 2100);
    EXPECT_EQ(offer.m_strVersion, "2.1.0.0");
    EXPECT_EQ(offer.m_strProblem, "");
    // The local copy is written and read back under the one name.
    EXPECT_EQ(Read(AppFile("update.txt")).substr(0, 25), "[update]\nVersion=2.1.0.0\n");
    EXPECT_TRUE(Exists(AppFile("update.txt.sig")));
    EXPECT_FALSE(Exists(AppFile("Update.txt")));
}

TEST_F(UpdateTest, CheckReadsTheHeaderInAnyCaseAndNothingElse) {
    PublishRaw("[UPDATE]\r\nVersion=2.2.0.0\r\n");
    EXPECT_TRUE(CheckForUpdate(m_folder));
    std::remove(AppFile("update.txt").c_str());

    // An error page, a file without the header, a server that is not there:
    // no update, and no local copy.
    PublishRaw("<html>Version=9.9.9.9</html>\n");
    EXPECT_FALSE(CheckForUpdate(m_folder));
    m_site.Fault(R"({"path":"/vendor/update.txt","status":404})");
    EXPECT_FALSE(CheckForUpdate(m_folder));
    Settings().WriteString(setting::UpdateUrl, "https://127.0.0.1:1/vendor/");
    EXPECT_FALSE(CheckForUpdate(m_folder));
    EXPECT_FALSE(Exists(AppFile("update.txt")));
}

TEST(UpdateInstructionsTest, ValuesAreCutAtTheirOffsets) {
    CUpdateInstructions in = ParseUpdateInstructions(
        "[Update]\r\n\r\nVersion=  1.1.0.0  \r\nNotes\r\nBase=  http://h/f/ \r\n"
        "NumberOfFiles=   2\r\nF1=  bexora \r\nF2=readme.txt\r\n"
        "H1= 2CF24DBA5FB0A30E26E83B2AC5B9E29E1B161E5C1FA7425E73043362938B9824 5\r\nH2=abc 3");
    EXPECT_TRUE(in.m_bValid);
    // Checksums are read in lower case; a malformed line ends them.
    ASSERT_EQ(in.m_checks.size(), 1u);
    EXPECT_EQ(in.m_checks[0].m_strSha256, Sha256Hex("hello"));
    EXPECT_EQ(in.m_checks[0].m_nSize, 5u);
    EXPECT_FALSE(in.Complete());
    EXPECT_EQ(in.m_nVersion, 1100);
    EXPECT_EQ(in.m_strBaseUrl, "http://h/f/");
    EXPECT_EQ(in.m_nFiles, 2);
    EXPECT_EQ(in.m_files, (std::vector<std::string>{"bexora", "readme.txt"}));

    // Only ten characters of the version count, and no number overflows.
    EXPECT_EQ(UpdateVersionNumber("Version=1.2.3.4.5.6.7"), 12345);
    EXPECT_EQ(UpdateVersionNumber("Version=9999999999"), INT_MAX);
    EXPECT_EQ(UpdateVersionNumber("Version=beta"), 0);
    EXPECT_FALSE(ParseUpdateInstructions("update\nVersion=1.1.0.0\n").m_bValid);
    // A file cut off after its names has no checksums.
    EXPECT_FALSE(ParseUpdateInstructions("[update]\nV=\nN\nBase=x\nNumberOfFiles=1\nF1=a\n").Complete());
    EXPECT_TRUE(ParseUpdateInstructions("[update]\nV=\nN\nBase=x\nNumberOfFiles=0\n").Complete());
}

TEST_F(UpdateTest, ThreeFilesAreReplacedKeepingBakCopiesAndTheRunBit) {
    const std::string big(300000, 'x');
    Publish("2.1.0.0", {{"bexora", "new binary"}, {"readme.txt", big}, {"extra.dat", "added"},
                        {"bexora-cli", "new cli"}});
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
    // Old files keep their mode, a new program is runnable, other new files are not.
    for (const auto& [name, mode] : std::vector<std::pair<std::string, unsigned>>{
             {"bexora", 0755}, {"readme.txt", 0644}, {"bexora-cli", 0755}, {"extra.dat", 0644}}) {
        struct stat st {};
        ASSERT_EQ(stat(AppFile(name).c_str(), &st), 0) << name;
        EXPECT_EQ(st.st_mode & 07777, mode) << name;
    }
    EXPECT_EQ(Read(AppFile("bexora.version")), "2.1.0.0\n");
    EXPECT_FALSE(Exists(AppFile("update.journal")));

    EXPECT_EQ(StoredVersion(), 2100);
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
    EXPECT_EQ(m_site.CountLog("/vendor/files/"), 4u);
}

TEST_F(UpdateTest, NoFilesCompletesAtOnce) {
    Publish("2.1.0.0", {});
    ASSERT_TRUE(CheckForUpdate(m_folder));
    CUpdateDownload dlg(m_view, m_folder);
    RunUpdate(dlg);
    EXPECT_EQ(StoredVersion(), 2100);
    EXPECT_EQ(Settings().GetInt(setting::FirstRun), 2);
    EXPECT_EQ(m_view.Text(UpdateButton::Second), "Restart");
    EXPECT_EQ(dlg.OnSecondButton(), UpdateEnding::Ok);
}

TEST_F(UpdateTest, ADownloadCutShortReplacesNothing) {
    Publish("2.1.0.0", {{"one.dat", "new one"}, {"two.dat", std::string(100000, 'n')}});
    ASSERT_TRUE(CheckForUpdate(m_folder));
    ASSERT_TRUE(AtomicWriteFile(AppFile("one.dat"), "old one"));
    ASSERT_TRUE(AtomicWriteFile(AppFile("two.dat"), "old two"));
    m_site.Fault(R"({"path":"/vendor/files/two.dat","drop_after_bytes":5000})");

    CUpdateDownload dlg(m_view, m_folder);
    RunUpdate(dlg);

    EXPECT_EQ(Read(AppFile("one.dat")), "old one");  // all or nothing
    EXPECT_FALSE(Exists(AppFile("one.dat.bak")));
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
    PublishRaw("[update]\nVersion=2.1.0.0\nNotes\nBase=" + FilesBase() +
               "\nNumberOfFiles=1\nF1=bexora\nH1=" + Sha256Hex("x") + " 1\n");
    ASSERT_TRUE(CheckForUpdate(m_folder));
    ASSERT_TRUE(AtomicWriteFile(AppFile("bexora"), "old binary", 0755));
    CUpdateDownload dlg(m_view, m_folder);
    RunUpdate(dlg);
    EXPECT_EQ(Read(AppFile("bexora")), "old binary");
    EXPECT_EQ(m_view.StatusLine(), "The server answered with status 404.");
    EXPECT_EQ(StoredVersion(), -1);
}

TEST_F(UpdateTest, CancelDuringADownloadFails) {
    Publish("2.1.0.0", {{"slow.dat", "never"}});
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

    // A check on a thread that is told to stop (the window closing during
    // the five-hourly check) gives up at once, not after the time-outs.
    std::atomic<bool> stop{false};
    std::string text;
    int status = 0;
    std::thread check([&] {
        SetFetchAbortFlag(&stop);
        status = DownloadToString(UpdateInstructionsUrl() + "x", text, 1 << 20);
        SetFetchAbortFlag(nullptr);
    });
    m_site.Fault(R"({"path":"/vendor/update.txtx","stall":true,"stall_ms":20000})");
    ASSERT_TRUE(m_site.WaitForRequest("/vendor/update.txtx"));
    start = std::chrono::steady_clock::now();
    stop = true;
    check.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_NE(status, 0);
}

TEST_F(UpdateTest, NoSizeFromTheServerLeavesTheBarAtZero) {
    Publish("2.1.0.0", {{"data.bin", std::string(20000, 'd')}}, /*chunked=*/true);
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
        PublishRaw("[update]\nVersion=2.1.0.0\nNotes\nBase=" + FilesBase() +
                   "\nNumberOfFiles=2\nF1=ok.txt\nF2=" + name + "\nH1=" + Sha256Hex("ok") + " 2\nH2=" +
                   Sha256Hex("") + " 0\n");
        m_site.Control("POST", "/_control/update", R"({"files":[{"name":"ok.txt","content":"ok"}]})");
        ASSERT_TRUE(CheckForUpdate(m_folder));
        m_site.ClearLog();
        CRecordingView view;
        CUpdateDownload dlg(view, m_folder);
        RunUpdate(dlg);
        EXPECT_EQ(view.FileLine(), "Download failed. Please try again later.");
        EXPECT_FALSE(view.Enabled(UpdateButton::First));
        EXPECT_EQ(dlg.OnSecondButton(), UpdateEnding::Cancel);
        EXPECT_EQ(m_site.CountLog("/vendor/files/"), 0u);  // refused before any download
        EXPECT_EQ(StoredVersion(), -1);
    }
    EXPECT_FALSE(Exists(m_site.Dir() + "/escaped.txt"));
    EXPECT_FALSE(Exists(m_site.Dir() + "/escaped.txt.bak"));
    EXPECT_FALSE(Exists(m_folder + "/sub"));
    EXPECT_FALSE(Exists("/tmp/abs.txt.bak"));
    EXPECT_FALSE(IsPlainFileName("bexora.tmp"));
    EXPECT_FALSE(IsPlainFileName("update.txt.sig"));
    EXPECT_FALSE(IsPlainFileName(kUpdateLockName));
    EXPECT_TRUE(IsPlainFileName("libfoo.so.1"));
}

TEST_F(UpdateTest, PlainHttpIsRefusedEverywhere) {
    Publish("2.1.0.0", {{"bexora", "over http"}});
    ASSERT_TRUE(AtomicWriteFile(AppFile("bexora"), "old binary", 0755));
    const std::string httpVendor = "http://" + Settings().GetString(setting::SiteItemHost) + "/vendor/";

    // An update address on plain http, and an https one that redirects there.
    Settings().WriteString(setting::UpdateUrl, httpVendor);
    CUpdateOffer offer = CheckUpdateOffer(m_folder);
    EXPECT_FALSE(offer.m_bOffered);
    EXPECT_NE(offer.m_strProblem.find("https://"), std::string::npos) << offer.m_strProblem;
    Settings().WriteString(setting::UpdateUrl, HttpsVendor() + "to-http/");
    offer = CheckUpdateOffer(m_folder);
    EXPECT_FALSE(offer.m_bOffered);
    EXPECT_NE(offer.m_strProblem.find("not https"), std::string::npos) << offer.m_strProblem;
    EXPECT_EQ(m_site.CountLog("/vendor/update.txt"), 0u);  // the http request was never made
    EXPECT_FALSE(Exists(AppFile("update.txt")));

    // A signed update.txt whose base address is http, or redirects to http.
    Settings().WriteString(setting::UpdateUrl, HttpsVendor());
    for (const std::string& base : {httpVendor + "files/", HttpsVendor() + "to-http/files/"}) {
        SCOPED_TRACE(base);
        m_site.Control("POST", "/_control/update", R"({"base":")" + base + R"("})");
        ASSERT_TRUE(CheckForUpdate(m_folder));
        m_site.ClearLog();
        CRecordingView view;
        CUpdateDownload dlg(view, m_folder);
        RunUpdate(dlg);
        EXPECT_EQ(view.FileLine(), "Download failed. Please try again later.");
        EXPECT_NE(view.StatusLine().find("https"), std::string::npos) << view.StatusLine();
        EXPECT_EQ(Read(AppFile("bexora")), "old binary");
        EXPECT_EQ(m_site.CountLog("/vendor/files/bexora"), 0u);
    }
    EXPECT_EQ(StoredVersion(), -1);

    // Without the site's certificate neither the check nor a download works.
    m_site.Control("POST", "/_control/update", R"({"base":""})");
    Settings().WriteString(setting::SiteCaFile, "");
    EXPECT_FALSE(CheckForUpdate(m_folder));
    EXPECT_LT(DownloadToFile(FilesBase() + "bexora", AppFile("x.tmp"), nullptr), 0);
    EXPECT_FALSE(Exists(AppFile("x.tmp")));
}

TEST_F(UpdateTest, OnlyWhatTheMakerSignedIsTaken) {
    Publish("2.1.0.0", {{"bexora", "new binary"}});
    ASSERT_TRUE(AtomicWriteFile(AppFile("bexora"), "old binary", 0755));

    // A signature that is not one, a missing one, another key's.
    m_site.Fault(R"({"path":"/vendor/update.txt.sig","answer":"AAAA"})");
    CUpdateOffer offer = CheckUpdateOffer(m_folder);
    EXPECT_FALSE(offer.m_bOffered);
    EXPECT_NE(offer.m_strProblem.find("signature"), std::string::npos);
    m_site.ClearFaults();
    m_site.Fault(R"({"path":"/vendor/update.txt.sig","status":404})");
    EXPECT_FALSE(CheckForUpdate(m_folder));
    m_site.ClearFaults();
    const std::string testKey = Settings().GetString(setting::UpdateKey);
    Settings().WriteString(setting::UpdateKey, "");  // the maker's key, built in
    EXPECT_FALSE(CheckForUpdate(m_folder));
    EXPECT_FALSE(Exists(AppFile("update.txt")));
    Settings().WriteString(setting::UpdateKey, testKey);

    // A cut-off update.txt does not match its signature and is not kept.
    m_site.Fault(R"({"path":"/vendor/update.txt","drop_after_bytes":40,"count":1})");
    EXPECT_FALSE(CheckForUpdate(m_folder));
    EXPECT_FALSE(Exists(AppFile("update.txt")));

    // The local copy changed after the check: nothing is downloaded.
    ASSERT_TRUE(CheckForUpdate(m_folder));
    std::string text = Read(AppFile("update.txt"));
    text.replace(text.find("F1=bexora"), 9, "F1=bexorb");
    ASSERT_TRUE(AtomicWriteFile(AppFile("update.txt"), text));
    m_site.ClearLog();
    {
        CUpdateDownload dlg(m_view, m_folder);
        RunUpdate(dlg);
        EXPECT_NE(m_view.StatusLine().find("signature"), std::string::npos) << m_view.StatusLine();
        EXPECT_EQ(dlg.OnSecondButton(), UpdateEnding::Cancel);
    }
    EXPECT_EQ(m_site.CountLog("/vendor/files/"), 0u);
    EXPECT_EQ(Read(AppFile("bexora")), "old binary");
    EXPECT_EQ(StoredVersion(), -1);
}

TEST_F(UpdateTest, AFileThatIsNotTheSignedOneReplacesNothing) {
    Publish("2.1.0.0", {{"one.dat", "new one"}, {"bexora", std::string(5000, 'n')}});
    ASSERT_TRUE(AtomicWriteFile(AppFile("one.dat"), "old one"));
    ASSERT_TRUE(AtomicWriteFile(AppFile("bexora"), "old binary", 0755));
    // Other bytes than signed; then the right ones cut short by a server
    // that sends no length, so only the checksum can tell.
    // And a body larger than signed, stopped at the signed size.
    const std::string larger = R"({"path":"/vendor/files/bexora","answer":")" + std::string(200000, 'n') + R"("})";
    for (const std::string fault : {std::string(R"({"path":"/vendor/files/bexora","answer":"evil"})"),
                                    std::string(R"({"path":"/vendor/files/bexora","drop_after_bytes":19})"), larger}) {
        SCOPED_TRACE(fault.substr(0, 60));
        m_site.ClearFaults();
        if (fault.find("drop") != std::string::npos) Publish("2.1.0.0", {{"one.dat", "new one"},
                                                                     {"bexora", std::string(5000, 'n')}}, true);
        m_site.Fault(fault);
        ASSERT_TRUE(CheckForUpdate(m_folder));
        CRecordingView view;
        CUpdateDownload dlg(view, m_folder);
        RunUpdate(dlg);
        EXPECT_EQ(view.FileLine(), "Download failed. Please try again later.");
        if (fault == larger) EXPECT_EQ(dlg.LastResult(), kDownloadTooLarge);
        EXPECT_EQ(Read(AppFile("bexora")), "old binary");
        EXPECT_EQ(Read(AppFile("one.dat")), "old one");
        EXPECT_FALSE(Exists(AppFile("bexora.bak")));
        EXPECT_EQ(dlg.OnSecondButton(), UpdateEnding::Cancel);
    }
    EXPECT_EQ(StoredVersion(), -1);
}

TEST_F(UpdateTest, ASwapFailingHalfWayPutsEveryFileBack) {
    Publish("2.1.0.0", {{"bexora", "new binary"}, {"added.dat", "added"}, {"data", "new data"}});
    ASSERT_TRUE(AtomicWriteFile(AppFile("bexora"), "old binary", 0755));
    ASSERT_TRUE(AtomicWriteFile(AppFile("bexora.bak"), "older binary", 0755));
    // The third name is taken by a folder: its swap fails after two others.
    ASSERT_TRUE(MakeDirs(AppFile("data")));
    ASSERT_TRUE(CheckForUpdate(m_folder));
    CUpdateDownload dlg(m_view, m_folder);
    RunUpdate(dlg);
    EXPECT_EQ(m_view.FileLine(), "Download failed. Please try again later.");
    EXPECT_NE(m_view.StatusLine().find("put back"), std::string::npos) << m_view.StatusLine();
    EXPECT_EQ(Read(AppFile("bexora")), "old binary");
    EXPECT_EQ(Read(AppFile("bexora.bak")), "older binary");
    EXPECT_FALSE(Exists(AppFile("added.dat")));
    EXPECT_EQ(StoredVersion(), -1);

    // Once the way is clear the retry completes; running it again keeps
    // the last good copy as the .bak.
    ASSERT_EQ(rmdir(AppFile("data").c_str()), 0);
    for (int run = 0; run < 2; ++run) {
        CRecordingView view;
        CUpdateDownload again(view, m_folder);
        RunUpdate(again);
        EXPECT_EQ(view.FileLine(), "Update completed successfully!");
        EXPECT_EQ(Read(AppFile("bexora")), "new binary");
        EXPECT_EQ(Read(AppFile("bexora.bak")), "old binary");
    }
    // No staging folder is left behind.
    struct stat st {};
    EXPECT_EQ(lstat(AppFile(".bexora-update.lock").c_str(), &st), 0);
    EXPECT_EQ(std::system(("test $(ls -A " + m_folder + " | grep -c '^[.]bexora-update') = 1").c_str()), 0);
}

// A crash (the process ends) before any of the swap's renames and links,
// then a start: the folder is all new when every new file is still there,
// all old otherwise, and the journal and the staging folder are gone.
TEST_F(UpdateTest, ASwapCutShortIsFinishedOrUndoneAtTheNextStart) {
    const int kSteps = 9;  // 8 renames and links, then the journal's removal
    for (int crashAt = 0; crashAt <= kSteps; ++crashAt) {
        for (bool damaged : {false, true}) {
            SCOPED_TRACE("crash before step " + std::to_string(crashAt) + (damaged ? ", a staged file damaged" : ""));
            const std::string dir = m_folder + "/c" + std::to_string(crashAt) + (damaged ? "d" : "");
            const std::string stage = dir + "/.bexora-update.test";
            ASSERT_TRUE(MakeDirs(stage, 0755));
            for (const auto& [name, text] : std::vector<std::pair<std::string, std::string>>{
                     {"bexora", "old binary"}, {"readme.txt", "old readme"},
                     {"readme.txt.bak", "older readme"}, {"bexora.version", "2.0.0.0\n"}})
                ASSERT_TRUE(AtomicWriteFile(dir + "/" + name, text, name == "bexora" ? 0755 : 0644));
            std::vector<CSwapFile> files;
            for (const auto& [name, text] : std::vector<std::pair<std::string, std::string>>{
                     {"bexora", "new binary"}, {"readme.txt", "new readme"}, {"added.dat", "added"},
                     {"bexora.version", "2.1.0.0\n"}}) {
                CSwapFile f{name, "", 0};
                ASSERT_TRUE(AtomicWriteFile(stage + "/" + name, text, 0644));
                ASSERT_TRUE(Sha256File(stage + "/" + name, f.m_strSha256, f.m_nSize));
                files.push_back(f);
            }
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                SetSwapCrashForTests(crashAt);
                std::string error;
                _exit(SwapInFiles(dir, stage, files, "2.1.0.0", error) ? 0 : 1);
            }
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFEXITED(status));
            EXPECT_EQ(WEXITSTATUS(status), crashAt < kSteps ? 86 : 0);
            EXPECT_EQ(Exists(dir + "/update.journal"), crashAt < kSteps);
            // The version file is the last to move: damaging its staged copy
            // leaves a new file missing until the very end.
            if (damaged && crashAt < kSteps) ASSERT_TRUE(AtomicWriteFile(stage + "/bexora.version", "9.9.9.9\n"));

            // The next start; its update check does it (one row goes through
            // the whole check, the others straight to the recovery).
            std::string report;
            if (crashAt == 3)
                report = CheckUpdateOffer(dir).m_strRecovered;
            else
                RecoverInterruptedSwap(dir, report);
            const bool isNew = !damaged || crashAt >= kSteps - 1;
            EXPECT_EQ(report.empty(), crashAt == kSteps) << report;
            if (crashAt < kSteps)
                EXPECT_NE(report.find(isNew ? "finished" : "put back"), std::string::npos) << report;
            const std::vector<std::pair<std::string, std::string>> want =
                isNew ? std::vector<std::pair<std::string, std::string>>{
                            {"bexora", "new binary"}, {"bexora.bak", "old binary"},
                            {"readme.txt", "new readme"}, {"readme.txt.bak", "old readme"},
                            {"added.dat", "added"}, {"bexora.version", "2.1.0.0\n"}}
                      : std::vector<std::pair<std::string, std::string>>{
                            {"bexora", "old binary"}, {"bexora.bak", "<missing>"},
                            {"readme.txt", "old readme"}, {"readme.txt.bak", "older readme"},
                            {"added.dat", "<missing>"}, {"bexora.version", "2.0.0.0\n"}};
            for (const auto& [name, text] : want) EXPECT_EQ(Read(dir + "/" + name), text) << name;
            struct stat st {};
            ASSERT_EQ(stat((dir + "/bexora").c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, 0755u);
            EXPECT_FALSE(Exists(dir + "/update.journal"));
            EXPECT_FALSE(Exists(stage));
        }
    }
}

// The folder's version after the swap must be the signed one: an update
// whose own version file says otherwise is reported and put back.
TEST_F(UpdateTest, AFolderNotAtTheSignedVersionIsReportedAndPutBack) {
    ASSERT_TRUE(AtomicWriteFile(AppFile("bexora"), "old binary", 0755));
    for (const auto& [shipped, ok] : std::vector<std::pair<std::string, bool>>{
             {"2.0.5.0\n", false}, {"2.1.0.0\n", true}}) {
        SCOPED_TRACE(shipped);
        Publish("2.1.0.0", {{"bexora", "new binary"}, {"bexora.version", shipped}});
        ASSERT_TRUE(CheckForUpdate(m_folder));
        CRecordingView view;
        CUpdateDownload dlg(view, m_folder);
        RunUpdate(dlg);
        EXPECT_EQ(dlg.OnSecondButton(), ok ? UpdateEnding::Ok : UpdateEnding::Cancel);
        EXPECT_EQ(Read(AppFile("bexora")), ok ? "new binary" : "old binary");
        EXPECT_EQ(Read(AppFile("bexora.version")), ok ? shipped : "<missing>");
        EXPECT_EQ(StoredVersion(), ok ? 2100 : -1);
        EXPECT_FALSE(Exists(AppFile("update.journal")));
        if (!ok)
            EXPECT_NE(view.StatusLine().find("version 2.0.5.0, not the signed 2.1.0.0"), std::string::npos)
                << view.StatusLine();
    }
}

TEST_F(UpdateTest, OneUpdaterAtATime) {
    Publish("2.1.0.0", {{"bexora", "new binary"}});
    ASSERT_TRUE(AtomicWriteFile(AppFile("bexora"), "old binary", 0755));
    ASSERT_TRUE(CheckForUpdate(m_folder));
    m_site.Fault(R"({"path":"/vendor/files/bexora","stall":true,"stall_ms":20000,"count":1})");
    CRecordingView firstView, secondView;
    {
        CUpdateDownload first(firstView, m_folder), second(secondView, m_folder);
        first.OnFirstButton();
        ASSERT_TRUE(m_site.WaitForRequest("/vendor/files/bexora"));
        second.OnFirstButton();
        second.WaitForWorker();
        EXPECT_NE(secondView.StatusLine().find("Another update"), std::string::npos) << secondView.StatusLine();
        EXPECT_EQ(second.OnSecondButton(), UpdateEnding::Cancel);
        EXPECT_EQ(Read(AppFile("bexora")), "old binary");
        first.OnFirstButton();  // cancels the stalled download
        first.WaitForWorker();
    }
    EXPECT_EQ(Read(AppFile("bexora")), "old binary");
    // The lock went with the first updater.
    CRecordingView view;
    CUpdateDownload third(view, m_folder);
    RunUpdate(third);
    EXPECT_EQ(view.FileLine(), "Update completed successfully!");
    EXPECT_EQ(Read(AppFile("bexora")), "new binary");
    EXPECT_EQ(Read(AppFile("bexora.bak")), "old binary");
}

TEST_F(UpdateTest, RootAndForeignFoldersAreToldToUseThePackageManager) {
    Publish("2.1.0.0", {{"bexora", "new binary"}});
    ASSERT_TRUE(AtomicWriteFile(AppFile("bexora"), "old binary", 04755));
    struct Case {
        const char* what;
        std::function<void()> set;
        const char* says;
    } cases[] = {
        {"root", [] { SetUpdateUidForTests(0); }, "as root"},
        {"another user's folder", [this] { ASSERT_EQ(chown(m_folder.c_str(), 0, 0), 0); }, "do not own"},
        {"read-only folder", [this] { ASSERT_EQ(chmod(m_folder.c_str(), 0555), 0); }, "do not own"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.set();
        CUpdateOffer offer = CheckUpdateOffer(m_folder);
        EXPECT_FALSE(offer.m_bOffered);
        EXPECT_TRUE(offer.m_bManaged);
        EXPECT_NE(offer.m_strProblem.find("package manager"), std::string::npos);
        EXPECT_NE(offer.m_strProblem.find(c.says), std::string::npos) << offer.m_strProblem;
        EXPECT_FALSE(Exists(AppFile("update.txt")));

        // Told once at start-up, not at every start; each time from the menu.
        Settings().WriteInt(setting::UpdateToldVersion, 0);
        int dialogs = 0;
        auto run = [&] { return ++dialogs > 0; };
        for (int start = 0; start < 2; ++start) EXPECT_TRUE(SplashUpdateCheck(m_folder, [](const std::string&) {}, run));
        EXPECT_FALSE(CheckProgramUpdateCommand(m_folder, run));
        auto prompts = TakeShownPrompts();
        ASSERT_EQ(prompts.size(), 2u);
        EXPECT_EQ(prompts[0], offer.m_strProblem);
        EXPECT_EQ(dialogs, 0);

        SetUpdateUidForTests(kUser);
        ASSERT_EQ(chown(m_folder.c_str(), kUser, kUser), 0);
        ASSERT_EQ(chmod(m_folder.c_str(), 0755), 0);
    }
    // The update itself refuses too, and never copies a set-uid bit.
    ASSERT_TRUE(CheckForUpdate(m_folder));
    SetUpdateUidForTests(0);
    {
        CUpdateDownload dlg(m_view, m_folder);
        RunUpdate(dlg);
        EXPECT_NE(m_view.StatusLine().find("root"), std::string::npos);
    }
    EXPECT_EQ(Read(AppFile("bexora")), "old binary");
    SetUpdateUidForTests(kUser);
    CRecordingView view;
    CUpdateDownload dlg(view, m_folder);
    RunUpdate(dlg);
    struct stat st {};
    ASSERT_EQ(stat(AppFile("bexora").c_str(), &st), 0);
    EXPECT_EQ(Read(AppFile("bexora")), "new binary");
    EXPECT_EQ(st.st_mode & 07777, 0755u);
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

    Publish("2.0.0.0", {});
    EXPECT_TRUE(SplashUpdateCheck(m_folder, status, ok));
    EXPECT_FALSE(CheckProgramUpdateCommand(m_folder, ok));
    EXPECT_EQ(dialogs, 0);
    Publish("2.1.0.0", {});
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

TEST_F(UpdateTest, OnlyANewerSignedSiteProfileIsTakenAndItAppliesAtOnce) {
    // The delivered profile lives in the user's data folder: this test's own.
    struct DataHome {
        explicit DataHome(const std::string& dir) {
            if (const char* old = getenv("XDG_DATA_HOME")) m_old = old;
            setenv("XDG_DATA_HOME", dir.c_str(), 1);
        }
        ~DataHome() { m_old ? setenv("XDG_DATA_HOME", m_old->c_str(), 1) : unsetenv("XDG_DATA_HOME"); }
        std::optional<std::string> m_old;
    } home(m_site.Dir() + "/data");
    const std::string path = UpdatedProfilePath();
    auto profile = [](const std::string& version, const std::string& name, const std::string& extra = "") {
        std::string t = BuiltinProfileText();
        for (const auto& [key, value] : {std::pair{"name", name}, std::pair{"version", version}}) {
            const size_t at = t.find(std::string("\n") + key + " = ") + 1;
            t.replace(at, t.find('\n', at) - at, key + std::string(" = ") + value);
        }
        return t + extra;
    };
    // The site's update.txt with the profile beside it (none: no profile).
    auto publish = [](const std::optional<std::string>& text, const std::string& signature = "",
                      const char* program = "1.0.9.9") {
        auction::Json j = auction::Json::Object();
        j["version"] = program;
        j["profile"] = text ? auction::Json(*text) : auction::Json();
        if (!signature.empty()) j["profile_signature"] = signature;
        return j.Dump();
    };
    const std::string builtin = BuiltinProfile().Name(), three = profile("3", "Three"),
                      four = profile("4", "Four");
    std::string tampered = four;
    tampered[tampered.find("Four")] = 'f';

    struct Step {
        const char* what;
        std::string publish, fault;
        bool root;            // a package manager's install: the program is not updated
        const char* taken;    // the name of the profile taken, or nullptr
        const char* problem;  // in the problem text ("" for none)
        std::string inUse;    // CurrentProfile()'s name afterwards
        const std::string* onDisk;
    } steps[] = {
        {"none on the site", publish(std::nullopt), "", false, nullptr, "", builtin, nullptr},
        {"not above the built-in one", publish(profile("1", "One")), "", false, nullptr, "", builtin, nullptr},
        {"a good one", publish(three), "", false, "Three", "", "Three", &three},
        {"the same again", publish(three), "", false, nullptr, "", "Three", &three},
        {"one byte changed after signing", publish(tampered, auction::TestUpdateSignature(four)), "", false,
         nullptr, "signature", "Three", &three},
        {"no signature", publish(four), R"({"path":"/vendor/site.profile.sig","status":404})", false, nullptr,
         "signature", "Three", &three},
        {"an older one", publish(profile("2", "Two")), "", false, nullptr, "older", "Three", &three},
        {"not a profile", publish(profile("5", "Five", "colour = red\n")), "", false, nullptr, "does not read",
         "Three", &three},
        {"no whole version", publish(profile("5b", "Five")), "", false, nullptr, "no whole number", "Three",
         &three},
        {"over 1 MB", publish(four), R"({"path":"/vendor/site.profile","pad_bytes":1100000})", false, nullptr,
         "larger than 1 MB", "Three", &three},
        {"a package manager's install", publish(four, "", "2.1.0.0"), "", true, "Four", "", "Four", &four},
        {"none on the site again", publish(std::nullopt), "", false, nullptr, "", "Four", &four},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        m_site.ClearFaults();
        m_site.Control("POST", "/_control/update", step.publish);
        if (!step.fault.empty()) m_site.Fault(step.fault);
        SetUpdateUidForTests(step.root ? 0 : kUser);
        const CUpdateOffer offer = CheckUpdateOffer(m_folder);
        EXPECT_EQ(offer.m_bManaged, step.root);
        EXPECT_EQ(offer.m_profile.m_bTaken, step.taken != nullptr);
        EXPECT_EQ(offer.m_profile.m_strName, step.taken ? step.taken : "");
        if (*step.problem == '\0') {
            EXPECT_EQ(offer.m_profile.m_strProblem, "");
        } else {
            EXPECT_NE(offer.m_profile.m_strProblem.find(step.problem), std::string::npos)
                << offer.m_profile.m_strProblem;
        }
        EXPECT_EQ(CurrentProfile()->Name(), step.inUse);
        EXPECT_EQ(Read(path), step.onDisk ? *step.onDisk : "<missing>");
        if (step.onDisk) {
            EXPECT_TRUE(VerifyUpdateSignature(Read(path), Read(path + ".sig"), UpdatePublicKey()));
            struct stat st {};
            ASSERT_EQ(stat(path.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, 0600u);
        }
        // The menu command tells a refusal before its own answer.
        if (*step.problem != '\0') {
            CheckProgramUpdateCommand(m_folder, [] { return false; });
            auto prompts = TakeShownPrompts();
            ASSERT_FALSE(prompts.empty());
            EXPECT_EQ(prompts[0], offer.m_profile.m_strProblem);
        }
    }
    SetUpdateUidForTests(kUser);
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
