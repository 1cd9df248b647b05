#include "app/OptionsSheet.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <thread>

#include "base/Prompt.h"
#include "model/PasswordVault.h"
#include "base/Settings.h"
#include "base/ui/DialogRunner.h"
#include "bidding/BidRequest.h"
#include "site/SiteProfile.h"
#include "base/ui/AnsiText.h"
#include "text/TextTools.h"

namespace bexora {

namespace {

QString ControlName(int id) {
    return QString("ctl%1").arg(id);
}

// A field read out alone: without a name of its own, a screen reader
// reads the group box's title for each field of the group alike.
template <class W>
W* Named(W* widget, const char* name) {
    widget->setAccessibleName(name);
    return widget;
}

QLabel* Explanation(const char* text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setContentsMargins(20, 0, 0, 6);
    return label;
}

bool ParseInteger(const QString& text, int& value) {
    bool ok = false;
    value = text.trimmed().toInt(&ok, 10);
    return ok;
}

bool WriteAll(CSettingsStore& store,
              std::initializer_list<std::pair<const SettingDef*, int>> values) {
    for (const auto& [def, value] : values)
        if (!store.WriteInt(*def, value)) return false;
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Shared page helpers.

QCheckBox* COptionsPage::BoundCheck(int id, const char* text, int& value) {
    auto* box = new QCheckBox(text, this);
    box->setObjectName(ControlName(id));
    box->setChecked(value != 0);
    connect(box, &QCheckBox::toggled, this, [&value](bool on) { value = on ? 1 : 0; });
    return box;
}

QRadioButton* COptionsPage::BoundRadio(const char* name, const char* text, int& value, int number) {
    auto* radio = new QRadioButton(text, this);
    radio->setObjectName(name);
    radio->setChecked(value == number);
    connect(radio, &QRadioButton::clicked, this, [&value, number] { value = number; });
    return radio;
}

QLineEdit* COptionsPage::Edit(int id) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(ControlName(id));
    return edit;
}

// ---------------------------------------------------------------------------
// General

CGeneralPage::CGeneralPage(QWidget* parent) : COptionsPage(parent) {
    CSettingsStore& s = Settings();
    m_bLoadSave = s.GetInt(setting::LoadSave);
    m_bUpdateAll = s.GetInt(setting::UpdateAll);
    m_bPromptPending = s.GetInt(setting::PromptPending);
    m_bPromptSave = s.GetInt(setting::PromptSave);
    m_bSaveWindow = s.GetInt(setting::SaveWindow);

    auto* start = new QGroupBox("On Program Start:", this);
    auto* startLayout = new QVBoxLayout(start);
    startLayout->addWidget(BoundCheck(1039, "At Start, load the last saved file", m_bLoadSave));
    startLayout->addWidget(BoundCheck(1040, "At Start, Update all the items", m_bUpdateAll));

    auto* exit = new QGroupBox("On Program Exit:", this);
    auto* exitLayout = new QVBoxLayout(exit);
    exitLayout->addWidget(
        BoundCheck(1042, "When exit, pormpt me if there are pending bids", m_bPromptPending));
    exitLayout->addWidget(
        BoundCheck(1022, "When exit, save window size and position", m_bSaveWindow));
    // Kept for its setting, which the sheet writes back; the program saves
    // the list without asking.
    QCheckBox* promptSave =
        BoundCheck(1021, "When exit, prompt me to save the item list", m_bPromptSave);
    promptSave->setVisible(false);
    exitLayout->addWidget(promptSave);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(start);
    layout->addWidget(exit);
    layout->addStretch();
}

bool CGeneralPage::Write(CSettingsStore& store) const {
    return WriteAll(store, {{&setting::LoadSave, m_bLoadSave},
                            {&setting::UpdateAll, m_bUpdateAll},
                            {&setting::PromptPending, m_bPromptPending},
                            {&setting::PromptSave, m_bPromptSave},
                            {&setting::SaveWindow, m_bSaveWindow}});
}

// ---------------------------------------------------------------------------
// Homepage

CHomePage::CHomePage(QWidget* parent, std::function<std::string()> currentAddress)
    : COptionsPage(parent), m_currentAddress(std::move(currentAddress)) {
    m_pAddress = Edit(1043);
    m_pAddress->setText(FromAnsi(Settings().GetString(setting::HomepageLeftPanel)));

    auto* useDefault = new QPushButton("Use default", this);
    useDefault->setObjectName("useDefault");
    auto* useBlank = new QPushButton("Use Blank", this);
    useBlank->setObjectName("useBlank");
    auto* useCurrent = new QPushButton("Use Current", this);
    useCurrent->setObjectName("useCurrent");
    connect(useDefault, &QPushButton::clicked, this,
            [this] { m_pAddress->setText(FromAnsi(Settings().GetString(setting::SiteHomeUrl))); });
    connect(useBlank, &QPushButton::clicked, this, [this] { m_pAddress->setText("about:blank"); });
    connect(useCurrent, &QPushButton::clicked, this, [this] {
        m_pAddress->setText(m_currentAddress ? FromAnsi(m_currentAddress()) : QString());
    });

    auto* group = new QGroupBox("Browser panel homepage", this);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel("Address:", group));
    row->addWidget(Named(m_pAddress, "Homepage address"), 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(useDefault);
    buttons->addWidget(useBlank);
    buttons->addWidget(useCurrent);
    auto* g = new QVBoxLayout(group);
    g->addLayout(row);
    g->addLayout(buttons);

    // The site profile: the texts the program reads the site's pages by.
    // A file of the user's here takes the place of the built-in one (and of
    // one the update brought) at the lists' next refresh.
    auto* site = new QGroupBox("Site pages", this);
    m_pProfile = new QLineEdit(site);
    m_pProfile->setObjectName("siteProfile");
    std::string chosen = Settings().GetString(setting::SiteProfile);
    m_pProfile->setText(chosen == "builtin" ? QString() : FromAnsi(chosen));
    m_pProfile->setPlaceholderText("built-in profile");
    m_pProfile->setAccessibleName("Site profile file");
    auto* profileLabel = new QLabel("&Profile file:", site);
    profileLabel->setBuddy(m_pProfile);
    auto* browse = new QPushButton("Browse...", site);
    browse->setObjectName("browseProfile");
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getOpenFileName(this, "Site profile", m_pProfile->text(),
                                                          "Site profiles (*.profile);;All files (*)");
        if (!file.isEmpty()) m_pProfile->setText(file);
    });
    auto* builtin = new QPushButton("Use built-in", site);
    builtin->setObjectName("useBuiltinProfile");
    connect(builtin, &QPushButton::clicked, this, [this] { m_pProfile->clear(); });
    const std::shared_ptr<const CSiteProfile> inUse = CurrentProfile();
    auto* inUseLabel = new QLabel(
        FromAnsi("In use: " + inUse->Name() + ", version " + std::to_string(inUse->Version()) +
                 (inUse->m_strSource == "built in" ? std::string() : " (" + inUse->m_strSource + ")")),
        site);
    inUseLabel->setObjectName("profileInUse");
    inUseLabel->setWordWrap(true);
    auto* profileRow = new QHBoxLayout;
    profileRow->addWidget(profileLabel);
    profileRow->addWidget(m_pProfile, 1);
    profileRow->addWidget(browse);
    profileRow->addWidget(builtin);
    auto* s = new QVBoxLayout(site);
    s->addLayout(profileRow);
    s->addWidget(inUseLabel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(site);
    layout->addStretch();
}

std::string CHomePage::ProfileProblem() const {
    const std::string path = ToAnsi(m_pProfile->text().trimmed());
    if (path.empty() || path == "builtin") return {};
    CSiteProfile profile;
    std::string error;
    return LoadSiteProfile(path, profile, error) ? std::string() : "The site profile cannot be used: " + error;
}

bool CHomePage::Write(CSettingsStore& store) const {
    const std::string profile = ToAnsi(m_pProfile->text().trimmed());
    // An unchanged empty field leaves no key behind.
    const bool profileSame = profile == store.GetString(setting::SiteProfile) ||
                             (profile.empty() && store.GetString(setting::SiteProfile) == "builtin");
    return store.WriteString(setting::HomepageLeftPanel, ToAnsi(m_pAddress->text())) &&
           (profileSame || store.WriteString(setting::SiteProfile, profile));
}

// ---------------------------------------------------------------------------
// Add Item

CAddPage::CAddPage(QWidget* parent) : COptionsPage(parent) {
    CSettingsStore& s = Settings();
    m_bSaveDefault = s.GetInt(setting::AddSaveDefault);
    m_nAddSel = m_bSaveDefault == 1 ? s.GetInt(setting::AddSel) : 0;
    m_bShowWindow = s.GetInt(setting::AddShowWindow);

    auto* group = new QGroupBox("Add Item Method:", this);
    auto* g = new QVBoxLayout(group);
    QRadioButton* fast = BoundRadio("ctl1035", "Use fast item add", m_nAddSel, 0);
    QRadioButton* slow = BoundRadio("ctl1037", "Use slow item add", m_nAddSel, 1);
    g->addWidget(fast);
    g->addWidget(Explanation(
        "Fast add adds information for the item from within the page. It uses less time, however "
        "the information may not be up to date. It is recommended, especially when you have slow "
        "internet connection. You can update the item later in the list view.",
        group));
    g->addWidget(slow);
    g->addWidget(
        Explanation("Slow add goes through each of the item pages, therefore uses more time. The "
                    "information is "
                    "accurate. If you have slow internet connection, do not use this option.",
                    group));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(BoundCheck(1039, "Save my selection as default", m_bSaveDefault));
    layout->addWidget(BoundCheck(1036, "Do not show this window again", m_bShowWindow));
    layout->addStretch();
}

bool CAddPage::Write(CSettingsStore& store) const {
    return WriteAll(store, {{&setting::AddSel, m_nAddSel},
                            {&setting::AddSaveDefault, m_bSaveDefault},
                            {&setting::AddShowWindow, m_bShowWindow}});
}

// ---------------------------------------------------------------------------
// User Info

CUserPage::CUserPage(QWidget* parent) : COptionsPage(parent) {
    CSettingsStore& s = Settings();
    m_bSavePass = s.GetInt(setting::SavePass);
    m_pUser = Edit(1000);
    m_pUser->setText(FromAnsi(s.GetString(setting::UserId)));
    m_pPassword = Edit(1032);
    m_pPassword->setEchoMode(QLineEdit::Password);
    // The keyring's, when it keeps passwords (else the settings file's).
    m_pPassword->setText(FromAnsi(RememberedPassword(s.GetString(setting::UserId))));
    m_pConfirm = Edit(1031);
    m_pConfirm->setEchoMode(QLineEdit::Password);
    m_pConfirm->setText(m_pPassword->text());

    auto* test = new QPushButton("Test Login", this);
    test->setObjectName(ControlName(1067));
    connect(test, &QPushButton::clicked, this, &CUserPage::OnTestLogin);

    auto* group = new QGroupBox("Bidding User Information:", this);
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel("Username:", group), 0, 0);
    grid->addWidget(Named(m_pUser, "Username"), 0, 1);
    grid->addWidget(new QLabel("Password:", group), 1, 0);
    grid->addWidget(Named(m_pPassword, "Password"), 1, 1);
    grid->addWidget(new QLabel("Confirmed\nPassword:", group), 2, 0);
    grid->addWidget(Named(m_pConfirm, "Password again"), 2, 1);
    grid->addWidget(BoundCheck(1014, "Save Username && Password", m_bSavePass), 3, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(test);
    grid->addLayout(buttons, 4, 0, 1, 2);

    // Where the passwords of the account and of every list's items live.
    m_pPlace = new QComboBox(group);
    m_pPlace->setObjectName("keepPasswords");
    m_pPlace->addItem("the keyring", QString(PasswordPlaceName(PasswordPlace::Keyring)));
    m_pPlace->addItem("the list files", QString(PasswordPlaceName(PasswordPlace::File)));
    m_pPlace->setCurrentIndex(ChosenPasswordPlace() == PasswordPlace::File ? 1 : 0);
    auto* placeLabel = new QLabel("&Keep passwords in:", group);
    placeLabel->setBuddy(m_pPlace);
    m_pPlace->setAccessibleName("Keep passwords in");
    grid->addWidget(placeLabel, 5, 0);
    grid->addWidget(m_pPlace, 5, 1);
    IPasswordVault* vault = InstalledPasswordVault();
    auto* where = new QLabel(vault && vault->Answers()
                                 ? "A keyring answers on this desktop."
                                 : "No keyring answers on this desktop: passwords stay in the list "
                                   "files and the settings file.",
                             group);
    where->setObjectName("keyringState");
    where->setWordWrap(true);
    grid->addWidget(where, 6, 0, 1, 2);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addStretch();
}

void CUserPage::showEvent(QShowEvent* event) {
    // An account the user chose not to keep is not shown either.
    if (!m_bShown && m_bSavePass != 1) {
        m_pUser->clear();
        m_pPassword->clear();
        m_pConfirm->clear();
    }
    m_bShown = true;
    COptionsPage::showEvent(event);
}

bool CUserPage::EncodedPassword(std::string& out) const {
    out.clear();
    return Base64Encode(ToAnsi(m_pPassword->text()), out);
}

bool CUserPage::Write(CSettingsStore& store) const {
    if (!store.WriteInt(setting::SavePass, m_bSavePass)) return false;
    // Written only when changed: OK on an untouched sheet writes back what
    // was read.
    const std::string place = m_pPlace->currentData().toString().toStdString();
    if (place != PasswordPlaceName(ChosenPasswordPlace()) && !store.WriteString(setting::KeepPasswords, place))
        return false;
    // Clearing the box leaves the stored account as it was.
    if (m_bSavePass != 1) return true;
    std::string encoded;
    if (!EncodedPassword(encoded)) return false;  // checked before writing began
    // Into the place just chosen.
    return RememberAccount(ToAnsi(m_pUser->text()), ToAnsi(m_pPassword->text()));
}

void CUserPage::OnTestLogin() {
    const std::string user = ToAnsi(m_pUser->text());
    const std::string password = ToAnsi(m_pPassword->text());
    std::string message;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The sign-in's connections belong to the thread that made them; a
    // thread of its own closes them when it is done.
    std::thread([&] { message = TestLogin(user, password); }).join();
    QApplication::restoreOverrideCursor();
    ShowPrompt(message, PromptButtons::Ok, PromptIcon::Information);
}

// ---------------------------------------------------------------------------
// Message

CMsgPage::CMsgPage(QWidget* parent) : COptionsPage(parent) {
    m_nLevel = Settings().GetInt(setting::MessageLevel);
    auto* group = new QGroupBox("Message Filter", this);
    auto* g = new QVBoxLayout(group);
    g->addWidget(BoundRadio("level0", "Display every bidding change", m_nLevel, 0));
    g->addWidget(BoundRadio("level1", "Display bidding change I've bid on", m_nLevel, 1));
    g->addWidget(BoundRadio("level2", "Display message when I've been outbid", m_nLevel, 2));
    g->addWidget(BoundRadio("level3", "Do not show any of the message", m_nLevel, 3));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addStretch();
}

bool CMsgPage::Write(CSettingsStore& store) const {
    return store.WriteInt(setting::MessageLevel, m_nLevel);
}

// ---------------------------------------------------------------------------
// Timing

QLineEdit* CUpdatePage::IntEdit(int id, const SettingDef& def) {
    QLineEdit* edit = Edit(id);
    edit->setText(QString::number(Settings().GetInt(def)));
    edit->setMaximumWidth(60);
    m_fields.emplace_back(edit, &def);
    return edit;
}

CUpdatePage::CUpdatePage(QWidget* parent) : COptionsPage(parent) {
    m_bUpdateRecent = Settings().GetInt(setting::UpdateRecent);

    auto* autoUpdate = new QGroupBox("Auto Update:", this);
    auto* a = new QHBoxLayout(autoUpdate);
    a->addWidget(new QLabel("Update item every:", autoUpdate));
    a->addWidget(Named(IntEdit(1025, setting::UpdateMin), "Update item every, minutes"));
    a->addWidget(new QLabel("Min", autoUpdate));
    a->addWidget(Named(IntEdit(1024, setting::UpdateSec), "Update item every, seconds"));
    a->addWidget(new QLabel("sec", autoUpdate));
    a->addStretch();

    auto* updateAll = new QGroupBox("Update All:", this);
    auto* u = new QVBoxLayout(updateAll);
    m_pRecent =
        BoundCheck(1046, "When update items, only update the item finish with in", m_bUpdateRecent);
    u->addWidget(m_pRecent);
    auto* within = new QHBoxLayout;
    within->addWidget(Named(IntEdit(1026, setting::UpdateEndDay), "Finishing within, days"));
    within->addWidget(new QLabel("Day", updateAll));
    within->addWidget(Named(IntEdit(1005, setting::UpdateEndHour), "Finishing within, hours"));
    within->addWidget(new QLabel("Hour", updateAll));
    within->addWidget(Named(IntEdit(1007, setting::UpdateEndMin), "Finishing within, minutes"));
    within->addWidget(new QLabel("Min", updateAll));
    within->addStretch();
    u->addLayout(within);
    connect(m_pRecent, &QCheckBox::toggled, this, &CUpdatePage::EnableRecentFields);

    auto* delay = new QGroupBox("Delay Bid Time:", this);
    auto* d = new QHBoxLayout(delay);
    d->addWidget(new QLabel("Default sniper time:", delay));
    d->addWidget(Named(IntEdit(1012, setting::BidHour), "Default sniper time, hours"));
    d->addWidget(new QLabel("Hour", delay));
    d->addWidget(Named(IntEdit(1010, setting::BidMin), "Default sniper time, minutes"));
    d->addWidget(new QLabel("Min", delay));
    d->addWidget(Named(IntEdit(1008, setting::BidSec), "Default sniper time, seconds"));
    d->addWidget(new QLabel("Sec", delay));
    d->addStretch();

    // Our own: logind's sleep lock while a bid is near.
    auto* awake = new QGroupBox("Sleep:", this);
    auto* k = new QHBoxLayout(awake);
    k->addWidget(new QLabel("Keep the computer awake", awake));
    k->addWidget(Named(IntEdit(1060, setting::SleepGuardMin), "Keep the computer awake, minutes before a bid"));
    k->addWidget(new QLabel("Min before a bid (0: never)", awake));
    k->addStretch();

    // Our own: the check ahead of each bid.
    auto* check = new QGroupBox("Check before bidding:", this);
    auto* c = new QHBoxLayout(check);
    c->addWidget(new QLabel("Sign in and open the offer form", check));
    c->addWidget(Named(IntEdit(1061, setting::PreFlightSec), "Check before bidding, seconds before a bid"));
    c->addWidget(new QLabel("sec before a bid (0: off)", check));
    c->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(autoUpdate);
    layout->addWidget(updateAll);
    layout->addWidget(delay);
    layout->addWidget(awake);
    layout->addWidget(check);
    layout->addStretch();
    EnableRecentFields();
}

void CUpdatePage::EnableRecentFields() {
    for (int id : {1026, 1005, 1007})
        findChild<QLineEdit*>(ControlName(id))->setEnabled(m_pRecent->isChecked());
}

QLineEdit* CUpdatePage::FirstBadInteger() const {
    int value = 0;
    for (const auto& [edit, def] : m_fields)
        if (!ParseInteger(edit->text(), value)) return edit;
    return nullptr;
}

bool CUpdatePage::Write(CSettingsStore& store) const {
    // "Update Recent" sits between the interval and the day fields.
    for (size_t i = 0; i < m_fields.size(); ++i) {
        if (i == 2 && !store.WriteInt(setting::UpdateRecent, m_bUpdateRecent)) return false;
        int value = 0;
        if (!ParseInteger(m_fields[i].first->text(), value)) return false;  // checked before
        // Our own key is written only when changed, so a settings file the
        // sheet wrote keeps the keys and order it has always had.
        const SettingDef* def = m_fields[i].second;
        if ((def == &setting::SleepGuardMin || def == &setting::PreFlightSec) &&
            value == store.GetInt(*def))
            continue;
        if (!store.WriteInt(*m_fields[i].second, value)) return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// The sheet

COptionsSheet::COptionsSheet(QWidget* parent, std::function<std::string()> currentAddress)
    : QDialog(parent) {
    setWindowTitle("Options");
    m_pTabs = new QTabWidget(this);
    m_pGeneral = new CGeneralPage;
    m_pHome = new CHomePage(nullptr, std::move(currentAddress));
    m_pAdd = new CAddPage;
    m_pUser = new CUserPage;
    m_pMsg = new CMsgPage;
    m_pUpdate = new CUpdatePage;
    m_pTabs->addTab(m_pGeneral, "General");
    m_pTabs->addTab(m_pHome, "Homepage");
    m_pTabs->addTab(m_pAdd, "Add Item");
    m_pTabs->addTab(m_pUser, "User Info");
    m_pTabs->addTab(m_pMsg, "Message");
    m_pTabs->addTab(m_pUpdate, "Timing");

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &COptionsSheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &COptionsSheet::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pTabs);
    layout->addWidget(buttons);
}

QWidget* COptionsSheet::PageControl(int page, int id) const {
    QWidget* w = m_pTabs->widget(page);
    return w ? w->findChild<QWidget*>(ControlName(id)) : nullptr;
}

void COptionsSheet::FocusBadField(int page, QLineEdit* field, const std::string& message) {
    ShowPrompt(message, PromptButtons::Ok, PromptIcon::Warning);
    m_pTabs->setCurrentIndex(page);
    field->setFocus();
    field->selectAll();
}

void COptionsSheet::accept() {
    if (QLineEdit* bad = m_pUpdate->FirstBadInteger()) {
        FocusBadField(Update, bad, kEnterIntegerText);
        return;
    }
    // A password the store cannot keep is refused here rather than lost
    // half way through the writes.
    std::string encoded;
    if (m_pUser->SavesAccount() && !m_pUser->EncodedPassword(encoded)) {
        FocusBadField(User, m_pUser->PasswordEdit(), kSavedPasswordTooLongText);
        return;
    }
    if (const std::string problem = m_pHome->ProfileProblem(); !problem.empty()) {
        FocusBadField(Home, m_pHome->ProfileEdit(), problem);
        return;
    }
    CSettingsStore& store = Settings();
    const std::vector<const COptionsPage*> order = {m_pGeneral, m_pHome,   m_pUser,
                                                    m_pAdd,     m_pUpdate, m_pMsg};
    for (const COptionsPage* page : order) {
        if (!page->Write(store)) {
            // Not closing tells the user the options did not take; Cancel
            // leaves them as far as they got.
            ShowPrompt("The options could not be saved: " + store.LastError(), PromptButtons::Ok,
                       PromptIcon::Error);
            return;
        }
    }
    QDialog::accept();
}

bool RunOptionsSheet(QWidget* parent, std::function<std::string()> currentAddress) {
    COptionsSheet sheet(parent, std::move(currentAddress));
    return ExecDialog(sheet) == QDialog::Accepted;
}

}  // namespace bexora
