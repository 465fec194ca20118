#pragma once

#include <QtCore/QByteArray>
#include <QtCore/QHash>
#include <QtCore/QString>
#include <QtNetwork/QNetworkAccessManager>
#include <QtNetwork/QTcpSocket>

#include <memory>

struct HttpReply
{
    int status = 0; // 0: no answer
    QByteArray contentType;
    QByteArray allow;
    QByteArray contentLength;
    QByteArray body;
    QHash<QByteArray, QByteArray> headers; // by lower-case name
};

// A real HTTP client, as a browser or a scraper is.
class HttpClient final
{
public:
    HttpClient();

    HttpReply request(quint16 port, const QString &path, const QByteArray &method = "GET",
                      const QByteArray &header = {});

private:
    QNetworkAccessManager m_network;
};

// A client of its own making, on a raw socket: it says what it is told to, or nothing.
std::unique_ptr<QTcpSocket> rawClient(quint16 port);
