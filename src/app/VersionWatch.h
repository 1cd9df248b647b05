#pragma once
// CVersionWatch: the newer-version check the lists' ticks ask for, run on a
// thread of its own so that a slow or silent maker's site never holds the
// window or a tick. The answer comes back on the UI thread. One check runs
// at a time (lists that ask meanwhile get the same answer); closing the
// program ends a running check.

#include <QObject>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

namespace bexora {

class CVersionWatch : public QObject {
    Q_OBJECT
public:
    using Report = std::function<void(bool newer)>;
    // The check itself, run on the watch's thread: true when a newer
    // version is offered. Default: the real update check.
    using CheckFn = std::function<bool()>;

    explicit CVersionWatch(QObject* parent = nullptr, CheckFn check = {});
    ~CVersionWatch() override;

    // UI thread only. report runs later, on the UI thread.
    void Check(Report report);
    bool IsRunning() const { return m_bRunning; }

private:
    void Finished(bool newer);

    CheckFn m_check;
    std::thread m_thread;
    std::atomic<bool> m_abort{false};
    bool m_bRunning = false;
    std::vector<Report> m_waiting;
};

}  // namespace bexora
