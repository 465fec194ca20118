#pragma once

#include <QtCore/QByteArray>
#include <QtCore/QString>

// A certificate authority of the test's own, its ca.pem and ca.key in a folder, that the system trusts while
// the object lives, as a TLS client made meanwhile sees it. On Linux it is made there and is the one
// authority OpenSSL's default paths give (SSL_CERT_FILE). Under Wine, whose trusted roots are the Linux
// side's and cannot be added to, it is the one scripts/windows-tests.sh made and made trusted
// (VANTRO_TRUSTED_AUTHORITY), brought into the folder.
class TrustedAuthority final
{
    Q_DISABLE_COPY_MOVE(TrustedAuthority)

public:
    explicit TrustedAuthority(const QString &folder);
    ~TrustedAuthority();

    // Whether the authority is there and the system's store holds it.
    bool isTrusted() const;

private:
    QByteArray m_before;
    bool m_trusted = false;
};
