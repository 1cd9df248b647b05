#pragma once
// A site profile through the update channel: "site.profile" and its detached
// signature "site.profile.sig" lie beside update.txt on the maker's site,
// signed with the same key. One is taken only when its signature holds, it
// reads as a profile and its version is above both the profile delivered
// before and the built-in one (never back to an older one); it is kept as
// UpdatedProfilePath() with its signature beside it, where running lists
// pick it up at their next refresh. A profile is the user's data, not the
// program, so it is taken where the program may not update itself.

#include <cstddef>
#include <string>

namespace bexora {

constexpr const char kProfileFileName[] = "site.profile";
constexpr const char kProfileSignatureName[] = "site.profile.sig";
// A profile is a few kilobytes; anything near this is not one.
constexpr size_t kMaxProfileBytes = 1u << 20;

struct CProfileUpdate {
    bool m_bTaken = false;  // a newer profile was saved
    std::string m_strName;  // the saved profile's name and version
    long m_nVersion = 0;
    // For the user when one was offered and refused (bad signature, not a
    // profile, older, too large) or could not be saved. A site without a
    // profile, or one the user already has, says nothing.
    std::string m_strProblem;
};

// Fetches "Update"/"Update URL" followed by "site.profile" and its signature
// (https only) and takes it as above. Blocks the calling thread.
CProfileUpdate CheckProfileUpdate();

}  // namespace bexora
