#include "ReleaseSigning.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <memory>

namespace bexora::release {

namespace {

struct Free {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
    void operator()(EVP_PKEY_CTX* c) const { EVP_PKEY_CTX_free(c); }
    void operator()(BIO* b) const { BIO_free(b); }
};
using Key = std::unique_ptr<EVP_PKEY, Free>;

Key ReadKey(const std::string& pem) {
    std::unique_ptr<BIO, Free> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    if (!bio) return nullptr;
    Key key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
    if (key && EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519) key.reset();
    return key;
}

std::string Base64(const unsigned char* p, size_t n) {
    std::string out(4 * ((n + 2) / 3) + 1, '\0');
    int len = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), p, static_cast<int>(n));
    out.resize(len > 0 ? static_cast<size_t>(len) : 0);
    return out;
}

}  // namespace

std::string Sha256Hex(const std::string& bytes) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), md, &len, EVP_sha256(), nullptr) != 1) return {};
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned i = 0; i < len; ++i) {
        hex += digits[md[i] >> 4];
        hex += digits[md[i] & 15];
    }
    return hex;
}

std::string ChecksumLines(const std::vector<std::pair<std::string, std::string>>& files) {
    static const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::string out;
    for (size_t i = 0; i < files.size(); ++i)
        out += std::string("H") + digits[(i + 1) % 36] + "=" + Sha256Hex(files[i].second) + " " +
               std::to_string(files[i].second.size()) + "\n";
    return out;
}

std::string GenerateKeyPem() {
    std::unique_ptr<EVP_PKEY_CTX, Free> ctx(EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr));
    EVP_PKEY* raw = nullptr;
    if (!ctx || EVP_PKEY_keygen_init(ctx.get()) != 1 || EVP_PKEY_keygen(ctx.get(), &raw) != 1) return {};
    Key key(raw);
    std::unique_ptr<BIO, Free> bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
        return {};
    char* data = nullptr;
    long n = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<size_t>(n));
}

std::string PublicKeyOf(const std::string& pem) {
    Key key = ReadKey(pem);
    unsigned char pub[32];
    size_t len = sizeof pub;
    if (!key || EVP_PKEY_get_raw_public_key(key.get(), pub, &len) != 1) return {};
    return Base64(pub, len);
}

std::string Sign(const std::string& pem, const std::string& text) {
    Key key = ReadKey(pem);
    std::unique_ptr<EVP_MD_CTX, Free> ctx(EVP_MD_CTX_new());
    if (!key || !ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1) return {};
    unsigned char sig[64];
    size_t len = sizeof sig;
    if (EVP_DigestSign(ctx.get(), sig, &len, reinterpret_cast<const unsigned char*>(text.data()),
                       text.size()) != 1)
        return {};
    return Base64(sig, len);
}

}  // namespace bexora::release
