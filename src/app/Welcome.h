#pragma once
// CWelcome: the start-up splash. It shows the program's picture and a status
// line, checks for a newer program version once its window is up, and ends
// with Accepted when start-up is to go on, Rejected when this copy of the
// program is to end (Escape, or an update that started the new copy).

#include <QDialog>
#include <functional>
#include <string>

class QLabel;

namespace bexora {

class CWelcome : public QDialog {
    Q_OBJECT
public:
    static constexpr int TIMER_SPLASH = 1105;
    static constexpr int kSplashPeriodMs = 100;

    explicit CWelcome(QWidget* parent = nullptr);
    QLabel* StatusLine() const { return m_pStatus; }

    // The update step (the real check unless a test replaced it): sets the
    // status line as it goes; true when start-up goes on.
    using UpdateStep = std::function<bool(QWidget* splash,
                                          const std::function<void(const std::string&)>& setStatus)>;
    static UpdateStep s_updateStep;

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void OnSplashTimer();

    QLabel* m_pStatus;
    int m_nTimer = 0;
    bool m_bStarted = false;
};

}  // namespace bexora
