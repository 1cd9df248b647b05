#include "base/Prompt.h"

#include <cstdio>
#include <deque>
#include <memory>
#include <utility>
#include <mutex>

namespace bexora {

namespace {

std::mutex g_mutex;
IPromptHandler* g_handler = nullptr;
std::deque<PromptAnswer> g_queued;
std::vector<std::string> g_shown;
// Newest last; calls to a poster are made under g_posterMutex, so a poster
// removed is never called afterwards.
std::mutex g_posterMutex;
std::vector<std::pair<const void*, UiPoster>> g_posters;

// Runs its function once, when asked or at the latest when destroyed (a
// posted call that was dropped unrun).
class CRunOnce {
public:
    explicit CRunOnce(std::function<void()> fn) : m_fn(std::move(fn)) {}
    ~CRunOnce() { Run(); }
    void Run() {
        auto fn = std::move(m_fn);
        m_fn = nullptr;
        if (fn) fn();
    }

private:
    std::function<void()> m_fn;
};
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

void PostPrompt(const std::string& text, PromptButtons buttons, PromptIcon icon,
                std::function<void()> closed) {
    auto done = std::make_shared<CRunOnce>(std::move(closed));
    {
        std::lock_guard<std::mutex> lock(g_posterMutex);
        if (!g_posters.empty()) {
            auto call = [text, buttons, icon, done] {
                ShowPrompt(text, buttons, icon);
                done->Run();
            };
            if (g_posters.back().second(call)) return;
        }
    }
    // No UI thread to go to, or this is it: shown here (outside the lock, as
    // a box may run an event loop).
    ShowPrompt(text, buttons, icon);
    done->Run();
}

void InstallUiPoster(const void* owner, UiPoster poster) {
    std::lock_guard<std::mutex> lock(g_posterMutex);
    g_posters.emplace_back(owner, std::move(poster));
}

void RemoveUiPoster(const void* owner) {
    std::lock_guard<std::mutex> lock(g_posterMutex);
    for (auto it = g_posters.begin(); it != g_posters.end();)
        it = it->first == owner ? g_posters.erase(it) : it + 1;
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
