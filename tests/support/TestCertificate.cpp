#include "tests/support/TestCertificate.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>

namespace {

template <typename T, void (*F)(T*)>
struct TFree
{
    void operator()(T* p) const { F(p); }
};

void AddExtension(X509* cert, int nid, const char* value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    std::unique_ptr<X509_EXTENSION, TFree<X509_EXTENSION, X509_EXTENSION_free>> ext(
        X509V3_EXT_conf_nid(nullptr, &ctx, nid, value));
    if (!ext || !X509_add_ext(cert, ext.get(), -1))
        throw std::runtime_error("certificate extension");
}

void WritePem(const QString& path, const std::function<int(FILE*)>& write)
{
    FILE* f = std::fopen(path.toLocal8Bit().constData(), "wb");
    if (!f)
        throw std::runtime_error("cannot write " + path.toStdString());
    const int ok = write(f);
    std::fclose(f);
    if (!ok)
        throw std::runtime_error("PEM write failed");
}

} // namespace

TTestCertificate TTestCertificate::Create(const QString& folder, const QString& baseName)
{
    std::unique_ptr<EVP_PKEY, TFree<EVP_PKEY, EVP_PKEY_free>> key(EVP_EC_gen("P-256"));
    std::unique_ptr<X509, TFree<X509, X509_free>> cert(X509_new());
    if (!key || !cert)
        throw std::runtime_error("OpenSSL key or certificate");

    X509_set_version(cert.get(), 2);
    static long serial = 1000;
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), ++serial);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 2L * 24 * 3600);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Testlauf"), -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    AddExtension(cert.get(), NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(cert.get(), NID_key_usage, "critical,digitalSignature,keyCertSign");
    AddExtension(cert.get(), NID_ext_key_usage, "serverAuth");
    AddExtension(cert.get(), NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1");
    if (!X509_sign(cert.get(), key.get(), EVP_sha256()))
        throw std::runtime_error("certificate signature");

    TTestCertificate result;
    result.CertFile = folder + QLatin1Char('/') + baseName + QStringLiteral("-cert.pem");
    result.KeyFile = folder + QLatin1Char('/') + baseName + QStringLiteral("-key.pem");
    WritePem(result.CertFile, [&](FILE* f) { return PEM_write_X509(f, cert.get()); });
    WritePem(result.KeyFile, [&](FILE* f) {
        return PEM_write_PrivateKey(f, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    });

    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    X509_digest(cert.get(), EVP_sha256(), digest, &length);
    result.Sha256Fingerprint = QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex();
    return result;
}
