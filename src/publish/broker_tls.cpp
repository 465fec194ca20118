#include "broker_tls.h"

#include "publish/mosquitto_library.h"
#include "publish/socket_probe.h"
#include "publish/system_authorities.h"

#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

namespace {
// The OpenSSL functions used here, those of the OpenSSL libmosquitto was built with.
#define VANTRO_OPENSSL_FUNCTIONS(X)                                                                          \
    X(TLS_client_method)                                                                                     \
    X(SSL_CTX_new)                                                                                           \
    X(SSL_CTX_free)                                                                                          \
    X(SSL_CTX_ctrl)                                                                                          \
    X(SSL_CTX_set_verify)                                                                                    \
    X(SSL_CTX_set_info_callback)                                                                             \
    X(SSL_CTX_get0_param)                                                                                    \
    X(SSL_CTX_set_ex_data)                                                                                   \
    X(SSL_CTX_get_ex_data)                                                                                   \
    X(SSL_get_SSL_CTX)                                                                                       \
    X(SSL_ctrl)                                                                                              \
    X(SSL_get_state)                                                                                         \
    X(SSL_get_ex_data_X509_STORE_CTX_idx)                                                                    \
    X(SSL_alert_desc_string_long)                                                                            \
    X(X509_STORE_CTX_get_ex_data)                                                                            \
    X(X509_STORE_CTX_get_error)                                                                              \
    X(X509_VERIFY_PARAM_set1_host)                                                                           \
    X(X509_VERIFY_PARAM_set1_ip_asc)                                                                         \
    X(X509_verify_cert_error_string)

struct OpenSsl
{
#define VANTRO_OPENSSL_POINTER(name) decltype(&::name) name = nullptr;
    VANTRO_OPENSSL_FUNCTIONS(VANTRO_OPENSSL_POINTER)
#undef VANTRO_OPENSSL_POINTER
};

// Resolved once; null and the missing function's name in `error` when libmosquitto was built without TLS.
const OpenSsl *openSsl(const MosquittoLibrary &library, QString &error)
{
    static OpenSsl functions;
    static const QString failure = [&library] {
#define VANTRO_OPENSSL_RESOLVE(name)                                                                         \
    functions.name = reinterpret_cast<decltype(functions.name)>(library.tlsFunction(#name));                 \
    if (!functions.name)                                                                                     \
        return QStringLiteral("the MQTT library has no TLS (%1)").arg(QLatin1String(#name));
        VANTRO_OPENSSL_FUNCTIONS(VANTRO_OPENSSL_RESOLVE)
#undef VANTRO_OPENSSL_RESOLVE
        return QString();
    }();
    error = failure;
    return failure.isEmpty() ? &functions : nullptr;
}

const OpenSsl *openssl = nullptr; // set by the first BrokerTls::create that succeeds
} // namespace

BrokerTls::BrokerTls(const QString &host) : m_host(host)
{
    if (!SocketProbe::isNumericAddress(host))
        m_serverName = host.toUtf8();
}

std::unique_ptr<BrokerTls> BrokerTls::create(const MosquittoLibrary &library, const QString &host,
                                             QString &error)
{
    openssl = openSsl(library, error);
    if (!openssl)
        return nullptr;
    std::unique_ptr<BrokerTls> tls(new BrokerTls(host));
    tls->m_context = openssl->SSL_CTX_new(openssl->TLS_client_method());
    if (!tls->m_context) {
        error = QStringLiteral("OpenSSL gives no TLS context");
        return nullptr;
    }
    ssl_ctx_st *context = tls->m_context;
    openssl->SSL_CTX_ctrl(context, SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION, nullptr);
    trustSystemAuthorities(library, context);
    X509_VERIFY_PARAM *check = openssl->SSL_CTX_get0_param(context);
    const QByteArray name = host.toUtf8();
    const bool checked = tls->m_serverName.isEmpty()
                             ? openssl->X509_VERIFY_PARAM_set1_ip_asc(check, name.constData()) == 1
                             : openssl->X509_VERIFY_PARAM_set1_host(check, name.constData(), 0) == 1;
    if (!checked) {
        error = QStringLiteral("cannot check the broker's certificate against %1").arg(host);
        return nullptr;
    }
    openssl->SSL_CTX_set_verify(context, SSL_VERIFY_PEER, &BrokerTls::verify);
    openssl->SSL_CTX_set_info_callback(context, &BrokerTls::watch);
    openssl->SSL_CTX_set_ex_data(context, 0, tls.get());
    return tls;
}

BrokerTls::~BrokerTls()
{
    if (m_context)
        openssl->SSL_CTX_free(m_context);
}

ssl_ctx_st *BrokerTls::context() const
{
    return m_context;
}

void BrokerTls::beginAttempt()
{
    m_certificateProblem.clear();
    m_alert.clear();
    m_handshakeStarted = false;
    m_helloSent = false;
    m_connectionError = 0;
    m_handshakeDone = false;
}

bool BrokerTls::isHandshaking() const
{
    return m_handshakeStarted && !m_handshakeDone;
}

bool BrokerTls::isHandshakeCutShort() const
{
    return m_helloSent && !m_handshakeDone;
}

int BrokerTls::connectionError() const
{
    return m_helloSent ? 0 : m_connectionError;
}

QString BrokerTls::failure() const
{
    if (!m_certificateProblem.isEmpty())
        return QStringLiteral("the TLS handshake failed (the broker's certificate %1)")
            .arg(m_certificateProblem);
    if (!m_alert.isEmpty())
        return QStringLiteral("the TLS handshake failed (%1)").arg(m_alert);
    return QString();
}

BrokerTls *BrokerTls::of(const ssl_st *session)
{
    return static_cast<BrokerTls *>(openssl->SSL_CTX_get_ex_data(openssl->SSL_get_SSL_CTX(session), 0));
}

int BrokerTls::verify(int preverified, x509_store_ctx_st *store)
{
    const auto *session = static_cast<const ssl_st *>(
        openssl->X509_STORE_CTX_get_ex_data(store, openssl->SSL_get_ex_data_X509_STORE_CTX_idx()));
    BrokerTls *tls = of(session);
    if (preverified || !tls->m_certificateProblem.isEmpty())
        return preverified;
    const int code = openssl->X509_STORE_CTX_get_error(store);
    if (code == X509_V_ERR_HOSTNAME_MISMATCH || code == X509_V_ERR_IP_ADDRESS_MISMATCH)
        tls->m_certificateProblem = QStringLiteral("is not for %1").arg(tls->m_host);
    else
        tls->m_certificateProblem = QStringLiteral("is not trusted: %1")
                                        .arg(QString::fromUtf8(openssl->X509_verify_cert_error_string(code)));
    return preverified;
}

void BrokerTls::watch(const ssl_st *session, int where, int value)
{
    BrokerTls *tls = of(session);
    // The library names the address it connects to; the broker is offered the name it is known by. OpenSSL
    // hands its callbacks a const session, though this is the moment it lets a client change the name.
    if (where & SSL_CB_HANDSHAKE_START)
        tls->m_handshakeStarted = true;
    if (where & SSL_CB_HANDSHAKE_DONE)
        tls->m_handshakeDone = true;
    // A step is taken before the hello is written and after; a connection that was never made sends nothing.
    if ((where & SSL_CB_LOOP) && openssl->SSL_get_state(session) != TLS_ST_BEFORE)
        tls->m_helloSent = true;
    // Read here, before the library puts a word of its own in its place; the first is the reason, what
    // follows its consequence (a broken pipe).
    if ((where & SSL_CB_EXIT) && value <= 0 && !tls->m_helloSent && tls->m_connectionError == 0) {
        const int error = SocketProbe::lastError();
        if (error != 0 && !SocketProbe::isUnderWay(error))
            tls->m_connectionError = error;
    }
    if (where & SSL_CB_HANDSHAKE_START)
        openssl->SSL_ctrl(const_cast<ssl_st *>(session), SSL_CTRL_SET_TLSEXT_HOSTNAME,
                          TLSEXT_NAMETYPE_host_name,
                          tls->m_serverName.isEmpty() ? nullptr : tls->m_serverName.data());
    const bool fatal = (value >> 8) == SSL3_AL_FATAL;
    if ((where & SSL_CB_ALERT) && fatal && tls->m_alert.isEmpty())
        tls->m_alert = QString::fromUtf8(openssl->SSL_alert_desc_string_long(value)).toLower();
}
