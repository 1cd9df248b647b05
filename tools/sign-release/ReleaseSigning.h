#pragma once
// The maker's side of a signed update: checksum lines for update.txt and
// the Ed25519 signature over it. Used by sign-release and by the local
// auction site, which signs its update folder with a test key the same way.

#include <string>
#include <utility>
#include <vector>

namespace bexora::release {

// SHA-256 as 64 lower-case hex digits.
std::string Sha256Hex(const std::string& bytes);

// The lines that follow the file names in update.txt, one a file in the
// same order: "H1=<sha256> <size>" (a three-character key, like the names).
std::string ChecksumLines(const std::vector<std::pair<std::string, std::string>>& files);

// A new Ed25519 private key as PEM.
std::string GenerateKeyPem();
// The public half of a PEM private key as Base64 of its 32 bytes; "" when
// pem is not an Ed25519 key.
std::string PublicKeyOf(const std::string& pem);
// Base64 of the 64-byte signature of text; "" when pem is not an Ed25519 key.
std::string Sign(const std::string& pem, const std::string& text);

}  // namespace bexora::release
