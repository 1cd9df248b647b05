#pragma once
// The desktop program's message boxes: ShowPrompt ends up here once
// InstallQtPrompt has run. Tests never install it; they queue answers.

#include "base/Prompt.h"

class QWidget;

namespace bexora {

class CQtPromptHandler : public IPromptHandler {
public:
    // The boxes are modal to parent (nullptr: the active window).
    explicit CQtPromptHandler(QWidget* parent = nullptr) : m_pParent(parent) {}
    PromptAnswer Ask(const std::string& text, PromptButtons buttons, PromptIcon icon) override;
    void SetParent(QWidget* parent) { m_pParent = parent; }

private:
    QWidget* m_pParent;
};

// Installs one process-wide handler (idempotent) and returns it.
CQtPromptHandler& InstallQtPrompt();

}  // namespace bexora
