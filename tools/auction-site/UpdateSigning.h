#pragma once
// The site signs its update folder the way the maker signs a release
// (tools/sign-release), with a fixed TEST key whose public half the
// site's settings file names ("Update"/"UpdateKey"). The test key signs
// nothing but this site's folder; the program's own key is the maker's.

#include <string>
#include <utility>
#include <vector>

namespace bexora::auction {

// The test key pair. Never the maker's: a program without the settings
// entry refuses everything this site signs.
extern const char kTestUpdateKeyPem[];
extern const char kTestUpdatePublicKey[];  // Base64 of the 32 bytes

// The checksum lines for update.txt's files.
std::string TestChecksumLines(const std::vector<std::pair<std::string, std::string>>& files);
// The detached signature (Base64 and a line feed) of update.txt's text.
std::string TestUpdateSignature(const std::string& text);

}  // namespace bexora::auction
