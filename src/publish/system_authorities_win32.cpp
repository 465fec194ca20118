#include "system_authorities.h"

#include "publish/mosquitto_library.h"

#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

// OpenSSL's own headers and Windows' name the same things (X509_NAME and others): OpenSSL's few functions
// used here are declared by their shapes instead.
struct x509_st;
struct x509_store_st;

namespace {
using CertStoreOf = x509_store_st *(*)(const ssl_ctx_st *);
using DecodeCertificate = x509_st *(*)(x509_st **, const unsigned char **, long);
using AddCertificate = int (*)(x509_store_st *, x509_st *);
using FreeCertificate = void (*)(x509_st *);

template <typename Function> Function tls(const MosquittoLibrary &library, const char *name)
{
    return reinterpret_cast<Function>(library.tlsFunction(name));
}
} // namespace

// OpenSSL knows nothing of Windows' certificate stores: each root the user's store trusts is handed to it.
void trustSystemAuthorities(const MosquittoLibrary &library, ssl_ctx_st *context)
{
    const auto certStore = tls<CertStoreOf>(library, "SSL_CTX_get_cert_store");
    const auto decode = tls<DecodeCertificate>(library, "d2i_X509");
    const auto addCert = tls<AddCertificate>(library, "X509_STORE_add_cert");
    const auto freeCert = tls<FreeCertificate>(library, "X509_free");
    if (!certStore || !decode || !addCert || !freeCert)
        return;
    HCERTSTORE roots = CertOpenSystemStoreW(0, L"ROOT");
    if (!roots)
        return;
    x509_store_st *trusted = certStore(context);
    for (PCCERT_CONTEXT found = CertEnumCertificatesInStore(roots, nullptr); found;
         found = CertEnumCertificatesInStore(roots, found)) {
        const unsigned char *der = found->pbCertEncoded;
        if (x509_st *certificate = decode(nullptr, &der, long(found->cbCertEncoded))) {
            addCert(trusted, certificate);
            freeCert(certificate);
        }
    }
    CertCloseStore(roots, 0);
}
