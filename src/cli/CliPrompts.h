#pragma once
// How bexora-cli shows message boxes. Every text is printed as one line
// "message: TEXT" (a line feed inside it written as \n, a backslash as \\).
// A question takes the positive answer (Yes, OK) when the command was given
// --yes, otherwise the negative one (No, Cancel): a headless run never
// agrees to anything it was not told to.

#include <ostream>
#include <string>

#include "base/Prompt.h"

namespace bexora::cli {

class CCliPrompts : public IPromptHandler {
public:
    // Installs itself as the prompt handler until destroyed; the handler it
    // replaced comes back then (a command run for a client inside a run).
    explicit CCliPrompts(std::ostream& out, bool yes = false);
    ~CCliPrompts() override;
    CCliPrompts(const CCliPrompts&) = delete;
    CCliPrompts& operator=(const CCliPrompts&) = delete;

    PromptAnswer Ask(const std::string& text, PromptButtons buttons, PromptIcon icon) override;

    void SetYes(bool yes) { m_bYes = yes; }
    // How many texts were shown.
    int Shown() const { return m_nShown; }

private:
    std::ostream& m_out;
    bool m_bYes;
    int m_nShown = 0;
    IPromptHandler* m_previous;
};

// Reads the password that "--password -" stands for: one line of standard
// input, without a trailing CR. When standard input is a terminal it asks
// "Password: " on standard error and does not echo what is typed. False
// when no line comes.
bool ReadPasswordFromStdin(std::string& password);

// The terminal part of it, on the terminal fd: echo off while the line is
// read, the terminal's settings restored afterwards (also on failure).
bool ReadSecretLine(int fd, std::string& line, std::ostream& prompt);

// The answer a question gets: Ok for a plain message, else the positive or
// the negative button of the set.
PromptAnswer CliAnswer(PromptButtons buttons, bool yes);

}  // namespace bexora::cli
