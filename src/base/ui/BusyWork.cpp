#include "base/ui/BusyWork.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QThread>

namespace bexora {

namespace {
// A quick read shows nothing.
constexpr int kShowAfterMs = 300;
}  // namespace

bool RunWithBusyIndicator(QWidget* parent, const QString& title, const QString& text,
                          std::function<void()> work) {
    QThread* worker = QThread::create(std::move(work));
    // The thread deletes itself when done, also after a Cancel left it behind.
    QObject::connect(worker, &QThread::finished, worker, &QObject::deleteLater);

    QEventLoop loop;
    bool finished = false;
    QObject::connect(worker, &QThread::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QProgressDialog busy(text, "Cancel", 0, 0, parent);
    busy.setWindowTitle(title);
    busy.setWindowModality(Qt::WindowModal);
    busy.setMinimumDuration(kShowAfterMs);
    busy.setValue(0);  // starts that count
    QObject::connect(&busy, &QProgressDialog::canceled, &loop, &QEventLoop::quit);
    worker->start();
    loop.exec();
    busy.reset();
    return finished;
}

}  // namespace bexora
