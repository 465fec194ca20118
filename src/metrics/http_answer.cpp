#include "http_answer.h"

#include <QtCore/QBuffer>
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
#include <QtNetwork/QHttpHeaders>
#endif

namespace {
const QByteArray ContentSecurityPolicy = QByteArrayLiteral(
    "default-src 'self'; img-src 'self' data:; base-uri 'none'; form-action 'none'; frame-ancestors 'none'");
const QByteArray NoSniff = QByteArrayLiteral("nosniff");
const QByteArray NoReferrer = QByteArrayLiteral("no-referrer");
} // namespace

void HttpAnswer::write(QHttpServerResponder &responder, const QByteArray &body, bool head) const
{
    auto *device = new QBuffer;
    device->setData(body);
    write(responder, device, head);
}

void HttpAnswer::write(QHttpServerResponder &responder, QIODevice *device, bool head) const
{
    if (!device->isOpen())
        device->open(QIODevice::ReadOnly);
    // A device already at its end gives its length and sends nothing.
    if (head)
        device->seek(device->size());
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QHttpHeaders headers;
    headers.append(QHttpHeaders::WellKnownHeader::ContentType, type);
    headers.append(QHttpHeaders::WellKnownHeader::CacheControl, cacheControl);
    headers.append("Content-Security-Policy", ContentSecurityPolicy);
    headers.append("X-Content-Type-Options", NoSniff);
    headers.append("Referrer-Policy", NoReferrer);
    responder.write(device, headers, status);
#else
    responder.write(device,
                    {{"Content-Type", type},
                     {"Cache-Control", cacheControl},
                     {"Content-Security-Policy", ContentSecurityPolicy},
                     {"X-Content-Type-Options", NoSniff},
                     {"Referrer-Policy", NoReferrer}},
                    status);
#endif
}

void writeText(QHttpServerResponder &responder, HttpAnswer::StatusCode status, const QByteArray &line,
               bool head)
{
    HttpAnswer answer;
    answer.status = status;
    answer.write(responder, line + '\n', head);
}

void writeStreamHead(QHttpServerResponder &responder, const QByteArray &type)
{
    // A proxy such as nginx is not to hold the events back to fill its buffer.
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QHttpHeaders headers;
    headers.append(QHttpHeaders::WellKnownHeader::ContentType, type);
    headers.append(QHttpHeaders::WellKnownHeader::CacheControl, "no-store");
    headers.append("X-Content-Type-Options", NoSniff);
    headers.append("X-Accel-Buffering", "no");
    responder.writeBeginChunked(headers);
#else
    // Without a length or chunks the body ends when the connection does (RFC 9112, 6.3).
    responder.writeStatusLine(QHttpServerResponder::StatusCode::Ok);
    responder.writeHeaders({{"Content-Type", type},
                            {"Cache-Control", "no-store"},
                            {"X-Content-Type-Options", NoSniff},
                            {"X-Accel-Buffering", "no"},
                            {"Connection", "close"}});
    responder.writeBody("", 0);
#endif
}

void writeStreamPiece(QHttpServerResponder &responder, const QByteArray &piece)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    responder.writeChunk(piece);
#else
    responder.writeBody(piece);
#endif
}

void writeBusy(QHttpServerResponder &responder, int retryAfterSeconds)
{
    const QByteArray body = QByteArrayLiteral("too many event streams; try again later\n");
    const QByteArray after = QByteArray::number(retryAfterSeconds);
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QHttpHeaders headers;
    headers.append(QHttpHeaders::WellKnownHeader::ContentType, "text/plain; charset=utf-8");
    headers.append(QHttpHeaders::WellKnownHeader::RetryAfter, after);
    responder.write(body, headers, QHttpServerResponder::StatusCode::ServiceUnavailable);
#else
    responder.write(body, {{"Content-Type", "text/plain; charset=utf-8"}, {"Retry-After", after}},
                    QHttpServerResponder::StatusCode::ServiceUnavailable);
#endif
}

void writeMethodNotAllowed(QHttpServerResponder &responder)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QHttpHeaders headers;
    headers.append(QHttpHeaders::WellKnownHeader::Allow, "GET, HEAD");
    responder.write(headers, QHttpServerResponder::StatusCode::MethodNotAllowed);
#else
    responder.write({{QByteArrayLiteral("Allow"), QByteArrayLiteral("GET, HEAD")}},
                    QHttpServerResponder::StatusCode::MethodNotAllowed);
#endif
}
