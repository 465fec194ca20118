#include "headless/line_output.h"

#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

// Lines into real pipes, sockets and files whose readers read, stop reading, go away or cannot take any.
namespace {
class Pipe final
{
public:
    explicit Pipe(int bytes = 4096)
    {
        if (::pipe2(ends, O_CLOEXEC) != 0)
            qFatal("no pipe");
        ::fcntl(ends[1], F_SETPIPE_SZ, bytes);
    }
    ~Pipe()
    {
        closeReader();
        ::close(ends[1]);
    }
    int writer() const
    {
        return ends[1];
    }
    // What the pipe holds now, without waiting.
    QByteArray take()
    {
        QByteArray all;
        char buffer[4096];
        ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
        for (ssize_t got; (got = ::read(ends[0], buffer, sizeof buffer)) > 0;)
            all.append(buffer, got);
        return all;
    }
    void closeReader()
    {
        if (ends[0] >= 0)
            ::close(ends[0]);
        ends[0] = -1;
    }

private:
    int ends[2] = {-1, -1};
};

QByteArray numbered(int i)
{
    return "line " + QByteArray::number(i).rightJustified(5, '0') + '\n';
}

QByteArray numberedLines(int from, int to)
{
    QByteArray lines;
    for (int i = from; i <= to; ++i)
        lines += numbered(i);
    return lines;
}

bool isNonBlocking(int descriptor)
{
    return ::fcntl(descriptor, F_GETFL) & O_NONBLOCK;
}
} // namespace

class TestLineOutput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void linesGoOutInOrderAsTheyCome();
    void aStuckReaderHoldsTheNewestLines();
    void aLineHalfOutIsNeverDropped();
    void aReaderThatLeavesEndsTheStream();
    void aStreamThatCannotTakeAnyIsAFailure();
    void theSharedDescriptionIsLeftAsItWas_data();
    void theSharedDescriptionIsLeftAsItWas();
    void aFileIsWrittenAtTheSharedOffset();
};

void TestLineOutput::initTestCase()
{
    std::signal(SIGPIPE, SIG_IGN);
}

void TestLineOutput::linesGoOutInOrderAsTheyCome()
{
    Pipe pipe;
    LineOutput output(pipe.writer());
    QSignalSpy drained(&output, &LineOutput::drained);
    for (int i = 1; i <= 3; ++i) {
        QVERIFY(output.write(numbered(i)));
        // Out at once, without a turn of the event loop.
        QCOMPARE(pipe.take(), numbered(i));
    }
    QCOMPARE(output.waitingLines(), 0);
    QCOMPARE(output.droppedLines(), 0);
    QCOMPARE(drained.size(), 0); // nothing ever waited
}

void TestLineOutput::aStuckReaderHoldsTheNewestLines()
{
    Pipe pipe;
    LineOutput output(pipe.writer(), 5);
    QSignalSpy dropping(&output, &LineOutput::droppingBegun);
    QSignalSpy drained(&output, &LineOutput::drained);
    // A page takes 372 of these 11-byte lines; 20 more come while it is full.
    const int fit = 4096 / 11;
    for (int i = 1; i <= fit + 20; ++i)
        QVERIFY(output.write(numbered(i)));
    QCOMPARE(output.waitingLines(), 5);
    QCOMPARE(output.droppedLines(), 15);
    QCOMPARE(dropping.size(), 1);

    // The reader comes back: what the page held, then the five newest, in order.
    QByteArray read = pipe.take();
    QTRY_COMPARE(drained.size(), 1);
    read += pipe.take();
    QCOMPARE(read, numberedLines(1, fit) + numberedLines(fit + 16, fit + 20));
    QCOMPARE(output.waitingLines(), 0);
    QVERIFY(output.write(numbered(0)));
    QCOMPARE(pipe.take(), numbered(0));
    QCOMPARE(dropping.size(), 1);
}

void TestLineOutput::aLineHalfOutIsNeverDropped()
{
    Pipe pipe;
    LineOutput output(pipe.writer(), 2);
    // Longer than the page: part of it goes out now, the rest when the reader reads.
    const QByteArray longLine = QByteArray(6000, 'x') + '\n';
    QVERIFY(output.write(longLine));
    QVERIFY(output.write(numbered(1)));
    QVERIFY(output.write(numbered(2)));
    QCOMPARE(output.droppedLines(), 1);
    QByteArray read;
    QTRY_VERIFY((read += pipe.take()).size() == longLine.size() + numbered(2).size());
    QCOMPARE(read, longLine + numbered(2));
}

void TestLineOutput::aReaderThatLeavesEndsTheStream()
{
    Pipe pipe;
    LineOutput output(pipe.writer());
    QSignalSpy left(&output, &LineOutput::readerLeft);
    QSignalSpy failed(&output, &LineOutput::failed);
    QVERIFY(output.write(numbered(1)));
    pipe.closeReader();
    QVERIFY(!output.write(numbered(2)));
    QVERIFY(output.hasEnded());
    QCOMPARE(left.size(), 1);
    QCOMPARE(failed.size(), 0);
    QVERIFY(!output.write(numbered(3)));
    QCOMPARE(left.size(), 1);
}

void TestLineOutput::aStreamThatCannotTakeAnyIsAFailure()
{
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    QVERIFY(full >= 0);
    {
        LineOutput output(full);
        QSignalSpy left(&output, &LineOutput::readerLeft);
        QSignalSpy failed(&output, &LineOutput::failed);
        QVERIFY(!output.write(numbered(1)));
        QCOMPARE(left.size(), 0);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.first().first().toString(), QStringLiteral("No space left on device"));
    }
    ::close(full);
}

void TestLineOutput::theSharedDescriptionIsLeftAsItWas_data()
{
    QTest::addColumn<QString>("stream");
    QTest::newRow("pipe") << "pipe";
    QTest::newRow("socket") << "socket";
}

void TestLineOutput::theSharedDescriptionIsLeftAsItWas()
{
    // The shell and the other programs on the same pipe or socket go on with it blocking, as it was;
    // the output still never waits.
    QFETCH(QString, stream);
    int ends[2] = {-1, -1};
    if (stream == QLatin1String("pipe")) {
        QVERIFY(::pipe2(ends, O_CLOEXEC) == 0);
    } else {
        QVERIFY(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) == 0);
        const int small = 4096;
        ::setsockopt(ends[1], SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    }
    const int writer = ends[1];
    {
        LineOutput output(writer, 3);
        for (int i = 1; i <= 100000 && output.droppedLines() == 0; ++i)
            QVERIFY(output.write(numbered(i)));
        QCOMPARE(output.droppedLines(), 1);
        QVERIFY(!isNonBlocking(writer));
    }
    QVERIFY(!isNonBlocking(writer));
    ::close(ends[0]);
    ::close(ends[1]);
}

void TestLineOutput::aFileIsWrittenAtTheSharedOffset()
{
    // `>> file`: the shell's append and the program's lines go one after the other.
    QTemporaryDir dir;
    const QByteArray path = dir.filePath(QStringLiteral("out")).toLocal8Bit();
    const int file = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    QVERIFY(file >= 0);
    QCOMPARE(::write(file, "before\n", 7), 7);
    {
        LineOutput output(file);
        QVERIFY(output.write(numbered(1)));
    }
    QCOMPARE(::write(file, "after\n", 6), 6);
    ::close(file);
    QFile written(QString::fromLocal8Bit(path));
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), "before\n" + numbered(1) + "after\n");
}

QTEST_GUILESS_MAIN(TestLineOutput)
#include "tst_line_output.moc"
