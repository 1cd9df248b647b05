#pragma once
// The two places that run the update: the splash at start-up and the menu
// command "Check Program Update". The dialog itself is the front end's; it
// is passed in as a function that runs it modally and answers whether it
// ended with OK (Restart pressed after a complete update, the new copy of
// the program already started).

#include <functional>
#include <string>

namespace bexora {

using RunUpdateDialog = std::function<bool()>;

// The splash's work: sets the status line as the check goes and answers
// whether start-up goes on (false: this copy exits, the new one runs).
bool SplashUpdateCheck(const std::string& folder,
                       const std::function<void(const std::string&)>& setStatus,
                       const RunUpdateDialog& runDialog);

// Command 145. Shows "No Update available right now..." or
// "Error updating, ..." through ShowPrompt; answers true when the main
// window should now close (through its usual close questions).
bool CheckProgramUpdateCommand(const std::string& folder, const RunUpdateDialog& runDialog);

}  // namespace bexora
