#include "update/ui/URLDownloadDlg.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMetaObject>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>
#include <atomic>

#include "base/ui/DialogRunner.h"
#include "update/UpdateFlow.h"

namespace bexora {

namespace {

// Texts are Windows-1252 bytes; the update's own texts are plain ASCII, and
// Latin-1 is the nearest Qt conversion for the rest.
QString ToQ(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

bool StartDetached(const CRestartCommand& command) {
    QStringList args;
    for (const std::string& a : command.m_args) args << QString::fromLocal8Bit(a.c_str());
    return QProcess::startDetached(QString::fromLocal8Bit(command.m_strProgram.c_str()), args);
}

}  // namespace

bool (*CURLDownloadDlg::s_startProgram)(const CRestartCommand&) = &StartDetached;

CURLDownloadDlg::CURLDownloadDlg(QWidget* parent, const std::string& folder) : QDialog(parent) {
    setWindowTitle(QString());  // the dialog has no caption
    auto* group = new QGroupBox(QStringLiteral("Update Program:"), this);
    auto* grid = new QGridLayout(group);
    m_pFileLine = new QLabel(group);
    m_pFileLine->setObjectName(QStringLiteral("1066"));
    m_pStatusLine = new QLabel(group);
    m_pStatusLine->setObjectName(QStringLiteral("1059"));
    m_pStatusLine->setWordWrap(true);
    m_pStatusLine->setMinimumWidth(320);
    grid->addWidget(new QLabel(QStringLiteral("Files:"), group), 0, 0);
    grid->addWidget(m_pFileLine, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Status:"), group), 1, 0);
    grid->addWidget(m_pStatusLine, 1, 1);
    m_pProgress = new QProgressBar(group);
    m_pProgress->setObjectName(QStringLiteral("1056"));
    m_pProgress->setRange(0, 100);
    m_pProgress->setValue(0);
    grid->addWidget(m_pProgress, 2, 0, 1, 2);

    m_pFirst = new QPushButton(QStringLiteral("&Update"), this);
    m_pFirst->setObjectName(QStringLiteral("1057"));
    m_pFirst->setDefault(true);
    m_pSecond = new QPushButton(QStringLiteral("Cancel"), this);
    m_pSecond->setObjectName(QStringLiteral("1058"));
    m_pSecond->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_pFirst);
    buttons->addWidget(m_pSecond);
    auto* top = new QVBoxLayout(this);
    top->addWidget(group);
    top->addLayout(buttons);

    connect(m_pFirst, &QPushButton::clicked, this, [this] { OnFirstButton(); });
    connect(m_pSecond, &QPushButton::clicked, this, [this] { OnSecondButton(); });

    m_core = std::make_unique<CUpdateDownload>(*this, folder);
    m_core->OnInitDialog();
}

CURLDownloadDlg::~CURLDownloadDlg() {
    // Cancels a running download and waits for the worker; what it still
    // queued for this window is dropped with the window.
    m_core.reset();
}

template <class F> void CURLDownloadDlg::OnUiThread(F f) {
    QMetaObject::invokeMethod(this, std::move(f), Qt::AutoConnection);
}

void CURLDownloadDlg::SetFileLine(const std::string& text) {
    OnUiThread([this, t = ToQ(text)] { m_pFileLine->setText(t); });
}

void CURLDownloadDlg::SetStatusLine(const std::string& text) {
    OnUiThread([this, t = ToQ(text)] { m_pStatusLine->setText(t); });
}

void CURLDownloadDlg::SetProgress(int percent) {
    OnUiThread([this, percent] { m_pProgress->setValue(percent); });
}

QPushButton* CURLDownloadDlg::Button(UpdateButton button) const {
    return button == UpdateButton::First ? m_pFirst : m_pSecond;
}

void CURLDownloadDlg::SetButtonText(UpdateButton button, const std::string& text) {
    OnUiThread([this, button, t = ToQ(text)] { Button(button)->setText(t); });
}

void CURLDownloadDlg::EnableButton(UpdateButton button, bool enable) {
    OnUiThread([this, button, enable] { Button(button)->setEnabled(enable); });
}

void CURLDownloadDlg::FocusButton(UpdateButton button) {
    OnUiThread([this, button] {
        Button(button)->setFocus();
        if (button == UpdateButton::Second) m_pSecond->setDefault(true);
    });
}

std::string CURLDownloadDlg::SizeText(uint64_t bytes) {
    return QLocale::system().formattedDataSize(static_cast<qint64>(bytes)).toStdString();
}

void CURLDownloadDlg::ShowMessage(const std::string& text, PromptIcon icon) {
    // The message box belongs to the dialog's thread; the worker goes on.
    OnUiThread([text, icon] { ShowPrompt(text, PromptButtons::Ok, icon); });
}

void CURLDownloadDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_bInitDone) m_pFirst->setFocus();
    m_bInitDone = true;
}

void CURLDownloadDlg::OnFirstButton() { m_core->OnFirstButton(); }

void CURLDownloadDlg::OnSecondButton() {
    if (m_core->OnSecondButton() == UpdateEnding::Ok) {
        accept();
        return;
    }
    reject();
}

namespace {
std::atomic<bool> g_restart{false};
}

void RestartAfterExit() { g_restart.store(true); }
bool RestartRequested() { return g_restart.load(); }

void StartRequestedRestart() {
    if (g_restart.exchange(false)) CURLDownloadDlg::s_startProgram(GetRestartCommand());
}

bool RunSplashUpdate(QWidget* splash, const std::function<void(const std::string&)>& setStatus) {
    const std::string folder = ProgramFolder();
    return SplashUpdateCheck(folder, setStatus, [&] {
        CURLDownloadDlg dlg(splash, folder);
        // No list is open yet at start-up: the new copy can start at once.
        return ExecDialog(dlg) == QDialog::Accepted && CURLDownloadDlg::s_startProgram(GetRestartCommand());
    });
}

bool RunCheckProgramUpdate(QWidget* mainWindow) {
    const std::string folder = ProgramFolder();
    return CheckProgramUpdateCommand(folder, [&] {
        CURLDownloadDlg dlg(mainWindow, folder);
        return ExecDialog(dlg) == QDialog::Accepted;
    });
}

}  // namespace bexora
