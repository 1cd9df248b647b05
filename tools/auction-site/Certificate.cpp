#include "Certificate.h"

#include <fcntl.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

namespace bexora::auction {

namespace {

std::string OpenSslError(const char* what) {
    char buf[256] = "";
    unsigned long e = ERR_get_error();
    if (e) ERR_error_string_n(e, buf, sizeof buf);
    return std::string(what) + (e ? std::string(": ") + buf : std::string());
}

bool AddExtension(X509* cert, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext) return false;
    bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}

// Opens a file for writing with the given mode, replacing what was there.
FILE* OpenWithMode(const std::string& path, mode_t mode) {
    ::unlink(path.c_str());
    // O_EXCL: a link planted after the unlink is not followed.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) return nullptr;
    ::fchmod(fd, mode);
    FILE* f = ::fdopen(fd, "w");
    if (!f) ::close(fd);
    return f;
}

}  // namespace

bool MakeSelfSignedCertificate(const std::string& certPath, const std::string& keyPath,
                               std::string* error) {
    auto fail = [&](const std::string& e) {
        if (error) *error = e;
        return false;
    };
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("P-256"), EVP_PKEY_free);
    if (!key) return fail(OpenSslError("cannot make a key"));
    std::unique_ptr<X509, decltype(&X509_free)> cert(X509_new(), X509_free);
    if (!cert) return fail(OpenSslError("cannot make a certificate"));

    X509_set_version(cert.get(), 2);
    unsigned char serial[16];
    RAND_bytes(serial, sizeof serial);
    serial[0] &= 0x7F;  // positive
    BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get()));
    BN_free(bn);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -24L * 3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 825L * 24 * 3600);
    X509_set_pubkey(cert.get(), key.get());

    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("Bexora local auction site"),
                               -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);

    // A leaf, not a CA: whoever trusts this certificate (as the client's CA
    // file) trusts these two names and nothing its key might sign.
    if (!AddExtension(cert.get(), NID_basic_constraints, "critical,CA:FALSE") ||
        !AddExtension(cert.get(), NID_key_usage, "critical,digitalSignature") ||
        !AddExtension(cert.get(), NID_ext_key_usage, "serverAuth") ||
        !AddExtension(cert.get(), NID_subject_key_identifier, "hash") ||
        !AddExtension(cert.get(), NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost"))
        return fail(OpenSslError("cannot set the certificate's extensions"));
    if (X509_sign(cert.get(), key.get(), EVP_sha256()) <= 0)
        return fail(OpenSslError("cannot sign the certificate"));

    FILE* kf = OpenWithMode(keyPath, 0600);
    if (!kf) return fail("cannot write " + keyPath);
    bool keyOk = PEM_write_PrivateKey(kf, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
    keyOk = std::fclose(kf) == 0 && keyOk;
    if (!keyOk) return fail("cannot write " + keyPath);
    FILE* cf = OpenWithMode(certPath, 0644);
    if (!cf) return fail("cannot write " + certPath);
    bool certOk = PEM_write_X509(cf, cert.get()) == 1;
    certOk = std::fclose(cf) == 0 && certOk;
    if (!certOk) return fail("cannot write " + certPath);
    return true;
}

}  // namespace bexora::auction
