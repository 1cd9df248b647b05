#include "cli/CliPrompts.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>

#include "cli/Commands.h"
#include "cli/ItemFormat.h"
#include "cli/ProgressLine.h"

namespace bexora::cli {

bool ReadSecretLine(int fd, std::string& line, std::ostream& prompt) {
    termios saved {};
    const bool isTerminal = tcgetattr(fd, &saved) == 0;
    if (isTerminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;  // the user still sees the Enter
        tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    prompt << "Password: " << std::flush;
    line.clear();
    bool got = false;
    for (;;) {
        char c;
        ssize_t n = read(fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got = true;
        if (c == '\n') break;
        line += c;
    }
    if (isTerminal) tcsetattr(fd, TCSANOW, &saved);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return got;
}

bool ReadPasswordFromStdin(std::string& password) {
    if (isatty(STDIN_FILENO)) return ReadSecretLine(STDIN_FILENO, password, std::cerr);
    if (!std::getline(std::cin, password)) return false;
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return true;
}

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
    CProgressLine::Interrupt();
    m_out << "message: " << EscapeValue(text) << "\n";
    m_out.flush();
    return CliAnswer(buttons, m_bYes);
}

}  // namespace bexora::cli
