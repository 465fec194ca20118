#pragma once

#include <QtCore/QElapsedTimer>
#include <QtCore/QTemporaryDir>
#include <QtCore/QTimer>

#include <functional>
#include <vector>

// Figures that every benchmark takes of its own process.
long residentKb();
// The most resident memory this process has had so far (VmHWM).
long peakResidentKb();
// User and system time so far, in seconds.
double cpuSeconds();
// Runs the event loop for `ms` milliseconds.
void runFor(int ms);
// One line: "<what> samples=N median_ms=... worst_ms=..."
void printFigures(const char *what, std::vector<double> samples);

// The user's settings (ZORVA.conf) kept in a temporary folder while this lives, so that a benchmark neither
// reads nor changes the real ones; the folder also takes the benchmark's own files.
class ThrowawayHome final
{
    Q_DISABLE_COPY_MOVE(ThrowawayHome)

public:
    ThrowawayHome();
    QString filePath(const QString &name) const;

private:
    QTemporaryDir m_folder;
};

// Replies at the line's full rate, handed over on the receive poll's 10 ms grid: each grid point takes, one
// by one, the replies the line would have carried since the one before. Through the real port two or three
// replies would share one poll, and a read of more than one reply is no reply; this is the program's side.
class ReplyStream final
{
public:
    static constexpr int RepliesPerSecond = 240;

    // `reply(n)` is called for the n-th reply, from 0.
    explicit ReplyStream(std::function<void(qint64)> reply);
    void start();
    void stop();
    qint64 sent() const;
    double seconds() const;

private:
    std::function<void(qint64)> m_reply;
    QElapsedTimer m_elapsed;
    QTimer m_grid;
    qint64 m_sent = 0;
};
