#pragma once
// The "12 of 300" line that commands fetching many pages keep rewriting on
// the terminal. Only when both standard output and standard error are a
// terminal and --quiet was not given: piped output, logs and scripts never
// see it. Any other line printed meanwhile first wipes it (Interrupt), so
// the two never share a line.

#include <string>

namespace bexora::cli {

class CProgressLine {
public:
    explicit CProgressLine(bool quiet);
    ~CProgressLine();  // wipes the line
    CProgressLine(const CProgressLine&) = delete;
    CProgressLine& operator=(const CProgressLine&) = delete;

    bool Enabled() const { return m_bEnabled; }
    // Shows "WHAT done of total" in place of the line shown before.
    void Show(const std::string& what, int done, int total);
    // Wipes the line, if one is shown, before other output.
    static void Interrupt();

private:
    bool m_bEnabled;
};

}  // namespace bexora::cli
