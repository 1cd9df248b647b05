#pragma once
// Work that may wait on the network, started from the UI thread: it runs on
// a thread of its own while the UI thread goes on with its events (ticks,
// worker results, repaints) under a busy indicator with Cancel.

#include <QString>
#include <functional>

class QWidget;

namespace bexora {

// Runs work on a new thread and returns when it has finished (true) or the
// user pressed Cancel (false). After a Cancel the work finishes on its own
// and its result is thrown away, so whatever it fills in must be shared
// with it (a shared_ptr), not borrowed from the caller's stack. The
// indicator shows only when the work takes longer than a moment.
bool RunWithBusyIndicator(QWidget* parent, const QString& title, const QString& text,
                          std::function<void()> work);

}  // namespace bexora
