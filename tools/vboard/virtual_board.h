#pragma once

#include "board_options.h"
#include "protocol/frame_reader.h"
#include "pseudo_terminal.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QObject>
#include <QtCore/QRandomGenerator>
#include <QtCore/QSocketNotifier>
#include <QtCore/QTimer>

#include <cstdio>

// Plays the sensor board: checks every command frame that arrives, starts sending 8-byte
// temperature replies on "G" and answers the presence query "L".
class VirtualBoard final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(VirtualBoard)

public:
    VirtualBoard(const BoardOptions &options, std::FILE *report, QObject *parent = nullptr);
    ~VirtualBoard() override;

    // Opens the line and makes the symlink; false with the reason in `error` when it cannot.
    bool start(QString &error);
    QString portPath() const;

private:
    void onReadable();
    void onFrame(const QByteArray &payload, const QByteArray &bytes);
    void startSending();
    void sendReply();
    void sendGarbage();
    void sendFlood();
    void report(const QString &line);

    BoardOptions m_options;
    std::FILE *m_report;
    PseudoTerminal m_line;
    QSocketNotifier *m_notifier = nullptr;
    FrameReader m_reader;
    QElapsedTimer m_sinceLastByte;
    QTimer m_replyTimer;
    QTimer m_floodTimer;
    QElapsedTimer m_sinceFloodStart;
    qint64 m_floodSent = 0;
    QRandomGenerator m_random;
    int m_raw;
    bool m_linked = false;
};
