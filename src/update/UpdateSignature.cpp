#include "update/UpdateSignature.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <memory>

#include "base/Settings.h"
#include "text/TextTools.h"

namespace bexora {

// Replaced by the maker's own key before a release is published; the
// private half never enters this repository.
const char kMakerUpdateKey[] = "NkSM2Zu1g7JqvJnn6oEVQHOENUOKUad+8RGFZ7TRrpw=";

namespace {

struct CtxFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};

std::string Hex(const unsigned char* p, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

}  // namespace

std::string UpdatePublicKey() {
    std::string key = Trim(Settings().GetString(setting::UpdateKey), " \t\r\n");
    return key.empty() ? std::string(kMakerUpdateKey) : key;
}

bool VerifyUpdateSignature(const std::string& text, const std::string& signature,
                           const std::string& publicKey) {
    const std::string sig = Base64Decode(Trim(signature, " \t\r\n"));
    const std::string key = Base64Decode(Trim(publicKey, " \t\r\n"));
    if (sig.size() != 64 || key.size() != 32) return false;
    std::unique_ptr<EVP_PKEY, CtxFree> pkey(EVP_PKEY_new_raw_public_key(
        EVP_PKEY_ED25519, nullptr, reinterpret_cast<const unsigned char*>(key.data()), key.size()));
    std::unique_ptr<EVP_MD_CTX, CtxFree> ctx(EVP_MD_CTX_new());
    if (!pkey || !ctx) return false;
    if (EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, pkey.get()) != 1) return false;
    return EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(sig.data()), sig.size(),
                            reinterpret_cast<const unsigned char*>(text.data()), text.size()) == 1;
}

std::string Sha256Hex(const std::string& bytes) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), md, &len, EVP_sha256(), nullptr) != 1) return {};
    return Hex(md, len);
}

bool Sha256File(const std::string& path, std::string& hex, uint64_t& size) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::unique_ptr<EVP_MD_CTX, CtxFree> ctx(EVP_MD_CTX_new());
    bool ok = ctx && EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) == 1;
    size = 0;
    char buf[65536];
    while (ok) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0) {
            ok = false;
        } else if (n == 0) {
            break;
        } else {
            size += static_cast<uint64_t>(n);
            ok = EVP_DigestUpdate(ctx.get(), buf, static_cast<size_t>(n)) == 1;
        }
    }
    close(fd);
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (!ok || EVP_DigestFinal_ex(ctx.get(), md, &len) != 1) return false;
    hex = Hex(md, len);
    return true;
}

}  // namespace bexora
