#include "base/ui/DialogRunner.h"

#include <QDialog>

namespace bexora {

namespace {
DialogRunner& Runner() {
    static DialogRunner runner;
    return runner;
}
}  // namespace

int ExecDialog(QDialog& dialog) {
    if (Runner()) return Runner()(dialog);
    return dialog.exec();
}

void SetDialogRunner(DialogRunner runner) { Runner() = std::move(runner); }

}  // namespace bexora
