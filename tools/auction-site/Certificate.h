#pragma once
// A self-signed leaf certificate for 127.0.0.1 and localhost, made at start
// so the sign-in pages can be served over HTTPS and a client can trust it by
// naming the certificate file as its CA file. It is no CA (CA:FALSE, no
// keyCertSign), so trusting it vouches for no other host.

#include <string>

namespace bexora::auction {

// Writes a new EC P-256 key (mode 0600) and a certificate (mode 0644), both
// PEM. False with error set when OpenSSL or the file system refuses.
bool MakeSelfSignedCertificate(const std::string& certPath, const std::string& keyPath,
                               std::string* error);

}  // namespace bexora::auction
