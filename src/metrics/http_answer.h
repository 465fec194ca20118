#pragma once

#include <QtCore/QByteArray>
#include <QtHttpServer/QHttpServerResponder>

class QIODevice;

// One answer of the endpoint, with the headers that keep a browser from reading it as anything else or
// sending it anywhere else: a Content-Security-Policy of the page's own origin, nosniff, no referrer.
struct HttpAnswer
{
    using StatusCode = QHttpServerResponder::StatusCode;

    StatusCode status = StatusCode::Ok;
    QByteArray type = QByteArrayLiteral("text/plain; charset=utf-8");
    QByteArray cacheControl = QByteArrayLiteral("no-store");

    // The body whole, or for HEAD (RFC 9110, 9.3.2) its length alone.
    void write(QHttpServerResponder &responder, const QByteArray &body, bool head) const;
    // A body read from `device`, which the responder takes, as it goes out.
    void write(QHttpServerResponder &responder, QIODevice *device, bool head) const;
};

// The head of an answer whose body goes on after it, for an event stream.
void writeStreamHead(QHttpServerResponder &responder, const QByteArray &type);
// A piece of such a body.
void writeStreamPiece(QHttpServerResponder &responder, const QByteArray &piece);

// A one-line answer in plain text, such as why a request is bad.
void writeText(QHttpServerResponder &responder, HttpAnswer::StatusCode status, const QByteArray &line,
               bool head);
// 503, to be asked again after `retryAfterSeconds`.
void writeBusy(QHttpServerResponder &responder, int retryAfterSeconds);
// 405, naming the methods that are: GET and HEAD.
void writeMethodNotAllowed(QHttpServerResponder &responder);
