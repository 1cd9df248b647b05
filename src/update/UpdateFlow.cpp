#include "update/UpdateFlow.h"

#include "base/Prompt.h"
#include "update/UpdateCheck.h"

namespace bexora {

bool SplashUpdateCheck(const std::string& folder,
                       const std::function<void(const std::string&)>& setStatus,
                       const RunUpdateDialog& runDialog) {
    setStatus("Checking the program update...");
    if (!CheckForUpdate(folder)) {
        setStatus("You are using the lastest version");
        return true;
    }
    if (runDialog()) {
        setStatus("Finish updating ...");
        return false;
    }
    setStatus("Error updating ...");
    return true;
}

bool CheckProgramUpdateCommand(const std::string& folder, const RunUpdateDialog& runDialog) {
    if (!CheckForUpdate(folder)) {
        ShowPrompt("No Update available right now.\nPlease check back later.");
        return false;
    }
    if (runDialog()) return true;
    ShowPrompt("Error updating, Please try again later.");
    return false;
}

}  // namespace bexora
