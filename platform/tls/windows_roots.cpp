// The default trust on Windows: the system's store of root certificates.
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <windows.h>
#include <wincrypt.h>

namespace fb::tls {

void addWindowsRoots(SSL_CTX* ctx) {
    HCERTSTORE system = CertOpenSystemStoreW(0, L"ROOT");
    if (!system)
        return;
    X509_STORE* store = SSL_CTX_get_cert_store(ctx);
    PCCERT_CONTEXT cert = nullptr;
    while ((cert = CertEnumCertificatesInStore(system, cert)) != nullptr) {
        const unsigned char* der = cert->pbCertEncoded;
        if (X509* x = d2i_X509(nullptr, &der, static_cast<long>(cert->cbCertEncoded))) {
            X509_STORE_add_cert(store, x); // a duplicate is refused, harmlessly
            X509_free(x);
        }
    }
    CertCloseStore(system, 0);
    ERR_clear_error();
}

} // namespace fb::tls
