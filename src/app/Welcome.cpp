#include "app/Welcome.h"

#include <QApplication>
#include <QLabel>
#include <QTimerEvent>
#include <QVBoxLayout>

#include "app/ToolBarIcons.h"
#include "base/ui/AnsiText.h"
#include "update/ui/URLDownloadDlg.h"

namespace bexora {

CWelcome::UpdateStep CWelcome::s_updateStep = [](QWidget* splash,
                                                 const std::function<void(const std::string&)>& setStatus) {
    return RunSplashUpdate(splash, setStatus);
};

CWelcome::CWelcome(QWidget* parent) : QDialog(parent, Qt::SplashScreen | Qt::WindowStaysOnTopHint) {
    setWindowTitle("Bexora");
    auto* picture = new QLabel(this);
    picture->setPixmap(SplashPicture(QSize(420, 240), devicePixelRatioF()));
    m_pStatus = new QLabel("Starting the program .....", this);
    m_pStatus->setObjectName("SplashStatus");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 6);
    layout->addWidget(picture);
    layout->addWidget(m_pStatus);
    m_pStatus->setContentsMargins(8, 0, 8, 0);
}

void CWelcome::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_bStarted) {
        m_bStarted = true;
        m_nTimer = startTimer(kSplashPeriodMs, Qt::PreciseTimer);
    }
}

void CWelcome::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_nTimer) return QDialog::timerEvent(event);
    // The splash's work runs once.
    killTimer(m_nTimer);
    m_nTimer = 0;
    OnSplashTimer();
}

void CWelcome::done(int result) {
    // Ended before its first tick (Escape): the check never runs.
    if (m_nTimer) killTimer(m_nTimer);
    m_nTimer = 0;
    m_bStarted = true;
    QDialog::done(result);
}

void CWelcome::OnSplashTimer() {
    auto setStatus = [this](const std::string& text) {
        m_pStatus->setText(FromAnsi(text));
        m_pStatus->repaint();
    };
    setStatus("Checking the program update...");
    if (s_updateStep(this, setStatus)) accept();
    else reject();
}

}  // namespace bexora
