#include "cli/CliPrompts.h"

#include <iostream>

#include "cli/Commands.h"
#include "cli/ItemFormat.h"

namespace bexora::cli {

int Usage(const std::string& problem) {
    std::cerr << "bexora-cli: " << problem << "\n"
              << "Try 'bexora-cli --help'.\n";
    return kUsage;
}

PromptAnswer CliAnswer(PromptButtons buttons, bool yes) {
    switch (buttons) {
    case PromptButtons::Ok:
        return PromptAnswer::Ok;
    case PromptButtons::OkCancel:
        return yes ? PromptAnswer::Ok : PromptAnswer::Cancel;
    case PromptButtons::YesNo:
    case PromptButtons::YesNoCancel:
        return yes ? PromptAnswer::Yes : PromptAnswer::No;
    }
    return PromptAnswer::Cancel;
}

CCliPrompts::CCliPrompts(std::ostream& out, bool yes)
    : m_out(out), m_bYes(yes), m_previous(GetPromptHandler()) {
    SetPromptHandler(this);
}

CCliPrompts::~CCliPrompts() {
    SetPromptHandler(m_previous);
}

PromptAnswer CCliPrompts::Ask(const std::string& text, PromptButtons buttons, PromptIcon) {
    ++m_nShown;
    m_out << "message: " << EscapeValue(text) << "\n";
    m_out.flush();
    return CliAnswer(buttons, m_bYes);
}

}  // namespace bexora::cli
