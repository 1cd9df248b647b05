#pragma once
// Every modal dialog of the desktop program is run through ExecDialog, so a
// GUI test can play the user instead of blocking in exec(): its runner gets
// the dialog (already set up, not yet shown), presses what it likes and
// returns the result.

#include <functional>

class QDialog;

namespace bexora {

using DialogRunner = std::function<int(QDialog&)>;

// QDialog::exec(), or the installed runner's answer.
int ExecDialog(QDialog& dialog);
// Test seam: runs every later dialog with runner (empty: exec() again).
void SetDialogRunner(DialogRunner runner);

}  // namespace bexora
