#include "cli/ProgressLine.h"

#include <unistd.h>

#include <cstdio>

namespace bexora::cli {

namespace {
bool g_shown = false;  // a progress line is on the terminal now

void Write(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}
}  // namespace

CProgressLine::CProgressLine(bool quiet)
    : m_bEnabled(!quiet && isatty(STDOUT_FILENO) && isatty(STDERR_FILENO)) {}

CProgressLine::~CProgressLine() {
    Interrupt();
}

void CProgressLine::Show(const std::string& what, int done, int total) {
    if (!m_bEnabled) return;
    std::fflush(stdout);
    // Carriage return and erase-line: the terminal keeps one line for it.
    Write("\r\033[K" + what + " " + std::to_string(done) + " of " + std::to_string(total));
    g_shown = true;
}

void CProgressLine::Interrupt() {
    if (!g_shown) return;
    g_shown = false;
    Write("\r\033[K");
}

}  // namespace bexora::cli
