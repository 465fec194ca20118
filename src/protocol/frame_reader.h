#pragma once

#include <QtCore/QByteArray>
#include <QtCore/QString>

#include <cstdint>

// Picks command frames out of a byte stream, the way the board reads its line:
// start byte, length, payload, terminator "!", checksum.
class FrameReader final
{
public:
    struct Result
    {
        enum class Kind
        {
            Incomplete,
            Frame,
            Rejected
        };
        Kind kind = Kind::Incomplete;
        QByteArray payload; // a frame's payload
        QByteArray bytes;   // the bytes of the frame or of what was rejected
        QString reason;     // why the bytes were rejected
    };

    Result feed(uint8_t byte);
    // Drops a half-read frame, for a pause on the line.
    void reset();
    bool isIdle() const;

private:
    Result reject(const QString &reason);

    QByteArray m_pending;
};
