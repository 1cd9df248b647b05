#pragma once
// The one way any part of the program asks or tells the user something in a
// message box. Front ends install a handler (a QMessageBox, a line on the
// terminal); tests queue answers so they never block on a dialog, and read
// back what was shown.

#include <functional>
#include <string>
#include <vector>

namespace bexora {

enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class PromptIcon { None, Information, Warning, Error, Question };
enum class PromptAnswer { Ok, Cancel, Yes, No };

class IPromptHandler {
public:
    virtual ~IPromptHandler() = default;
    virtual PromptAnswer Ask(const std::string& text, PromptButtons buttons, PromptIcon icon) = 0;
};

// Shows text (Windows-1252 bytes) and returns the button chosen. A queued
// answer is taken first; then the installed handler; with neither, the text
// goes to standard error and the first button is the answer.
PromptAnswer ShowPrompt(const std::string& text, PromptButtons buttons = PromptButtons::Ok,
                        PromptIcon icon = PromptIcon::None);

// Tells the user something from any thread without waiting for it: the box
// is shown on the UI thread of the newest installed poster (the list's
// dispatcher). When the poster does not take it (none installed, or the
// caller is that UI thread, or the list is going away) it is shown at once
// on this thread. closed runs once the box was closed, or when a queued one
// was dropped unshown; always exactly once.
void PostPrompt(const std::string& text, PromptButtons buttons, PromptIcon icon,
                std::function<void()> closed = {});

// Queues a call for a UI thread and returns at once; false when it did not
// (the call is then not kept). owner is the key for RemoveUiPoster.
using UiPoster = std::function<bool(std::function<void()> call)>;
void InstallUiPoster(const void* owner, UiPoster poster);
void RemoveUiPoster(const void* owner);

// Installs the front end's handler (nullptr: none). Not owned.
void SetPromptHandler(IPromptHandler* handler);
// The handler installed now (nullptr: none).
IPromptHandler* GetPromptHandler();

// Test seam: the next prompts return these answers, in order.
void QueuePromptAnswer(PromptAnswer answer);
// Test seam: the texts shown since the last call, oldest first.
std::vector<std::string> TakeShownPrompts();

}  // namespace bexora
