// bexora-cli check-update and apply-update: the program update of the
// desktop program's "Check Program Update", without its dialog.

#include <unistd.h>

#include <iostream>
#include <mutex>
#include <string>

#include "cli/Commands.h"
#include "update/UpdateCheck.h"
#include "update/UpdateDownload.h"

namespace bexora::cli {

namespace {

// Takes --folder DIR (or --folder=DIR); the update folder defaults to the
// folder of bexora-cli itself. Returns false on misuse.
bool TakeFolder(const Args& args, std::string& folder, std::string& problem) {
    folder = ProgramFolder();
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--folder" && i + 1 < args.size()) {
            folder = args[++i];
        } else if (args[i].rfind("--folder=", 0) == 0) {
            folder = args[i].substr(9);
        } else {
            problem = args[i] == "--folder" ? "--folder needs a DIR" : "unknown argument \"" + args[i] + "\"";
            return false;
        }
    }
    return true;
}

// The dialog's two text lines on the terminal: each file line on a line of
// its own, the progress redrawn in place on a terminal and, elsewhere, its
// last text written once per file.
class CCliUpdateView : public IUpdateView {
public:
    CCliUpdateView() : m_bTty(isatty(STDOUT_FILENO) == 1) {}
    ~CCliUpdateView() override { EndProgress(); }

    void SetFileLine(const std::string& text) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        EndProgress();
        std::cout << text << "\n" << std::flush;
    }
    void SetStatusLine(const std::string& text) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (text.rfind("Downloaded ", 0) != 0) {
            EndProgress();
            std::cout << text << "\n" << std::flush;
            return;
        }
        m_strProgress = text;
        if (m_bTty) {
            std::string line = "\r" + text;
            if (text.size() < m_nDrawn) line += std::string(m_nDrawn - text.size(), ' ');
            m_nDrawn = text.size();
            std::cout << line << std::flush;
        }
    }
    void SetProgress(int) override {}
    void SetButtonText(UpdateButton, const std::string&) override {}
    void EnableButton(UpdateButton, bool) override {}
    void FocusButton(UpdateButton) override {}

private:
    // Closes the progress line of the file before.
    void EndProgress() {
        if (m_strProgress.empty()) return;
        std::cout << (m_bTty ? "\n" : m_strProgress + "\n") << std::flush;
        m_strProgress.clear();
        m_nDrawn = 0;
    }

    std::mutex m_mutex;
    bool m_bTty;
    std::string m_strProgress;
    size_t m_nDrawn = 0;
};

// A line for a profile taken or refused beside the program's update; false
// when one was refused.
bool TellProfile(const CProfileUpdate& profile) {
    if (profile.m_bTaken)
        std::cout << "Site profile \"" << profile.m_strName << "\" version " << profile.m_nVersion
                  << " installed.\n";
    if (profile.m_strProblem.empty()) return true;
    std::cerr << "bexora-cli: " << profile.m_strProblem << "\n";
    return false;
}

int CheckUpdateCommand(const Args& args) {
    std::string folder, problem;
    if (!TakeFolder(args, folder, problem)) return Usage(problem);
    CUpdateOffer offer = CheckUpdateOffer(folder);
    const bool profileOk = TellProfile(offer.m_profile);
    if (offer.m_bOffered) {
        std::cout << "Version " << offer.m_strVersion << " is offered.\n";
        return profileOk ? kOk : kFailed;
    }
    // A newer version this copy must not take: the package manager's, said once.
    if (offer.m_bManaged) {
        std::cout << "Version " << offer.m_strVersion << " is available through the package manager.\n";
        std::cerr << "bexora-cli: " << offer.m_strProblem << "\n";
        return kFailed;
    }
    std::cout << "No update is offered.\n";
    if (!offer.m_strProblem.empty()) {
        std::cerr << "bexora-cli: " << offer.m_strProblem << "\n";
        return kFailed;
    }
    if (!offer.m_bRead) {
        std::cerr << "bexora-cli: no update instruction file at " << UpdateInstructionsUrl() << "\n";
        return kFailed;
    }
    return profileOk ? kOk : kFailed;
}

int ApplyUpdateCommand(const Args& args) {
    std::string folder, problem;
    if (!TakeFolder(args, folder, problem)) return Usage(problem);
    CUpdateOffer offer = CheckUpdateOffer(folder);
    TellProfile(offer.m_profile);
    if (!offer.m_bOffered) {
        std::cout << "No update is offered.\n";
        if (!offer.m_strProblem.empty()) std::cerr << "bexora-cli: " << offer.m_strProblem << "\n";
        return offer.m_bRead && offer.m_strProblem.empty() ? kOk : kFailed;
    }
    std::cout << "Updating to version " << offer.m_strVersion << " in " << folder << "\n";
    bool complete;
    {
        CCliUpdateView view;
        CUpdateDownload update(view, folder);
        update.OnFirstButton();
        update.WaitForWorker();
        complete = update.OnSecondButton() == UpdateEnding::Ok;
    }
    return complete ? kOk : kFailed;
}

}  // namespace

void AddUpdateCommands(CommandTable& commands) {
    commands.push_back({"check-update", &CheckUpdateCommand,
                        "  check-update [--folder DIR]   print the version the update site offers, or\n"
                        "                                that none is offered; a newer signed site\n"
                        "                                profile there is installed\n"});
    commands.push_back({"apply-update", &ApplyUpdateCommand,
                        "  apply-update [--folder DIR]   download the offered update into DIR (the\n"
                        "                                folder of bexora-cli by default), keeping each\n"
                        "                                replaced file as NAME.bak; only what the\n"
                        "                                maker signed, over https\n"});
}

}  // namespace bexora::cli
