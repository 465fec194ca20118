#include "virtual_board.h"

#include "protocol/command_frame.h"
#include "protocol/temperature_reply.h"

#include <QtCore/QFile>

#include <cerrno>
#include <unistd.h>

namespace {
// A pause this long between two bytes ends whatever half frame came before it.
constexpr qint64 FrameGapMs = 100;
constexpr int LowestRaw = 20;
constexpr int HighestRaw = 120;
constexpr uint8_t PresenceAnswerStart = 0x06; // an acknowledgement, never a temperature reply
// 19200 baud with a start and a stop bit around each byte.
constexpr qint64 LineBytesPerSecond = 1920;
constexpr int FloodTickMs = 10;

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}
} // namespace

VirtualBoard::VirtualBoard(const BoardOptions &options, std::FILE *report, QObject *parent)
    : QObject(parent), m_options(options), m_report(report), m_random(0x5EED), m_raw(options.startRaw)
{
    m_replyTimer.setInterval(options.intervalMs);
    connect(&m_replyTimer, &QTimer::timeout, this, &VirtualBoard::sendReply);
    m_floodTimer.setInterval(FloodTickMs);
    connect(&m_floodTimer, &QTimer::timeout, this, &VirtualBoard::sendFlood);
}

VirtualBoard::~VirtualBoard()
{
    if (m_linked)
        QFile::remove(m_options.linkPath);
}

bool VirtualBoard::start(QString &error)
{
    if (!m_line.isValid()) {
        error = QStringLiteral("cannot open a pseudo-terminal: ") + m_line.error();
        return false;
    }
    if (!m_options.linkPath.isEmpty()) {
        QFile::remove(m_options.linkPath);
        if (!QFile::link(m_line.portPath(), m_options.linkPath)) {
            error = QStringLiteral("cannot make the link %1").arg(m_options.linkPath);
            return false;
        }
        m_linked = true;
    }
    m_notifier = new QSocketNotifier(m_line.masterFd(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &VirtualBoard::onReadable);
    m_sinceLastByte.start();
    return true;
}

QString VirtualBoard::portPath() const
{
    return m_line.portPath();
}

void VirtualBoard::onReadable()
{
    char buffer[256];
    const ssize_t n = ::read(m_line.masterFd(), buffer, sizeof buffer);
    if (n <= 0) {
        // EIO: no program holds the port; the board keeps its own end, so this is rare and passing.
        return;
    }
    if (m_sinceLastByte.restart() > FrameGapMs && !m_reader.isIdle()) {
        report(QStringLiteral("dropped a half frame after a pause"));
        m_reader.reset();
    }
    for (ssize_t i = 0; i < n; ++i) {
        const FrameReader::Result result = m_reader.feed(uint8_t(buffer[i]));
        if (result.kind == FrameReader::Result::Kind::Frame)
            onFrame(result.payload, result.bytes);
        else if (result.kind == FrameReader::Result::Kind::Rejected)
            report(QStringLiteral("rejected %1: %2").arg(hex(result.bytes), result.reason));
    }
}

void VirtualBoard::onFrame(const QByteArray &payload, const QByteArray &bytes)
{
    const char command = payload.isEmpty() ? '\0' : payload.at(0);
    if (command == char(CommandFrame::StartCommand)) {
        report(QStringLiteral("start command %1").arg(hex(bytes)));
        startSending();
    } else if (command == char(CommandFrame::PresenceQuery)) {
        report(QStringLiteral("presence query %1").arg(hex(bytes)));
        if (!m_options.silent) {
            QByteArray answer = bytes;
            answer[0] = char(PresenceAnswerStart);
            m_line.write(answer);
        }
    } else {
        report(QStringLiteral("unknown command %1").arg(hex(bytes)));
    }
}

void VirtualBoard::startSending()
{
    if (m_options.silent || m_replyTimer.isActive() || m_floodTimer.isActive())
        return;
    if (m_options.flood) {
        m_sinceFloodStart.start();
        m_floodTimer.start();
    } else {
        sendReply();
        m_replyTimer.start();
    }
}

void VirtualBoard::sendReply()
{
    // A slow random walk within a room's range, like a real sensor's 10-bit reading.
    m_raw = qBound(LowestRaw, m_raw + int(m_random.bounded(3)) - 1, HighestRaw);
    uint8_t high = uint8_t(m_raw >> 8);
    if (m_options.highByte)
        high |= 0x80;

    QByteArray reply(TemperatureReply::Length, '\0');
    reply[0] = char(TemperatureReply::StartByte);
    reply[1] = 0x05;
    reply[TemperatureReply::LowOffset] = char(m_raw & 0xFF);
    reply[TemperatureReply::HighOffset] = char(high);
    reply[TemperatureReply::TerminatorOffset] = char(TemperatureReply::Terminator);

    report(QStringLiteral("reply %1").arg(hex(reply)));
    if (m_options.split) {
        m_line.write(reply.left(3));
        // Half an interval later: far enough from both halves' neighbours that no poll reads them together.
        QTimer::singleShot(m_options.intervalMs / 2, this,
                           [this, rest = reply.mid(3)] { m_line.write(rest); });
    } else {
        m_line.write(reply);
    }
    if (m_options.garbage)
        QTimer::singleShot(m_options.intervalMs / 2, this, &VirtualBoard::sendGarbage);
}

void VirtualBoard::sendGarbage()
{
    QByteArray bytes(int(m_random.bounded(1, 13)), '\0');
    for (auto &byte : bytes)
        byte = char(m_random.bounded(256));
    m_line.write(bytes);
}

void VirtualBoard::sendFlood()
{
    // Pace by the clock, not by ticks, so late ticks still add up to the line's full rate.
    const qint64 due = m_sinceFloodStart.elapsed() * LineBytesPerSecond / 1000 - m_floodSent;
    QByteArray bytes(int(due), '\0');
    for (auto &byte : bytes)
        byte = char(m_random.bounded(256));
    m_line.write(bytes);
    m_floodSent += due;
}

void VirtualBoard::report(const QString &line)
{
    std::fprintf(m_report, "vboard: %s\n", qPrintable(line));
    std::fflush(m_report);
}
