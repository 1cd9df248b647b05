#pragma once
// API settled.
//
// The notice log behind the "Item Information" window: one-line texts with a
// level 0 to 3, kept when the level reaches the filter ("Message Level" /
// "Level": 0 every change, 1 changes on items I bid on, 2 outbids, 3 none of
// the ordinary ones). Level-3 notices pass every filter.

#include <functional>
#include <string>
#include <vector>

namespace bexora {

// Texts the notices are built from.
namespace notice {
constexpr const char* kGroupLimit = "Bid is not placed because the bid group limit is reached.";
constexpr const char* kEndedBeforeBid = "The auction is ended before the bid can be placed.";
constexpr const char* kNoHistory = "No bidding history.";
constexpr const char* kNewerVersion =
    "Info: There is a newer version of the program. Please run the update command.";
}  // namespace notice

class CNoticeLog {
public:
    // Called for every notice that passes the filter, after it was appended.
    using Listener = std::function<void(const std::string& text, int level)>;

    void SetListener(Listener listener) { m_listener = std::move(listener); }
    void SetLevel(int level) { m_nLevel = level; }
    int GetLevel() const { return m_nLevel; }

    // Appends text when level >= the filter and tells the listener; returns
    // whether it was kept.
    bool Notify(const std::string& text, int level);

    // The kept lines, oldest first.
    const std::vector<std::string>& Lines() const { return m_lines; }
    // OK or Cancel in the notice window: empties it.
    void Clear() { m_lines.clear(); }

private:
    std::vector<std::string> m_lines;
    int m_nLevel = 0;
    Listener m_listener;
};

}  // namespace bexora
