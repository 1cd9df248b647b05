#include "base/ui/QtPrompt.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <cstdio>

#include "base/ui/DialogRunner.h"
#include "base/ui/AnsiText.h"

namespace bexora {

namespace {
QMessageBox::StandardButtons ToButtons(PromptButtons buttons) {
    switch (buttons) {
    case PromptButtons::Ok: return QMessageBox::Ok;
    case PromptButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case PromptButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case PromptButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon ToIcon(PromptIcon icon) {
    switch (icon) {
    case PromptIcon::None: return QMessageBox::NoIcon;
    case PromptIcon::Information: return QMessageBox::Information;
    case PromptIcon::Warning: return QMessageBox::Warning;
    case PromptIcon::Error: return QMessageBox::Critical;
    case PromptIcon::Question: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}
}  // namespace

PromptAnswer CQtPromptHandler::Ask(const std::string& text, PromptButtons buttons, PromptIcon icon) {
    // A box built off the GUI thread is undefined in Qt (a crash at best).
    // Messages from workers come through PostPrompt onto the UI thread; one
    // that still arrives here goes to standard error with the safe answer.
    if (auto* app = QCoreApplication::instance(); app && QThread::currentThread() != app->thread()) {
        std::fprintf(stderr, "%s\n", text.c_str());
        if (buttons == PromptButtons::Ok) return PromptAnswer::Ok;
        return buttons == PromptButtons::YesNo ? PromptAnswer::No : PromptAnswer::Cancel;
    }
    QWidget* parent = m_pParent ? m_pParent : QApplication::activeWindow();
    QMessageBox box(ToIcon(icon), QApplication::applicationDisplayName(), FromAnsi(text), ToButtons(buttons),
                    parent);
    // Through the dialog seam, so a GUI test plays the user here too.
    switch (ExecDialog(box)) {
    case QMessageBox::Ok: return PromptAnswer::Ok;
    case QMessageBox::Yes: return PromptAnswer::Yes;
    case QMessageBox::No: return PromptAnswer::No;
    default:
        // Escape or the close box: the "no" side of the question.
        if (buttons == PromptButtons::YesNo) return PromptAnswer::No;
        if (buttons == PromptButtons::Ok) return PromptAnswer::Ok;
        return PromptAnswer::Cancel;
    }
}

CQtPromptHandler& InstallQtPrompt() {
    static CQtPromptHandler handler;
    SetPromptHandler(&handler);
    return handler;
}

}  // namespace bexora
