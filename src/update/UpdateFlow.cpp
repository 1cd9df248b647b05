#include "update/UpdateFlow.h"

#include "base/Prompt.h"
#include "base/Settings.h"
#include "update/UpdateCheck.h"

namespace bexora {

namespace {

// A profile on the maker's site is news of its own, told before the
// program's answer.
void TellProfile(const CProfileUpdate& profile) {
    if (!profile.m_strProblem.empty())
        ShowPrompt(profile.m_strProblem, PromptButtons::Ok, PromptIcon::Warning);
    else if (profile.m_bTaken)
        ShowPrompt("The site profile \"" + profile.m_strName + "\" (version " +
                       std::to_string(profile.m_nVersion) +
                       ") from the maker's site was installed.",
                   PromptButtons::Ok, PromptIcon::Information);
}

}  // namespace

bool SplashUpdateCheck(const std::string& folder,
                       const std::function<void(const std::string&)>& setStatus,
                       const RunUpdateDialog& runDialog) {
    setStatus("Checking the program update...");
    const CUpdateOffer offer = CheckUpdateOffer(folder);
    if (offer.m_bManaged) {
        // Told once per version, not at every start.
        if (Settings().GetInt(setting::UpdateToldVersion) != offer.m_nVersion) {
            ShowPrompt(offer.m_strProblem, PromptButtons::Ok, PromptIcon::Information);
            Settings().WriteInt(setting::UpdateToldVersion, offer.m_nVersion);
        }
        setStatus("You are using the lastest version");
        return true;
    }
    if (!offer.m_bOffered) {
        setStatus(offer.m_strProblem.empty() ? "You are using the lastest version" : "Error updating ...");
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
    const CUpdateOffer offer = CheckUpdateOffer(folder);
    TellProfile(offer.m_profile);
    if (!offer.m_strProblem.empty()) {
        ShowPrompt(offer.m_strProblem, PromptButtons::Ok,
                   offer.m_bManaged ? PromptIcon::Information : PromptIcon::Error);
        return false;
    }
    if (!offer.m_bOffered) {
        ShowPrompt("No Update available right now.\nPlease check back later.");
        return false;
    }
    if (runDialog()) return true;
    ShowPrompt("Error updating, Please try again later.");
    return false;
}

}  // namespace bexora
