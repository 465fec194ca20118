#pragma once

#include "protocol/reading_output.h"

class QHttpServerRequest;
class QHttpServerResponder;
class QTcpSocket;

// What the HTTP endpoint serves beside /metrics: it is handed every request for another path, and every
// reading and change of the station the endpoint hears of.
class HttpSite : public ReadingOutput
{
public:
    // False when `request` is for no path of the site, for the endpoint to answer as not found. `socket` is
    // the request's connection, for an answer that goes on after the call.
    virtual bool answer(const QHttpServerRequest &request, QHttpServerResponder &responder,
                        QTcpSocket *socket) = 0;
};
