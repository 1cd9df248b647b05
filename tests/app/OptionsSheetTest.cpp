// The options sheet on a private settings file: what OK writes and in what
// order, what Cancel and refused input leave alone, the User Info page's
// account handling, and "Test Login" against the local auction site run as
// its own process.

#include <sys/wait.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <csignal>
#include <fstream>
#include <sstream>

#include "base/Prompt.h"
#include "base/Settings.h"
#include "site/SiteProfile.h"
#include "base/ui/DialogRunner.h"
#include "app/OptionsSheet.h"
#include "bidding/BidRequest.h"
#include "listctrl/ListTestSupport.h"
#include "site/CookieStore.h"
#include "text/TextTools.h"
#include "support/TempDir.h"

namespace bexora::test {
namespace {

static ::testing::Environment* const g_qt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Encoded(const std::string& password) {
    std::string out;
    EXPECT_TRUE(Base64Encode(password, out));
    return out;
}

// "[Section]/Key" of every setting line, in file order.
std::vector<std::string> KeysInOrder(const std::string& text) {
    std::vector<std::string> keys;
    std::istringstream in(text);
    std::string line, section;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        if (line[0] == '[')
            section = line.substr(1, line.find(']') - 1);
        else if (line.find('=') != std::string::npos)
            keys.push_back(section + "/" + line.substr(0, line.find('=')));
    }
    return keys;
}

// Every setting the sheet writes, in its writing order.
const std::vector<const SettingDef*>& Written() {
    using namespace setting;
    static const std::vector<const SettingDef*> defs = {
        &LoadSave,  &UpdateAll, &PromptPending, &PromptSave,   &SaveWindow,     &HomepageLeftPanel,
        &SavePass,  &UserId,    &Password,      &AddSel,       &AddSaveDefault, &AddShowWindow,
        &UpdateMin, &UpdateSec, &UpdateRecent,  &UpdateEndDay, &UpdateEndHour,  &UpdateEndMin,
        &BidHour,   &BidMin,    &BidSec,        &MessageLevel};
    return defs;
}

class OptionsSheetTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetSettingsPath(m_path);
        TakeShownPrompts();
        SetDialogRunner({});
    }
    void TearDown() override {
        SetDialogRunner({});
        SetSettingsPath("");
        TakeShownPrompts();
    }
    std::unique_ptr<COptionsSheet> Sheet(std::string address = "") {
        m_address = std::move(address);
        return std::make_unique<COptionsSheet>(nullptr, [this] { return m_address; });
    }
    static void ShowPage(COptionsSheet& sheet, int page) {
        ShowAndSettle(sheet, 520, 420);
        sheet.Tabs()->setCurrentIndex(page);
        QApplication::processEvents();
    }
    template <class W>
    static W* Control(COptionsSheet& sheet, int page, int id) {
        auto* w = qobject_cast<W*>(sheet.PageControl(page, id));
        EXPECT_NE(w, nullptr) << "page " << page << " control " << id;
        return w;
    }
    static void Type(QLineEdit* edit, const QString& text) {
        edit->selectAll();
        edit->insert(text);
    }
    // A settings file holding a value other than the default for every
    // setting the sheet edits.
    void WriteCustomFile() {
        CSettingsStore& s = Settings();
        s.WriteInt(setting::LoadSave, 0);
        s.WriteInt(setting::UpdateAll, 1);
        s.WriteInt(setting::PromptPending, 0);
        s.WriteInt(setting::PromptSave, 0);
        s.WriteInt(setting::SaveWindow, 2);  // not a check box value: kept as it is
        s.WriteString(setting::HomepageLeftPanel, "http://home.example/\xe9");
        s.WriteInt(setting::SavePass, 1);
        s.WriteString(setting::UserId, "ann");
        s.WriteString(setting::Password, Encoded("p\xe4ss+word"));
        s.WriteInt(setting::AddSel, 1);
        s.WriteInt(setting::AddSaveDefault, 1);
        s.WriteInt(setting::AddShowWindow, 1);
        s.WriteInt(setting::UpdateMin, -5);
        s.WriteInt(setting::UpdateSec, 2147483647);
        s.WriteInt(setting::UpdateRecent, 1);
        s.WriteInt(setting::UpdateEndDay, 3);
        s.WriteInt(setting::UpdateEndHour, 4);
        s.WriteInt(setting::UpdateEndMin, 5);
        s.WriteInt(setting::BidHour, 6);
        s.WriteInt(setting::BidMin, 7);
        s.WriteInt(setting::BidSec, 8);
        s.WriteInt(setting::MessageLevel, 3);
    }

    TempDir m_dir;
    std::string m_path = m_dir.File("settings.ini");
    std::string m_address;
};

TEST_F(OptionsSheetTest, PagesInOrderWithTheirControls) {
    auto sheet = Sheet();
    EXPECT_EQ(sheet->windowTitle(), "Options");
    ASSERT_EQ(sheet->Tabs()->count(), 6);
    EXPECT_NE(dynamic_cast<CGeneralPage*>(sheet->Tabs()->widget(0)), nullptr);
    EXPECT_NE(dynamic_cast<CHomePage*>(sheet->Tabs()->widget(1)), nullptr);
    EXPECT_NE(dynamic_cast<CAddPage*>(sheet->Tabs()->widget(2)), nullptr);
    EXPECT_NE(dynamic_cast<CUserPage*>(sheet->Tabs()->widget(3)), nullptr);
    EXPECT_NE(dynamic_cast<CMsgPage*>(sheet->Tabs()->widget(4)), nullptr);
    EXPECT_NE(dynamic_cast<CUpdatePage*>(sheet->Tabs()->widget(5)), nullptr);
    for (int id : {1039, 1040, 1042, 1022, 1021}) Control<QCheckBox>(*sheet, 0, id);
    Control<QLineEdit>(*sheet, 1, 1043);
    for (int id : {1035, 1037}) Control<QRadioButton>(*sheet, 2, id);
    for (int id : {1039, 1036}) Control<QCheckBox>(*sheet, 2, id);
    for (int id : {1000, 1032, 1031}) Control<QLineEdit>(*sheet, 3, id);
    Control<QCheckBox>(*sheet, 3, 1014);
    Control<QPushButton>(*sheet, 3, 1067);
    for (int id : {1025, 1024, 1026, 1005, 1007, 1012, 1010, 1008})
        Control<QLineEdit>(*sheet, 5, id);
    Control<QCheckBox>(*sheet, 5, 1046);
    EXPECT_EQ(sheet->PageControl(1, 1039), nullptr);
    EXPECT_EQ(sheet->PageControl(9, 1039), nullptr);

    ShowPage(*sheet, 0);
    EXPECT_FALSE(sheet->PageControl(0, 1021)->isVisible());  // created hidden
    EXPECT_TRUE(sheet->PageControl(0, 1022)->isVisible());
    EXPECT_EQ(Control<QCheckBox>(*sheet, 3, 1014)->text(), "Save Username && Password");
    EXPECT_EQ(Control<QLineEdit>(*sheet, 3, 1032)->echoMode(), QLineEdit::Password);
    EXPECT_EQ(Control<QLineEdit>(*sheet, 3, 1031)->echoMode(), QLineEdit::Password);
}

TEST_F(OptionsSheetTest, OkWithoutVisitingWritesBackExactlyWhatWasLoaded) {
    WriteCustomFile();
    const std::string before = ReadFile(m_path);
    auto sheet = Sheet();
    EXPECT_EQ(Control<QLineEdit>(*sheet, 3, 1032)->text(), QString::fromUtf8("p\xc3\xa4ss+word"));
    EXPECT_EQ(Control<QLineEdit>(*sheet, 3, 1031)->text(), QString::fromUtf8("p\xc3\xa4ss+word"));
    EXPECT_TRUE(Control<QRadioButton>(*sheet, 2, 1037)->isChecked());
    sheet->accept();
    EXPECT_EQ(sheet->result(), QDialog::Accepted);
    EXPECT_EQ(ReadFile(m_path), before);
    EXPECT_TRUE(TakeShownPrompts().empty());
}

TEST_F(OptionsSheetTest, OkOnAnEmptyFileWritesEveryDefaultInOrder) {
    auto sheet = Sheet();
    sheet->accept();
    ASSERT_EQ(sheet->result(), QDialog::Accepted);
    CSettingsStore& s = Settings();
    for (const SettingDef* def : Written()) {
        SCOPED_TRACE(def->key);
        if (def->type == SettingType::Int) {
            EXPECT_EQ(s.GetProfileInt(def->section, def->key, -999), def->intDefault);
        } else if (def == &setting::HomepageLeftPanel) {
            EXPECT_EQ(s.GetProfileString(def->section, def->key, "-"), "http://www.ebay.com/");
        } else {
            EXPECT_EQ(s.GetProfileString(def->section, def->key, "-"), "");
        }
    }
    // A fresh file lists the keys as they were written: sections in the
    // order first written, keys within them likewise.
    std::vector<std::string> expected = {"Program Start/Load Save",
                                         "Program Start/Update all",
                                         "Program exit/Prompt pending",
                                         "Program exit/Prompt Save",
                                         "Program exit/Save Window",
                                         "Homepage/left panel",
                                         "Bid Dialog/Save Pass",
                                         "Bid Dialog/User ID",
                                         "Bid Dialog/Password",
                                         "Bid Dialog/Bid hour",
                                         "Bid Dialog/Bid min",
                                         "Bid Dialog/Bid sec",
                                         "Add Selection/AddSel",
                                         "Add Selection/Save default",
                                         "Add Selection/Show Window",
                                         "Update Interval/Update Min",
                                         "Update Interval/Update Sec",
                                         "Update Interval/Update Recent",
                                         "Update Interval/Update end day",
                                         "Update Interval/Update end hour",
                                         "Update Interval/Update end Min",
                                         "Message Level/Level"};
    EXPECT_EQ(KeysInOrder(ReadFile(m_path)), expected);
}

TEST_F(OptionsSheetTest, CancelAfterChangesOnEveryPageWritesNothing) {
    WriteCustomFile();
    const std::string before = ReadFile(m_path);
    SetDialogRunner([this](QDialog& d) {
        auto& sheet = dynamic_cast<COptionsSheet&>(d);
        for (int page = 0; page < 6; ++page) ShowPage(sheet, page);
        Control<QCheckBox>(sheet, 0, 1039)->click();
        Type(Control<QLineEdit>(sheet, 1, 1043), "about:blank");
        Control<QRadioButton>(sheet, 2, 1035)->click();
        Type(Control<QLineEdit>(sheet, 3, 1000), "bob");
        sheet.findChild<QRadioButton*>("level0")->click();
        Type(Control<QLineEdit>(sheet, 5, 1025), "99");
        sheet.reject();
        return sheet.result();
    });
    EXPECT_FALSE(RunOptionsSheet(nullptr, [] { return std::string("x"); }));
    EXPECT_EQ(ReadFile(m_path), before);
}

TEST_F(OptionsSheetTest, ChangesOnThePagesAreWrittenOnOk) {
    SetDialogRunner([this](QDialog& d) {
        auto& sheet = dynamic_cast<COptionsSheet&>(d);
        ShowPage(sheet, 0);
        Control<QCheckBox>(sheet, 0, 1039)->click();  // Load Save 1 -> 0
        Control<QRadioButton>(sheet, 2, 1037)->click();
        Control<QCheckBox>(sheet, 2, 1036)->click();
        sheet.findChild<QRadioButton*>("level2")->click();
        Type(Control<QLineEdit>(sheet, 5, 1008), " 45 ");
        Type(Control<QLineEdit>(sheet, 5, 1012), "-2");
        EXPECT_EQ(Control<QLineEdit>(sheet, 5, 1060)->text(), "10");  // keep awake, the default
        Type(Control<QLineEdit>(sheet, 5, 1060), "25");
        EXPECT_EQ(Control<QLineEdit>(sheet, 5, 1061)->text(), "60");  // the check ahead, on
        Type(Control<QLineEdit>(sheet, 5, 1061), "0");
        auto* place = sheet.findChild<QComboBox*>("keepPasswords");
        EXPECT_EQ(place->currentIndex(), 0);  // the keyring, where one answers
        place->setCurrentIndex(1);
        sheet.accept();
        return sheet.result();
    });
    EXPECT_TRUE(RunOptionsSheet(nullptr, {}));
    CSettingsStore& s = Settings();
    EXPECT_EQ(s.GetString(setting::KeepPasswords), "file");
    EXPECT_EQ(s.GetInt(setting::LoadSave), 0);
    EXPECT_EQ(s.GetInt(setting::AddSel), 1);
    EXPECT_EQ(s.GetInt(setting::AddShowWindow), 1);
    EXPECT_EQ(s.GetInt(setting::MessageLevel), 2);
    EXPECT_EQ(s.GetInt(setting::BidSec), 45);
    EXPECT_EQ(s.GetInt(setting::BidHour), -2);
    EXPECT_EQ(s.GetInt(setting::SleepGuardMin), 25);
    EXPECT_EQ(s.GetInt(setting::PreFlightSec), 0);
}

TEST_F(OptionsSheetTest, AddPageStartsFastUnlessTheSelectionIsSaved) {
    Settings().WriteInt(setting::AddSel, 1);
    Settings().WriteInt(setting::AddSaveDefault, 0);
    auto sheet = Sheet();
    EXPECT_TRUE(Control<QRadioButton>(*sheet, 2, 1035)->isChecked());
    sheet->accept();
    EXPECT_EQ(Settings().GetInt(setting::AddSel), 0);
}

TEST_F(OptionsSheetTest, WithoutSavePassTheAccountIsNeitherShownNorOverwritten) {
    CSettingsStore& s = Settings();
    s.WriteInt(setting::SavePass, 0);
    s.WriteString(setting::UserId, "ann");
    s.WriteString(setting::Password, Encoded("secret"));
    auto sheet = Sheet();
    ShowPage(*sheet, COptionsSheet::User);
    for (int id : {1000, 1032, 1031})
        EXPECT_TRUE(Control<QLineEdit>(*sheet, 3, id)->text().isEmpty()) << id;
    EXPECT_FALSE(Control<QCheckBox>(*sheet, 3, 1014)->isChecked());
    // Typing without ticking the box changes nothing stored.
    Type(Control<QLineEdit>(*sheet, 3, 1000), "bob");
    sheet->accept();
    ASSERT_EQ(sheet->result(), QDialog::Accepted);
    EXPECT_EQ(s.GetInt(setting::SavePass), 0);
    EXPECT_EQ(s.GetString(setting::UserId), "ann");
    EXPECT_EQ(Base64Decode(s.GetString(setting::Password)), "secret");

    // Ticking it stores what was typed, the password encoded.
    auto again = Sheet();
    ShowPage(*again, COptionsSheet::User);
    Control<QCheckBox>(*again, 3, 1014)->click();
    Type(Control<QLineEdit>(*again, 3, 1000), "bob");
    Type(Control<QLineEdit>(*again, 3, 1032), "n3w pass");
    again->accept();
    EXPECT_EQ(s.GetInt(setting::SavePass), 1);
    EXPECT_EQ(s.GetString(setting::UserId), "bob");
    EXPECT_EQ(s.GetString(setting::Password), Encoded("n3w pass"));

    // Clearing the box later keeps that account in the file.
    auto third = Sheet();
    ShowPage(*third, COptionsSheet::User);
    EXPECT_EQ(Control<QLineEdit>(*third, 3, 1000)->text(), "bob");
    Control<QCheckBox>(*third, 3, 1014)->click();
    Type(Control<QLineEdit>(*third, 3, 1032), "other");
    third->accept();
    EXPECT_EQ(s.GetInt(setting::SavePass), 0);
    EXPECT_EQ(s.GetString(setting::Password), Encoded("n3w pass"));
}

TEST_F(OptionsSheetTest, HomepageButtons) {
    Settings().WriteString(setting::SiteHomeUrl, "http://127.0.0.1:9/");
    Settings().WriteString(setting::HomepageLeftPanel, "http://old/");
    auto sheet = Sheet("  ");
    auto* field = Control<QLineEdit>(*sheet, 1, 1043);
    EXPECT_EQ(field->text(), "http://old/");
    auto click = [&](const char* name) { sheet->findChild<QPushButton*>(name)->click(); };
    click("useDefault");
    EXPECT_EQ(field->text(), "http://127.0.0.1:9/");
    click("useBlank");
    EXPECT_EQ(field->text(), "about:blank");
    m_address = "";
    click("useCurrent");
    EXPECT_EQ(field->text(), "");
    m_address = "http://www.example.com/item?x=\xe9";
    click("useCurrent");
    EXPECT_EQ(field->text(), QString::fromUtf8("http://www.example.com/item?x=\xc3\xa9"));

    // The site profile: a file that does not read keeps the sheet open on
    // the field, saying which line is wrong; one that reads is taken.
    auto* profile = sheet->findChild<QLineEdit*>("siteProfile");
    ASSERT_NE(profile, nullptr);
    EXPECT_EQ(profile->text(), "");
    const std::string broken = m_path + ".profile";
    WriteTextFile("name = half\nitem.title\n", broken);
    Type(profile, broken.c_str());
    sheet->accept();
    EXPECT_NE(sheet->result(), QDialog::Accepted);
    const std::vector<std::string> said = TakeShownPrompts();
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find("line 2: no \"=\""), std::string::npos) << said[0];
    EXPECT_EQ(sheet->focusWidget(), profile);
    const std::string layout2 = std::string(BEXORA_TEST_DATA) + "/../../data/profiles/layout2.profile";
    Type(profile, layout2.c_str());
    sheet->accept();
    EXPECT_EQ(sheet->result(), QDialog::Accepted);
    EXPECT_EQ(Settings().GetString(setting::HomepageLeftPanel),
              "http://www.example.com/item?x=\xe9");
    EXPECT_EQ(Settings().GetString(setting::SiteProfile), layout2);
    EXPECT_EQ(CurrentProfile()->Name(), "Bexora Market (redesigned pages)");
    Settings().WriteString(setting::SiteProfile, "");
}

TEST_F(OptionsSheetTest, UpdateWithinFieldsFollowTheirCheckBox) {
    auto sheet = Sheet();
    ShowPage(*sheet, COptionsSheet::Update);
    auto* box = Control<QCheckBox>(*sheet, 5, 1046);
    EXPECT_FALSE(box->isChecked());
    for (int id : {1026, 1005, 1007}) EXPECT_FALSE(sheet->PageControl(5, id)->isEnabled()) << id;
    for (int id : {1025, 1024, 1012, 1010, 1008})
        EXPECT_TRUE(sheet->PageControl(5, id)->isEnabled()) << id;
    box->click();
    for (int id : {1026, 1005, 1007}) EXPECT_TRUE(sheet->PageControl(5, id)->isEnabled()) << id;
    box->click();
    EXPECT_FALSE(sheet->PageControl(5, 1005)->isEnabled());
}

TEST_F(OptionsSheetTest, NonIntegersKeepTheSheetOpenOnTheFieldAndWriteNothing) {
    WriteCustomFile();
    const std::string before = ReadFile(m_path);
    auto sheet = Sheet();
    ShowPage(*sheet, COptionsSheet::General);
    for (const char* bad : {"12a", "", "  ", "1.5", "99999999999", "0x10"}) {
        SCOPED_TRACE(bad);
        auto* field = Control<QLineEdit>(*sheet, 5, 1010);
        Type(field, bad);
        sheet->Tabs()->setCurrentIndex(COptionsSheet::General);
        sheet->accept();
        EXPECT_NE(sheet->result(), QDialog::Accepted);
        EXPECT_TRUE(sheet->isVisible());
        EXPECT_EQ(TakeShownPrompts(), std::vector<std::string>{"Please enter an integer."});
        EXPECT_EQ(sheet->Tabs()->currentIndex(), COptionsSheet::Update);
        EXPECT_EQ(sheet->focusWidget(), field);
        EXPECT_EQ(ReadFile(m_path), before);
    }
    // A disabled field is checked too, since its value is written.
    Type(Control<QLineEdit>(*sheet, 5, 1010), "7");
    Control<QCheckBox>(*sheet, 5, 1046)->click();
    Type(Control<QLineEdit>(*sheet, 5, 1026), "x");
    Control<QCheckBox>(*sheet, 5, 1046)->click();
    sheet->accept();
    EXPECT_EQ(TakeShownPrompts().size(), 1u);
    EXPECT_EQ(sheet->focusWidget(), sheet->PageControl(5, 1026));

    Type(Control<QLineEdit>(*sheet, 5, 1026), "+3");
    sheet->accept();
    EXPECT_EQ(sheet->result(), QDialog::Accepted);
    EXPECT_EQ(Settings().GetInt(setting::UpdateEndDay), 3);
    EXPECT_EQ(Settings().GetInt(setting::BidMin), 7);
}

TEST_F(OptionsSheetTest, APasswordTooLongToStoreIsRefusedBeforeAnythingIsWritten) {
    WriteCustomFile();
    const std::string before = ReadFile(m_path);
    auto sheet = Sheet();
    ShowPage(*sheet, COptionsSheet::Update);
    auto* password = Control<QLineEdit>(*sheet, 3, 1032);
    Type(password, QString(73, 'p'));
    sheet->accept();
    EXPECT_NE(sheet->result(), QDialog::Accepted);
    EXPECT_EQ(TakeShownPrompts(), std::vector<std::string>{kSavedPasswordTooLongText});
    EXPECT_EQ(sheet->Tabs()->currentIndex(), COptionsSheet::User);
    EXPECT_EQ(sheet->focusWidget(), password);
    EXPECT_EQ(ReadFile(m_path), before);

    Type(password, QString(72, 'p'));
    sheet->accept();
    EXPECT_EQ(sheet->result(), QDialog::Accepted);
    EXPECT_EQ(Base64Decode(Settings().GetString(setting::Password)), std::string(72, 'p'));
}

TEST_F(OptionsSheetTest, ASettingsFileThatCannotBeWrittenIsReported) {
    const std::string blocker = m_dir.File("not-a-folder");
    std::ofstream(blocker) << "x";
    SetSettingsPath(blocker + "/settings.ini");
    auto sheet = Sheet();
    sheet->accept();
    EXPECT_NE(sheet->result(), QDialog::Accepted);
    std::vector<std::string> shown = TakeShownPrompts();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind("The options could not be saved: ", 0), 0u) << shown[0];
}

// ---- "Test Login" against the local auction site ----

// The auction site beside this test's build folder, started with its demo
// account ("demo"/"demo"), and the client's settings pointed at it.
class SiteProcess {
public:
    explicit SiteProcess(const std::string& dir) {
        char self[4096];
        ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        if (n <= 0) return;
        std::string exe(self, size_t(n));
        std::string build = exe.substr(0, exe.rfind("/tests/"));
        m_program = build + "/tools/auction-site/auction-site";
        if (access(m_program.c_str(), X_OK) != 0) return;
        m_settings = dir + "/site.ini";
        int out[2];
        if (pipe(out) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], 1);
            close(out[0]);
            close(out[1]);
            execl(m_program.c_str(), m_program.c_str(), "--demo", "--settings-out",
                  m_settings.c_str(), "--threads", "4", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        // Ready once it prints its ports.
        std::string line;
        char c;
        while (line.find('\n') == std::string::npos && read(out[0], &c, 1) == 1) line += c;
        close(out[0]);
        m_ready = line.rfind("http=", 0) == 0;
    }
    ~SiteProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            int status = 0;
            waitpid(m_pid, &status, 0);
        }
    }
    bool Found() const { return !m_settings.empty(); }
    bool Ready() const { return m_ready; }
    const std::string& SettingsFile() const { return m_settings; }

private:
    std::string m_program;
    std::string m_settings;
    pid_t m_pid = -1;
    bool m_ready = false;
};

TEST_F(OptionsSheetTest, TestLoginSignsInWithTheTypedAccount) {
    SiteProcess site(m_dir.Path());
    if (!site.Found()) GTEST_SKIP() << "the auction site is not built";
    ASSERT_TRUE(site.Ready());
    SetSettingsPath(site.SettingsFile());
    CCookieStore::Instance().SetJarPath(m_dir.File("cookies.txt"));
    CCookieStore::Instance().Clear();
    // The sign-in keeps the account page it read in the current folder.
    char cwd[4096];
    const std::string oldCwd = getcwd(cwd, sizeof cwd) ? cwd : "/tmp";
    ASSERT_EQ(chdir(m_dir.Path().c_str()), 0);

    auto sheet = Sheet();
    ShowPage(*sheet, COptionsSheet::User);
    auto* button = Control<QPushButton>(*sheet, 3, 1067);
    Type(Control<QLineEdit>(*sheet, 3, 1000), "demo");
    Type(Control<QLineEdit>(*sheet, 3, 1032), "demo");
    button->click();
    EXPECT_EQ(TakeShownPrompts(), std::vector<std::string>{kSignInOkText});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // the wait cursor is gone again

    Type(Control<QLineEdit>(*sheet, 3, 1032), "wrong");
    button->click();
    std::vector<std::string> shown = TakeShownPrompts();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], kSignInInvalidText);
    // Testing writes nothing: the settings still have no account.
    EXPECT_EQ(Settings().GetString(setting::UserId), "");
    CCookieStore::Instance().Clear();
    EXPECT_EQ(chdir(oldCwd.c_str()), 0);
}

}  // namespace
}  // namespace bexora::test
