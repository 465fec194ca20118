#pragma once

#include <QtCore/QString>
#include <QtCore/QtGlobal>

// stdout or stderr as this program writes to it without ever waiting for a reader. A pipe, a FIFO or a
// terminal is opened again with a description of its own, made non-blocking, so that the shell and the
// other programs that share the original description never see it change. A socket (the journal's stream)
// is written with sends that do not wait. A file is written as it is: it never waits for a reader, and its
// shared offset and append mode stay as the shell set them. On Windows every stream is written as it is
// (an anonymous pipe has no write that returns at once without changing the pipe for every process that
// shares it, nor anything to wait on for room); a reader that has gone is still seen as the write fails.
class StreamEnd final
{
    Q_DISABLE_COPY_MOVE(StreamEnd)

public:
    enum class Outcome
    {
        Written,    // `written` bytes went out, perhaps fewer than offered
        Full,       // nothing went out: the reader is behind
        ReaderGone, // no one reads any more
        Failed      // anything else, with the system's words in `reason`
    };
    struct Result
    {
        Outcome outcome = Outcome::Written;
        qsizetype written = 0;
        QString reason;
    };

    explicit StreamEnd(int descriptor);
    ~StreamEnd();

    // What to watch for the stream taking bytes again.
    int descriptor() const;
    Result write(const char *data, qsizetype size);

    // A reader that goes away is an ordinary end, seen as a failed write, not a signal that ends the
    // program unannounced.
    static void ignoreReaderLossSignal();

private:
    enum class Kind
    {
        File,
        Socket,
        Other
    };

    int m_descriptor;
    int m_own = -1;         // the description of our own, closed at the end
    int m_sharedFlags = -1; // the shared description's flags, put back at the end
    Kind m_kind = Kind::Other;
};
