#include "cli/CliPrompts.h"

#include "cli/ItemFormat.h"
#include "cli/ProgressLine.h"

namespace bexora::cli {

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

CCliPrompts::CCliPrompts(std::ostream& out, bool yes) : m_out(out), m_bYes(yes) {
    SetPromptHandler(this);
}

CCliPrompts::~CCliPrompts() { SetPromptHandler(nullptr); }

PromptAnswer CCliPrompts::Ask(const std::string& text, PromptButtons buttons, PromptIcon) {
    ++m_nShown;
    CProgressLine::Interrupt();
    m_out << "message: " << EscapeValue(text) << "\n";
    m_out.flush();
    return CliAnswer(buttons, m_bYes);
}

}  // namespace bexora::cli
