#pragma once

#include "headless/stream_end.h"

#include <QtCore/QByteArray>
#include <QtCore/QObject>
#include <QtCore/QSocketNotifier>

#include <deque>
#include <memory>

// Lines for stdout or stderr, handed to the stream as it can take them, so that a reader that stops
// reading never holds up the board, the recorder or the broker. Lines wait in order; past `capacity` the
// oldest that has not begun to go out is dropped and counted. A line goes out whole or not at all, unless
// it is longer than the pipe's atomic write.
class LineOutput final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LineOutput)

public:
    // About 100 s of the fastest board, hours of a slow one; about a megabyte at most.
    static constexpr qsizetype DefaultCapacity = 10000; // lines

    explicit LineOutput(int descriptor, qsizetype capacity = DefaultCapacity, QObject *parent = nullptr);
    // Offers what still waits once more, without waiting.
    ~LineOutput() override;

    // False once the stream has ended: its reader is gone or it failed.
    bool write(const QByteArray &line);
    bool hasEnded() const;
    qsizetype waitingLines() const;
    // Lines dropped while the stream was not being read, or given up.
    qint64 droppedLines() const;
    // Gives up the lines still waiting, counting them as dropped.
    void abandon();

signals:
    void readerLeft();
    void failed(const QString &reason);
    // The first line dropped; later drops are only counted.
    void droppingBegun();
    // Everything that waited has gone out.
    void drained();

private:
    void flush();
    void dropOldest();
    void end();
    void waitForRoom(bool waiting);

    StreamEnd m_stream;
    std::deque<QByteArray> m_waiting;
    qsizetype m_frontWritten = 0; // bytes of the first waiting line already out
    qsizetype m_capacity;
    qint64 m_dropped = 0;
    bool m_ended = false;
    std::unique_ptr<QSocketNotifier> m_room;
};
