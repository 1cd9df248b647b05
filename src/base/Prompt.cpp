#include "base/Prompt.h"

#include <cstdio>
#include <deque>
#include <mutex>

namespace bexora {

namespace {

std::mutex g_mutex;
IPromptHandler* g_handler = nullptr;
std::deque<PromptAnswer> g_queued;
std::vector<std::string> g_shown;
constexpr size_t kMaxRemembered = 1000;

PromptAnswer FirstButton(PromptButtons buttons) {
    switch (buttons) {
        case PromptButtons::Ok:
        case PromptButtons::OkCancel:
            return PromptAnswer::Ok;
        case PromptButtons::YesNo:
        case PromptButtons::YesNoCancel:
            return PromptAnswer::Yes;
    }
    return PromptAnswer::Ok;
}

}  // namespace

PromptAnswer ShowPrompt(const std::string& text, PromptButtons buttons, PromptIcon icon) {
    IPromptHandler* handler = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_shown.size() < kMaxRemembered) g_shown.push_back(text);
        if (!g_queued.empty()) {
            PromptAnswer answer = g_queued.front();
            g_queued.pop_front();
            return answer;
        }
        handler = g_handler;
    }
    if (handler) return handler->Ask(text, buttons, icon);
    std::fprintf(stderr, "%s\n", text.c_str());
    return FirstButton(buttons);
}

void SetPromptHandler(IPromptHandler* handler) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_handler = handler;
}

IPromptHandler* GetPromptHandler() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_handler;
}

void QueuePromptAnswer(PromptAnswer answer) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_queued.push_back(answer);
}

std::vector<std::string> TakeShownPrompts() {
    std::lock_guard<std::mutex> lock(g_mutex);
    std::vector<std::string> out;
    out.swap(g_shown);
    return out;
}

}  // namespace bexora
