#include "frame_reader.h"

#include "protocol/command_frame.h"

namespace {
constexpr int SmallestFrame = CommandFrame::Overhead;
constexpr int LargestFrame = CommandFrame::MaxPayload + CommandFrame::Overhead;
} // namespace

FrameReader::Result FrameReader::feed(uint8_t byte)
{
    m_pending.append(char(byte));
    if (m_pending.size() == 1) {
        if (byte != CommandFrame::StartByte)
            return reject(QStringLiteral("stray byte, not a start byte"));
        return {};
    }
    const int length = uint8_t(m_pending.at(1));
    if (length < SmallestFrame || length > LargestFrame)
        return reject(QStringLiteral("impossible length %1").arg(length));
    if (m_pending.size() < length)
        return {};

    const auto *frame = reinterpret_cast<const uint8_t *>(m_pending.constData());
    if (frame[length - 2] != CommandFrame::Terminator)
        return reject(QStringLiteral("no terminator"));
    const uint8_t expected = CommandFrame::checksum(frame, length - 1);
    if (frame[length - 1] != expected)
        return reject(QStringLiteral("bad checksum, expected %1").arg(expected, 2, 16, QLatin1Char('0')));

    Result result;
    result.kind = Result::Kind::Frame;
    result.bytes = m_pending;
    result.payload = m_pending.mid(2, length - SmallestFrame);
    m_pending.clear();
    return result;
}

void FrameReader::reset()
{
    m_pending.clear();
}

bool FrameReader::isIdle() const
{
    return m_pending.isEmpty();
}

FrameReader::Result FrameReader::reject(const QString &reason)
{
    Result result;
    result.kind = Result::Kind::Rejected;
    result.bytes = m_pending;
    result.reason = reason;
    m_pending.clear();
    return result;
}
