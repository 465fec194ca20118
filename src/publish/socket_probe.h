#pragma once

#include <QtCore/QString>

// What the connection needs to know of the network that the MQTT library does not tell it.
namespace SocketProbe {
// Whether the socket's connection has been made (the broker's address answered), not merely begun.
bool isConnected(int socket);
// The error of the last socket call that failed: errno, or Winsock's own.
int lastError();
// Whether `errorNumber`, from a socket call, means only that the connection is still being made.
bool isUnderWay(int errorNumber);
// Whether `host` is an address in digits (192.0.2.7, 2001:db8::7), which needs no lookup.
bool isNumericAddress(const QString &host);
// The system's sentence for an errno value.
QString errorText(int code);
} // namespace SocketProbe
