#pragma once

#include <QtCore/QByteArray>
#include <QtCore/QString>

#include <memory>

struct MosquittoLibrary;
struct ssl_ctx_st;
struct ssl_st;
struct x509_store_ctx_st;

// TLS for a session that connects to one of the broker's addresses rather than to its name. The broker's
// certificate is checked against the system's certificate authorities and against the name the user gave,
// and that name is the one offered to the broker (SNI), just as if the library had been given the name.
// Why a handshake failed is kept here, because the library only says that it did, and in words that differ
// from one OpenSSL release to the next.
class BrokerTls final
{
    Q_DISABLE_COPY_MOVE(BrokerTls)

public:
    // Null, and the reason in `error`, when OpenSSL cannot give a context for `host`.
    static std::unique_ptr<BrokerTls> create(const MosquittoLibrary &library, const QString &host,
                                             QString &error);
    ~BrokerTls();

    // The context every session of the connection is handed; each session holds a reference of its own.
    ssl_ctx_st *context() const;
    // Forgets what the previous handshake went through.
    void beginAttempt();
    // Why the handshake failed, as a phrase; empty while nothing has gone wrong.
    QString failure() const;
    // The handshake began and has not finished.
    bool isHandshaking() const;
    // The broker was sent the handshake's first message and the handshake did not finish: whatever the
    // library then calls the failure, it is TLS's.
    bool isHandshakeCutShort() const;
    // Why the connection could not be made, as the system said when the hello could not go out (0 if it
    // went, or is still waiting): some library releases say only that TLS failed.
    int connectionError() const;

private:
    explicit BrokerTls(const QString &host);
    static BrokerTls *of(const ssl_st *session);
    static int verify(int preverified, x509_store_ctx_st *store);
    static void watch(const ssl_st *session, int where, int value);

    QString m_host;
    QByteArray m_serverName; // empty for an address in digits, which is never offered as a name
    ssl_ctx_st *m_context = nullptr;
    QString m_certificateProblem;
    QString m_alert;
    bool m_handshakeStarted = false;
    bool m_helloSent = false;
    int m_connectionError = 0;
    bool m_handshakeDone = false;
};
