#include "support/tls_certificate.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>

namespace parktotals::testing {
namespace {

template <typename T, void (*Free)(T*)>
using Owned = std::unique_ptr<T, std::integral_constant<decltype(Free), Free>>;

[[noreturn]] void Fail(const std::string& what) {
    char reason[256] = "no reason given";
    if (const unsigned long code = ERR_get_error()) ERR_error_string_n(code, reason, sizeof reason);
    ERR_clear_error();
    throw std::runtime_error("cannot make a test certificate: " + what + ": " + reason);
}

void AddExtension(X509* certificate, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    Owned<X509_EXTENSION, X509_EXTENSION_free> extension(
        X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str()));
    if (!extension || X509_add_ext(certificate, extension.get(), -1) != 1) Fail("extension " + value);
}

void WritePem(const std::string& file, const std::function<int(BIO*)>& write) {
    Owned<BIO, BIO_free_all> out(BIO_new_file(file.c_str(), "w"));
    if (!out || write(out.get()) != 1) Fail("writing " + file);
}

} // namespace

TlsCertificate::TlsCertificate(const std::string& host)
    : certificate_file_(dir_ / "certificate.pem"), key_file_(dir_ / "key.pem") {
    Owned<EVP_PKEY, EVP_PKEY_free> key(EVP_EC_gen("P-256"));
    if (!key) Fail("EC key");

    Owned<X509, X509_free> certificate(X509_new());
    if (!certificate) Fail("X509_new");
    X509_set_version(certificate.get(), 2);  // v3, for the extensions
    // A random serial: a client that has seen an earlier run's certificate
    // must not take this one for it.
    unsigned char serial[16];
    if (RAND_bytes(serial, sizeof serial) != 1) Fail("serial");
    serial[0] &= 0x7F;  // positive
    Owned<BIGNUM, BN_free> number(BN_bin2bn(serial, sizeof serial, nullptr));
    if (!number || !BN_to_ASN1_INTEGER(number.get(), X509_get_serialNumber(certificate.get()))) Fail("serial");
    // An hour back, against clocks that differ a little.
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 24 * 3600);
    X509_NAME* name = X509_get_subject_name(certificate.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(host.c_str()), -1,
                               -1, 0);
    X509_set_issuer_name(certificate.get(), name);
    X509_set_pubkey(certificate.get(), key.get());

    in6_addr address;
    const bool is_address = inet_pton(AF_INET, host.c_str(), &address) == 1 ||
                            inet_pton(AF_INET6, host.c_str(), &address) == 1;
    AddExtension(certificate.get(), NID_subject_alt_name, (is_address ? "IP:" : "DNS:") + host);
    // Its own issuer: a client given it as its CA file trusts it as one.
    AddExtension(certificate.get(), NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(certificate.get(), NID_subject_key_identifier, "hash");
    if (X509_sign(certificate.get(), key.get(), EVP_sha256()) == 0) Fail("signing");

    WritePem(certificate_file_, [&](BIO* out) { return PEM_write_bio_X509(out, certificate.get()); });
    WritePem(key_file_, [&](BIO* out) {
        return PEM_write_bio_PrivateKey(out, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    });
}

} // namespace parktotals::testing
