#include "trusted_authority.h"

#include "board_line.h"

#include <QtCore/QDir>
#include <QtCore/QFile>

#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

namespace {
QByteArray derOf(const QByteArray &pem)
{
    const qsizetype begin = pem.indexOf('\n', pem.indexOf("-----BEGIN CERTIFICATE-----"));
    const qsizetype end = pem.indexOf("-----END CERTIFICATE-----");
    return begin < 0 || end < begin ? QByteArray() : QByteArray::fromBase64(pem.mid(begin, end - begin));
}

// Whether the user's Trusted Root Certification Authorities hold the certificate.
bool rootsHold(const QByteArray &der)
{
    HCERTSTORE roots = CertOpenSystemStoreW(0, L"ROOT");
    if (!roots || der.isEmpty())
        return false;
    bool held = false;
    PCCERT_CONTEXT found = nullptr;
    while (!held && (found = CertEnumCertificatesInStore(roots, found)))
        held = QByteArray::fromRawData(reinterpret_cast<const char *>(found->pbCertEncoded),
                                       qsizetype(found->cbCertEncoded)) == der;
    if (found)
        CertFreeCertificateContext(found);
    CertCloseStore(roots, 0);
    return held;
}
} // namespace

TrustedAuthority::TrustedAuthority(const QString &folder)
{
    const QDir made(qEnvironmentVariable("VANTRO_TRUSTED_AUTHORITY"));
    const QDir keys(folder);
    bool brought = true;
    for (const QString &name : {QStringLiteral("ca.pem"), QStringLiteral("ca.key")})
        brought = QFile::copy(made.filePath(name), keys.filePath(name)) && brought;
    m_trusted = brought && rootsHold(derOf(fileContents(keys.filePath(QStringLiteral("ca.pem")))));
}

TrustedAuthority::~TrustedAuthority() = default;

bool TrustedAuthority::isTrusted() const
{
    return m_trusted;
}
