#include "line_output.h"

LineOutput::LineOutput(int descriptor, qsizetype capacity, QObject *parent)
    : QObject(parent), m_stream(descriptor), m_capacity(qMax<qsizetype>(capacity, 2))
{}

LineOutput::~LineOutput()
{
    // Whoever listened may be half gone by now.
    blockSignals(true);
    if (!m_ended)
        flush();
}

bool LineOutput::write(const QByteArray &line)
{
    if (m_ended)
        return false;
    if (qsizetype(m_waiting.size()) >= m_capacity)
        dropOldest();
    m_waiting.push_back(line);
    if (!m_room || !m_room->isEnabled())
        flush();
    return !m_ended;
}

bool LineOutput::hasEnded() const
{
    return m_ended;
}

qsizetype LineOutput::waitingLines() const
{
    return qsizetype(m_waiting.size());
}

qint64 LineOutput::droppedLines() const
{
    return m_dropped;
}

void LineOutput::abandon()
{
    // A line half out is half on the reader's side already; it counts as dropped all the same.
    m_dropped += qint64(m_waiting.size());
    m_waiting.clear();
    m_frontWritten = 0;
    waitForRoom(false);
}

void LineOutput::flush()
{
    while (!m_waiting.empty()) {
        const QByteArray &line = m_waiting.front();
        const StreamEnd::Result result =
            m_stream.write(line.constData() + m_frontWritten, line.size() - m_frontWritten);
        switch (result.outcome) {
        case StreamEnd::Outcome::Written:
            m_frontWritten += result.written;
            if (m_frontWritten == line.size()) {
                m_waiting.pop_front();
                m_frontWritten = 0;
            }
            break;
        case StreamEnd::Outcome::Full:
            waitForRoom(true);
            return;
        case StreamEnd::Outcome::ReaderGone:
            end();
            emit readerLeft();
            return;
        case StreamEnd::Outcome::Failed:
            end();
            emit failed(result.reason);
            return;
        }
    }
    if (m_room && m_room->isEnabled()) {
        waitForRoom(false);
        emit drained();
    }
}

void LineOutput::dropOldest()
{
    // The first line may be partly out: the next one goes instead, so no line reaches the reader torn.
    m_waiting.erase(m_waiting.begin() + (m_frontWritten > 0 ? 1 : 0));
    if (m_dropped++ == 0)
        emit droppingBegun();
}

void LineOutput::end()
{
    m_ended = true;
    m_waiting.clear();
    m_frontWritten = 0;
    waitForRoom(false);
}

void LineOutput::waitForRoom(bool waiting)
{
    if (waiting && !m_room) {
        m_room = std::make_unique<QSocketNotifier>(m_stream.descriptor(), QSocketNotifier::Write);
        connect(m_room.get(), &QSocketNotifier::activated, this, &LineOutput::flush);
    }
    if (m_room)
        m_room->setEnabled(waiting);
}
