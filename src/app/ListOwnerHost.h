#pragma once
// The desktop program as the owner of the lists it has open: each list
// window serves its list to bexora-cli (the commands run on the window's
// list, on the UI thread, and the window shows what they changed), a list
// that bexora-cli run has open is not opened a second time, and a second
// `bexora` hands its command line to the running one and ends.

#include <memory>
#include <string>

#include "listview/ListOwner.h"

namespace bexora {

class CMainFrame;
class CebayListView;

// What the desktop program writes into a list's lock file.
constexpr char kDesktopOwnerName[] = "bexora";

// Takes path's lock for a list window. When another program has the list
// open, says so and offers to open it here once that program lets it go
// (frame, if given, then opens it by itself); false then.
bool AcquireListForWindow(const std::string& path, CListLock& lock, CMainFrame* frame);

// Whether another process holds path's lock.
bool ListHasOwner(const std::string& path);

// Serves view's list under the lock taken for it (null when it cannot be
// served: the window works as before, it just has no clients).
std::unique_ptr<CListOwner> ServeListWindow(CebayListView& view, const std::string& path,
                                            CListLock& lock,
                                            const char* program = kDesktopOwnerName);

// One desktop program per user. Before anything is shown: when a desktop
// program runs already, hands it file (empty: just come to the front) and
// returns true; this program should end. Otherwise this program becomes
// the one, and files handed to it later open in frame once it is set.
bool HandToRunningProgram(const std::string& file);
void SetProgramFrame(CMainFrame* frame);
// Ends being the one (before the main window goes).
void StopProgramServer();

}  // namespace bexora
