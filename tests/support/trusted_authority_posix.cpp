#include "trusted_authority.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QProcess>

TrustedAuthority::TrustedAuthority(const QString &folder) : m_before(qgetenv("SSL_CERT_FILE"))
{
    const QDir keys(folder);
    QProcess openssl;
    openssl.setStandardErrorFile(QProcess::nullDevice());
    openssl.start(QStringLiteral("openssl"), {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                                              "-subj", "/CN=Vantro test authority", "-keyout",
                                              keys.filePath("ca.key"), "-out", keys.filePath("ca.pem")});
    m_trusted = openssl.waitForFinished() && openssl.exitCode() == 0 &&
                qputenv("SSL_CERT_FILE", QFile::encodeName(keys.filePath("ca.pem")));
}

TrustedAuthority::~TrustedAuthority()
{
    if (m_before.isNull())
        qunsetenv("SSL_CERT_FILE");
    else
        qputenv("SSL_CERT_FILE", m_before);
}

bool TrustedAuthority::isTrusted() const
{
    return m_trusted;
}
