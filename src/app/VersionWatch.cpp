#include "app/VersionWatch.h"

#include "site/PageFetch.h"
#include "update/UpdateCheck.h"

namespace bexora {

CVersionWatch::CVersionWatch(QObject* parent, CheckFn check)
    : QObject(parent), m_check(std::move(check)) {
    // A signed newer version is worth the notice even where this copy may
    // not update itself (the update command then points to the package
    // manager).
    if (!m_check) m_check = [] {
        const CUpdateOffer offer = CheckUpdateOffer(ProgramFolder());
        return offer.m_bOffered || offer.m_bManaged;
    };
}

CVersionWatch::~CVersionWatch() {
    // The fetch in progress gives up at its next read; its answer, queued
    // for this object, is dropped with it.
    m_abort = true;
    if (m_thread.joinable()) m_thread.join();
}

void CVersionWatch::Check(Report report) {
    if (report) m_waiting.push_back(std::move(report));
    if (m_bRunning) return;
    if (m_thread.joinable()) m_thread.join();  // the last one has finished
    m_bRunning = true;
    m_thread = std::thread([this] {
        SetFetchAbortFlag(&m_abort);
        const bool newer = m_check();
        SetFetchAbortFlag(nullptr);
        QMetaObject::invokeMethod(this, [this, newer] { Finished(newer); }, Qt::QueuedConnection);
    });
}

void CVersionWatch::Finished(bool newer) {
    m_bRunning = false;
    std::vector<Report> waiting;
    waiting.swap(m_waiting);
    for (Report& report : waiting) report(newer);
}

}  // namespace bexora
