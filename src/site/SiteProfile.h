#pragma once
// The site profile: every text the program looks for on the auction site's
// pages and every address it asks for, as data. The built-in profile holds
// the classic pages' texts (data/profiles/builtin.profile is compiled in);
// a profile file of the user's choice ("Site"/"SiteProfile") or one that came
// through the signed update channel takes its place without a new build.
//
// The file: one "key = value" a line, "#" comments, values in double quotes
// keep their end blanks (\" \\ \n \t inside). Keys the program does not know
// are refused; list keys may repeat, others may not; every single key must be
// given. See data/profiles/builtin.profile for the keys and what they mean.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace bexora {

// One row of the confirmation's answer table.
struct ProfileAnswer {
    std::string marker;   // text the page contains (empty for empty-page / unknown)
    std::string meaning;  // high-bidder, not-registered, message, multiple-quantity,
                          // empty-page, unknown
    std::string message;  // what the user is shown
};

class CSiteProfile {
public:
    // A single value; every known single key has one in a read profile.
    const std::string& Get(const char* key) const;
    // A list key's values in file order (possibly none).
    const std::vector<std::string>& List(const char* key) const;
    long Number(const char* key) const;
    const std::vector<ProfileAnswer>& Answers() const { return m_answers; }

    // True when every text of list key (e.g. "item.recognise") is in page;
    // missing names the first that is not.
    bool Recognises(const char* key, const std::string& page, std::string* missing = nullptr) const;

    // "name" and "version", and where it came from ("built in", a path).
    const std::string& Name() const { return Get("name"); }
    long Version() const { return Number("version"); }
    std::string m_strSource;

    // The profile written back as a file (the built-in one reads back equal).
    std::string Text() const;

private:
    friend bool ParseSiteProfile(const std::string&, CSiteProfile&, std::string&);
    std::map<std::string, std::vector<std::string>> m_values;
    std::vector<ProfileAnswer> m_answers;
};

// Reads a profile file's text. False with error ("line 12: ...") when a line
// is malformed, a key unknown or given twice, or a single key missing.
bool ParseSiteProfile(const std::string& text, CSiteProfile& out, std::string& error);

// The compiled-in profile and its text.
const CSiteProfile& BuiltinProfile();
const std::string& BuiltinProfileText();

// The profile in use, read again when its file changes (a profile that
// arrives while lists run applies at their next refresh). In order: the file
// named by "Site"/"SiteProfile" ("builtin" or empty: none), else the profile
// the update channel delivered (UpdatedProfilePath()), else the built-in one.
// A file that cannot be read leaves the built-in profile in use and
// ProfileProblem() says why. Any thread.
std::shared_ptr<const CSiteProfile> CurrentProfile();
std::string ProfileProblem();

// Reads a profile: "builtin" names the built-in one, anything else a file.
bool LoadSiteProfile(const std::string& nameOrPath, CSiteProfile& out, std::string& error);

// Where a profile from the update channel is kept (with its ".sig").
std::string UpdatedProfilePath();

}  // namespace bexora
