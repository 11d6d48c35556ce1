// velvane-trust: makes this Windows (in practice: one Wine prefix) trust a
// certificate authority, for the demo's and the tests' TLS stand-ins.
//
//   velvane-trust CERT.der
//
// Adds the DER certificate to the machine's ROOT store. Prints
// "trusted" and returns 0, or says why not and returns 1 (2 for bad use).
#include <windows.h>
#include <wincrypt.h>

#include <stdio.h>

int main(int argc, char **argv)
{
    if (argc != 2) {
        fputs("usage: velvane-trust CERT.der\n", stderr);
        return 2;
    }
    FILE *file = fopen(argv[1], "rb");
    static BYTE der[65536];
    size_t length = file != NULL ? fread(der, 1, sizeof der, file) : 0;
    if (file != NULL)
        fclose(file);
    if (length == 0 || length == sizeof der) {
        fprintf(stderr, "velvane-trust: cannot read %s\n", argv[1]);
        return 1;
    }
    HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "ROOT");
    if (root == NULL) {
        fprintf(stderr, "velvane-trust: no ROOT store (error %lu)\n", (unsigned long)GetLastError());
        return 1;
    }
    BOOL added = CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, der, (DWORD)length,
                                                  CERT_STORE_ADD_REPLACE_EXISTING, NULL);
    DWORD error = GetLastError();
    CertCloseStore(root, 0);
    if (!added) {
        fprintf(stderr, "velvane-trust: the certificate was not added (error %lu)\n", (unsigned long)error);
        return 1;
    }
    puts("trusted");
    return 0;
}
