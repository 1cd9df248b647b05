#pragma once
// "Options" (command 144): six pages over the settings store. Every page
// reads its settings when it is built; nothing is written until OK, and then
// every page writes, visited or not. Cancel writes nothing.
//
// Controls carry the object name "ctl<ID>" with the dialog control id the
// program has always used (unique per page), so tests and the help text can
// name them. Controls that never had an id are named after what they do
// ("useDefault", "level2", ...).

#include <QComboBox>
#include <QDialog>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QLineEdit;
class QRadioButton;
class QTabWidget;

namespace bexora {

struct SettingDef;
class CSettingsStore;

// One page of the sheet. Values live in the page (loaded by its
// constructor); the widgets edit them, so a value the widgets cannot show
// (a check box stored as 2, a level out of range) goes back unchanged.
class COptionsPage : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    // The first integer field whose text is not an integer, or null.
    virtual QLineEdit* FirstBadInteger() const { return nullptr; }
    // Writes the page's settings in their order; false at the first write
    // that failed.
    virtual bool Write(CSettingsStore& store) const = 0;

protected:
    // A check box bound to an int value: shown checked for any non-zero value.
    QCheckBox* BoundCheck(int id, const char* text, int& value);
    // A radio button that sets value to its own number when clicked.
    QRadioButton* BoundRadio(const char* name, const char* text, int& value, int number);
    QLineEdit* Edit(int id);
};

class CGeneralPage : public COptionsPage {
    Q_OBJECT
public:
    explicit CGeneralPage(QWidget* parent = nullptr);
    bool Write(CSettingsStore& store) const override;

private:
    int m_bLoadSave, m_bUpdateAll, m_bPromptPending, m_bPromptSave, m_bSaveWindow;
};

class CHomePage : public COptionsPage {
    Q_OBJECT
public:
    CHomePage(QWidget* parent, std::function<std::string()> currentAddress);
    bool Write(CSettingsStore& store) const override;
    // The site profile field ("" or "builtin": the built-in profile).
    QLineEdit* ProfileEdit() const { return m_pProfile; }
    // Why the profile file named cannot be used, or "" when it can.
    std::string ProfileProblem() const;

private:
    std::function<std::string()> m_currentAddress;
    QLineEdit* m_pAddress;
    QLineEdit* m_pProfile;
};

class CAddPage : public COptionsPage {
    Q_OBJECT
public:
    explicit CAddPage(QWidget* parent = nullptr);
    bool Write(CSettingsStore& store) const override;

private:
    int m_nAddSel, m_bSaveDefault, m_bShowWindow;
};

class CUserPage : public COptionsPage {
    Q_OBJECT
public:
    explicit CUserPage(QWidget* parent = nullptr);
    bool Write(CSettingsStore& store) const override;
    bool SavesAccount() const { return m_bSavePass == 1; }
    QLineEdit* PasswordEdit() const { return m_pPassword; }
    // The password as it will be stored; false when it is too long to encode.
    bool EncodedPassword(std::string& out) const;
    void OnTestLogin();

protected:
    void showEvent(QShowEvent* event) override;

private:
    int m_bSavePass;
    bool m_bShown = false;
    QLineEdit* m_pUser;
    QLineEdit* m_pPassword;
    QLineEdit* m_pConfirm;
    QComboBox* m_pPlace;  // "Keep passwords in"
};

class CMsgPage : public COptionsPage {
    Q_OBJECT
public:
    explicit CMsgPage(QWidget* parent = nullptr);
    bool Write(CSettingsStore& store) const override;

private:
    int m_nLevel;
};

class CUpdatePage : public COptionsPage {
    Q_OBJECT
public:
    explicit CUpdatePage(QWidget* parent = nullptr);
    QLineEdit* FirstBadInteger() const override;
    bool Write(CSettingsStore& store) const override;

private:
    void EnableRecentFields();
    QLineEdit* IntEdit(int id, const SettingDef& def);

    int m_bUpdateRecent;
    QCheckBox* m_pRecent;
    // In the order they are checked and written.
    std::vector<std::pair<QLineEdit*, const SettingDef*>> m_fields;
};

class COptionsSheet : public QDialog {
    Q_OBJECT
public:
    // Tab order of the pages.
    enum Page { General, Home, Add, User, Msg, Update };

    // currentAddress: the main frame's address bar text, for "Use Current".
    COptionsSheet(QWidget* parent, std::function<std::string()> currentAddress);

    QTabWidget* Tabs() const { return m_pTabs; }
    // The control with dialog id `id` on page `page` (a Page), or null.
    QWidget* PageControl(int page, int id) const;

    // Checks the integer fields and the password first (the sheet stays open
    // on the offending field), then writes every page.
    void accept() override;

private:
    void FocusBadField(int page, QLineEdit* field, const std::string& message);

    QTabWidget* m_pTabs;
    CGeneralPage* m_pGeneral;
    CHomePage* m_pHome;
    CAddPage* m_pAdd;
    CUserPage* m_pUser;
    CMsgPage* m_pMsg;
    CUpdatePage* m_pUpdate;
};

// The text shown for a field that does not hold an integer.
constexpr const char* kEnterIntegerText = "Please enter an integer.";
// The text shown when a password is longer than the settings can keep.
constexpr const char* kSavedPasswordTooLongText =
    "The password is too long to be saved (at most 72 characters).";

// Command 144: builds the sheet and runs it through ExecDialog; true on OK.
bool RunOptionsSheet(QWidget* parent, std::function<std::string()> currentAddress);

}  // namespace bexora
