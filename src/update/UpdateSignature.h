#pragma once
// What makes an update trustworthy: the maker signs "update.txt" with an
// Ed25519 key (a detached signature in "update.txt.sig", Base64), and the
// signed text carries the SHA-256 and size of every file it names. Only the
// public half of the maker's key is in the program.

#include <cstdint>
#include <string>

namespace bexora {

// The detached signature of the instruction file, beside it on the site and
// in the update folder.
constexpr const char kUpdateSignatureName[] = "update.txt.sig";

// The maker's public key (Base64 of the 32 raw bytes), built in.
extern const char kMakerUpdateKey[];

// The key updates are checked against: "Update"/"UpdateKey" when set (the
// local test site names its test key there), otherwise the maker's.
std::string UpdatePublicKey();

// True when signature (Base64 of 64 bytes, blanks and line ends around it
// allowed) is publicKey's (Base64 of 32 bytes) Ed25519 signature of text.
bool VerifyUpdateSignature(const std::string& text, const std::string& signature,
                           const std::string& publicKey);

// SHA-256 as 64 lower-case hex digits.
std::string Sha256Hex(const std::string& bytes);
// The same for a file's content, with its size; false when it cannot be read.
bool Sha256File(const std::string& path, std::string& hex, uint64_t& size);

}  // namespace bexora
