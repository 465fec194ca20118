#include "board_line.h"
#include "protocol/reading_csv.h"
#include "record/reading_recorder.h"

#include <QtCore/QProcess>
#include <QtCore/QScopeGuard>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <cstring>
#ifdef Q_OS_WIN
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#else
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

// Runs under TZ=Europe/Rome.
namespace {
// 2026-12-07 11:22:33.456 local time.
constexpr qint64 Morning = 1796638953456;
const QString Port = QStringLiteral("/dev/ttyACM0");

Reading at(qint64 timeMs, int raw)
{
    return Reading::fromRaw(timeMs, int16_t(raw));
}

const QByteArray Header = "time,celsius,low,high\n";

#ifdef Q_OS_WIN
// A symbolic link as Windows makes it, or false where the system makes none (Wine makes nothing and says
// it did).
bool makeSymbolicLink(const QString &target, const QString &link)
{
    const std::wstring native = QDir::toNativeSeparators(link).toStdWString();
    CreateSymbolicLinkW(native.c_str(), QDir::toNativeSeparators(target).toStdWString().c_str(),
                        SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    const DWORD attributes = GetFileAttributesW(native.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The owner that Windows shows for `path`, as text.
QString ownerOf(const QString &path)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR security = nullptr;
    wchar_t *text = nullptr;
    if (GetNamedSecurityInfoW(QDir::toNativeSeparators(path).toStdWString().c_str(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                              &security) == ERROR_SUCCESS)
        ConvertSidToStringSidW(owner, &text);
    const QString said = text ? QString::fromWCharArray(text) : QString();
    LocalFree(text);
    LocalFree(security);
    return said;
}

// Wine shows a file's Linux owner as its owner, and starts a Linux program that a Windows program names,
// though with no handle to wait on: Linux's chown gives the file away. Windows' own way needs an
// administrator.
bool giveToAnotherUser(const QString &path)
{
    using UnixName = char *(CDECL *)(const wchar_t *);
    const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char *name = unixName ? unixName(QDir::toNativeSeparators(path).toStdWString().c_str()) : nullptr;
    if (!name)
        return false;
    const QStringList arguments{QStringLiteral("65534:65534"), QString::fromLocal8Bit(name)};
    HeapFree(GetProcessHeap(), 0, name);
    const QString before = ownerOf(path);
    return QProcess::startDetached(QStringLiteral("Z:\\bin\\chown"), arguments) &&
           QTest::qWaitFor([&] { return ownerOf(path) != before; }, 5000);
}
#else
bool giveToAnotherUser(const QString &path)
{
    return ::geteuid() == 0 && ::chown(QFile::encodeName(path).constData(), 65534, 65534) == 0;
}

// This process's descriptor open on `path`, to swap the file under the recorder for something else.
int descriptorOf(const QString &path)
{
    for (int fd = 0; fd < 1024; ++fd) {
        if (QFile::symLinkTarget(QStringLiteral("/proc/self/fd/%1").arg(fd)) == path)
            return fd;
    }
    return -1;
}

// The recorder's file is replaced, under the same descriptor, by `replacement`.
bool swapFile(const QString &path, int replacement)
{
    const int fd = descriptorOf(path);
    const bool swapped = fd >= 0 && ::dup2(replacement, fd) == fd;
    ::close(replacement);
    return swapped;
}

// A disk of 64 KiB of its own, which no other process sees: a tmpfs never mounted anywhere, reached through
// its descriptor as /proc/self/fd/N. -1 unless root.
int smallDisk()
{
    const int context = ::fsopen("tmpfs", FSOPEN_CLOEXEC);
    const bool made = context >= 0 && ::fsconfig(context, FSCONFIG_SET_STRING, "size", "64k", 0) == 0 &&
                      ::fsconfig(context, FSCONFIG_CMD_CREATE, nullptr, nullptr, 0) == 0;
    const int disk = made ? ::fsmount(context, FSMOUNT_CLOEXEC, 0) : -1;
    if (context >= 0)
        ::close(context);
    return disk;
}
#endif

} // namespace

class TestReadingRecorder : public QObject
{
    Q_OBJECT

private slots:
    void appendsAfterARestartAndMendsABrokenLine();
    void aReadingAtMidnightStartsTheNextDaysFile();
    void faultsStopRecordingWithTheReason_data();
    void faultsStopRecordingWithTheReason();
    void resumesAfterTheFolderWasRemoved();
    void aLineTheDiskTookInPartIsCutOff();
    void aLastingFaultIsSaidOnceAndRetried();
    void syncsAtItsIntervalAndAFailedSyncIsAFault();
    void syncsAtItsIntervalWhileOthersRead();
};

void TestReadingRecorder::appendsAfterARestartAndMendsABrokenLine()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("new/readings"));
    const QString file = folder + QStringLiteral("/2026-12-07_ttyACM0.csv");
    const QByteArray first = "2026-12-07T11:22:33.456+01:00,21.97,45,0\n";
    {
        ReadingRecorder recorder;
        QVERIFY(recorder.start(folder));
        recorder.takeReading(at(Morning, 45), Port);
        QCOMPARE(recorder.filePath(), file);
        // Each reading is in the file as soon as it is recorded, not when the recorder closes.
        QCOMPARE(fileContents(file), QByteArray("time,celsius,low,high\n") + first);
    }
    {
        QFile cut(file);
        QVERIFY(cut.open(QIODevice::Append));
        cut.write("2026-12-07T11:2"); // the power failed in the middle of a line
    }
    ReadingRecorder recorder;
    QVERIFY(recorder.start(folder));
    recorder.takeReading(at(Morning + 1000, 46), Port);
    QCOMPARE(fileContents(file), QByteArray("time,celsius,low,high\n") + first +
                                     "2026-12-07T11:2\n2026-12-07T11:22:34.456+01:00,22.46,46,0\n");
}

void TestReadingRecorder::aReadingAtMidnightStartsTheNextDaysFile()
{
    QTemporaryDir dir;
    ReadingRecorder recorder;
    QVERIFY(recorder.start(dir.path()));
    const qint64 midnight = 1796684400000; // 2026-12-08 00:00:00.000 local time
    recorder.takeReading(at(midnight - 1, 45), Port);
    recorder.takeReading(at(midnight, 46), Port);
    QCOMPARE(fileContents(dir.filePath(QStringLiteral("2026-12-07_ttyACM0.csv"))),
             QByteArray("time,celsius,low,high\n2026-12-07T23:59:59.999+01:00,21.97,45,0\n"));
    QCOMPARE(fileContents(dir.filePath(QStringLiteral("2026-12-08_ttyACM0.csv"))),
             QByteArray("time,celsius,low,high\n2026-12-08T00:00:00.000+01:00,22.46,46,0\n"));
}

void TestReadingRecorder::faultsStopRecordingWithTheReason_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason");
    QTest::newRow("folder cannot be created") << "folder under a file"
                                              << "cannot be created";
    QTest::newRow("relative folder") << "relative folder"
                                     << "a relative folder is refused";
#ifdef Q_OS_WIN
    QTest::newRow("file is a folder") << "file is a folder"
                                      << "it is not a regular file";
#else
    QTest::newRow("file cannot be opened") << "file is a folder"
                                           << "Is a directory";
#endif
    QTest::newRow("disk full") << "disk full"
                               << "No space left on device";
    QTest::newRow("file deleted") << "deleted"
                                  << "the file was deleted";
    QTest::newRow("file made read-only") << "read-only"
                                         << "the file was made read-only";
    QTest::newRow("symbolic link to another file") << "symbolic link"
                                                   << "it is a symbolic link, which recording never follows";
    QTest::newRow("dangling symbolic link") << "dangling symbolic link"
                                            << "it is a symbolic link, which recording never follows";
    QTest::newRow("FIFO") << "FIFO"
                          << "it is not a regular file";
    QTest::newRow("FIFO with a reader") << "FIFO with a reader"
                                        << "it is not a regular file";
    QTest::newRow("another user's file") << "another user's file"
                                         << "it belongs to another user";
#ifdef Q_OS_WIN
    // Linux lets no one make a hard link to another user's file.
    QTest::newRow("hard link to another file") << "hard link"
                                               << "it is a hard link, which recording never writes through";
#endif
}

void TestReadingRecorder::faultsStopRecordingWithTheReason()
{
    QFETCH(QString, fault);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QString folder = dir.path();
    const QString file = dir.filePath(QStringLiteral("2026-12-07_ttyACM0.csv"));
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath(QStringLiteral("someone's.txt"));
    [[maybe_unused]] const QByteArray native = QFile::encodeName(file);
    [[maybe_unused]] int fifoReader = -1;
    // A link to a file of the user's, elsewhere.
    const bool linked = fault == QLatin1String("symbolic link") || fault == QLatin1String("hard link");
#ifdef Q_OS_WIN
    // No FIFOs, and no file to swap under an open handle.
    if (fault.startsWith(QLatin1String("FIFO")) || fault == QLatin1String("disk full"))
        QSKIP("Nothing of the kind on Windows");
#endif
    if (fault == QLatin1String("folder under a file")) {
        QFile plain(dir.filePath(QStringLiteral("plain")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        folder = plain.fileName() + QStringLiteral("/readings");
    } else if (fault == QLatin1String("relative folder")) {
        folder = QStringLiteral("vantro-test/readings");
    } else if (fault == QLatin1String("file is a folder")) {
        QVERIFY(QDir().mkpath(file));
    } else if (linked || fault == QLatin1String("another user's file")) {
        QFile other(linked ? target : file);
        QVERIFY(other.open(QIODevice::WriteOnly) && other.write("untouched\n") == 10);
    }
    if (fault == QLatin1String("another user's file") && !giveToAnotherUser(file))
        QSKIP("Only root can give a file to another user");
#ifdef Q_OS_WIN
    if (fault.endsWith(QLatin1String("symbolic link")) && !makeSymbolicLink(target, file))
        QSKIP("This system makes no symbolic links");
    if (fault == QLatin1String("hard link"))
        QVERIFY(CreateHardLinkW(QDir::toNativeSeparators(file).toStdWString().c_str(),
                                QDir::toNativeSeparators(target).toStdWString().c_str(), nullptr));
#else
    if (fault.startsWith(QLatin1String("FIFO"))) {
        // Opened for writing the ordinary way, a FIFO with no reader waits for one for ever.
        QCOMPARE(::mkfifo(native.constData(), 0644), 0);
        if (fault == QLatin1String("FIFO with a reader"))
            fifoReader = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    }
    if (fault.endsWith(QLatin1String("symbolic link")))
        QVERIFY(QFile::link(target, file));
#endif

    ReadingRecorder recorder;
    QSignalSpy failed(&recorder, &ReadingRecorder::failed);
    const bool started = recorder.start(folder);
    QCOMPARE(started,
             fault != QLatin1String("folder under a file") && fault != QLatin1String("relative folder"));
    if (started) {
        recorder.takeReading(at(Morning, 45), Port);
        if (fault == QLatin1String("deleted") || fault == QLatin1String("read-only") ||
            fault == QLatin1String("disk full")) {
            QVERIFY(recorder.isRecording());
            if (fault == QLatin1String("deleted")) {
                QVERIFY(QFile::remove(file));
                if (underWine())
                    QSKIP(
                        "Wine removes a file that is open only once it is closed, and shows nothing before");
            } else if (fault == QLatin1String("read-only"))
                QVERIFY(QFile::setPermissions(file, QFile::ReadOwner));
#ifndef Q_OS_WIN
            else // every write to /dev/full fails as a full disk does
                QVERIFY(swapFile(file, ::open("/dev/full", O_WRONLY | O_CLOEXEC)));
#endif
            recorder.takeReading(at(Morning + 1000, 46), Port);
        }
        QCOMPARE(failed.count(), 1);
        QVERIFY(recorder.isOn());
    }
#ifndef Q_OS_WIN
    if (fifoReader >= 0)
        ::close(fifoReader);
#endif
    QVERIFY(!recorder.isRecording());
    // What a link leads to is never written, nor created.
    if (linked)
        QCOMPARE(fileContents(target), QByteArray("untouched\n"));
    QVERIFY(linked || !QFileInfo::exists(target));
    if (fault == QLatin1String("another user's file"))
        QCOMPARE(fileContents(file), QByteArray("untouched\n"));
    QVERIFY2(recorder.failure().contains(reason), qPrintable(recorder.failure()));
    QVERIFY2(recorder.failure().startsWith(started ? file : folder), qPrintable(recorder.failure()));

    // Later readings are dropped quietly, with no second report: a retry that meets the same fault says
    // nothing.
    recorder.takeReading(at(Morning + 2000, 47), Port);
    QCOMPARE(failed.count(), started ? 1 : 0);

    // Once the fault is mended, recording again works.
#ifdef Q_OS_WIN
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner); // or it stays
#endif
    QVERIFY(dir.remove() && QDir().mkpath(dir.path()));
    QVERIFY(recorder.start(dir.path()));
    recorder.takeReading(at(Morning + 3000, 48), Port);
    QVERIFY(fileContents(file).endsWith("2026-12-07T11:22:36.456+01:00,23.44,48,0\n"));
    QVERIFY(recorder.failure().isEmpty());
}

void TestReadingRecorder::resumesAfterTheFolderWasRemoved()
{
    if (underWine())
        QSKIP("Wine removes a file that is open, and so its folder, only once the file is closed");
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("readings"));
    const QString file = folder + QStringLiteral("/2026-12-07_ttyACM0.csv");
    ReadingRecorder recorder;
    QSignalSpy failed(&recorder, &ReadingRecorder::failed);
    QSignalSpy resumed(&recorder, &ReadingRecorder::resumed);
    QVERIFY(recorder.start(folder));
    recorder.takeReading(at(Morning, 45), Port);
    QVERIFY(QDir(folder).removeRecursively());
    recorder.takeReading(at(Morning + 1000, 46), Port);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.first().first().toString(), file + QStringLiteral(": the file was deleted"));
    QVERIFY(recorder.isOn() && !recorder.isRecording());

    // Not again until 2 s after the attempt that failed.
    recorder.takeReading(at(Morning + 2999, 47), Port);
    QVERIFY(!QFileInfo::exists(folder));
    recorder.takeReading(at(Morning + 3000, 48), Port);
    QCOMPARE(fileContents(file), Header + "2026-12-07T11:22:36.456+01:00,23.44,48,0\n");
    QCOMPARE(failed.count(), 1);
    QCOMPARE(resumed.count(), 1);
    QCOMPARE(resumed.first().at(0).toString(), file);
    QCOMPARE(resumed.first().at(1).toLongLong(), 2);
    QVERIFY(recorder.isRecording() && recorder.failure().isEmpty());

    // A later fault counts only its own missed readings, even across a restart.
    QVERIFY(QDir(folder).removeRecursively());
    recorder.takeReading(at(Morning + 4000, 49), Port);
    recorder.stop();
    QVERIFY(recorder.start(folder));
    recorder.takeReading(at(Morning + 5000, 50), Port);
    QVERIFY(QDir(folder).removeRecursively());
    recorder.takeReading(at(Morning + 6000, 51), Port);
    recorder.takeReading(at(Morning + 8000, 52), Port);
    QCOMPARE(failed.count(), 3);
    QCOMPARE(resumed.count(), 2);
    QCOMPARE(resumed.last().at(1).toLongLong(), 1);
    QCOMPARE(ReadingRecorder::resumedText(file, 2),
             QStringLiteral("Recording again to %1; 2 readings were not recorded").arg(file));
}

void TestReadingRecorder::aLineTheDiskTookInPartIsCutOff()
{
#ifdef Q_OS_WIN
    QSKIP("No disk of its own to fill on Windows");
#else
    const int disk = smallDisk();
    if (disk < 0)
        QSKIP("Only root makes a disk of its own");
    const auto unmount = qScopeGuard([disk] { ::close(disk); });
    const QDir folder(QStringLiteral("/proc/self/fd/%1").arg(disk));
    const QString file = folder.filePath(QStringLiteral("2026-12-07_ttyACM0.csv"));
    ReadingRecorder recorder;
    QSignalSpy failed(&recorder, &ReadingRecorder::failed);
    QSignalSpy resumed(&recorder, &ReadingRecorder::resumed);
    QVERIFY(recorder.start(folder.path()));
    // Whole lines until the file's last page has room for part of one, then every other page taken.
    const qint64 page = ::sysconf(_SC_PAGESIZE);
    qint64 timeMs = Morning;
    for (; QFileInfo(file).size() % page <= page - 41; timeMs += 10)
        recorder.takeReading(at(timeMs, 45), Port);
    QFile filler(folder.filePath(QStringLiteral("filler")));
    QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    while (filler.write(QByteArray(int(page), 'x')) == page) {
    }
    recorder.takeReading(at(timeMs, 46), Port);
    QCOMPARE(failed.count(), 1);
    QVERIFY(failed.first().first().toString().endsWith(QString::fromLocal8Bit(std::strerror(ENOSPC))));

    QVERIFY(filler.remove());
    recorder.takeReading(at(timeMs + 2000, 47), Port);
    QCOMPARE(resumed.count(), 1);
    QCOMPARE(resumed.first().at(1).toLongLong(), 1);
    const QList<QByteArray> lines = fileContents(file).split('\n');
    QCOMPARE(lines.first() + '\n', Header);
    for (qsizetype i = 1; i < lines.size() - 1; ++i)
        QVERIFY2(ReadingCsv::parseLine(lines[i].cbegin(), lines[i].cend()), lines[i].constData());
    QCOMPARE(lines.size(), (timeMs - Morning) / 10 + 3);
    QVERIFY(lines.last().isEmpty());
#endif
}

void TestReadingRecorder::aLastingFaultIsSaidOnceAndRetried()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("2026-12-07_ttyACM0.csv"));
    QVERIFY(QDir().mkpath(file));
    ReadingRecorder recorder;
    QSignalSpy failed(&recorder, &ReadingRecorder::failed);
    QSignalSpy resumed(&recorder, &ReadingRecorder::resumed);
    QVERIFY(recorder.start(dir.path()));
    for (int second = 0; second <= 6; ++second)
        recorder.takeReading(at(Morning + second * 1000, 45), Port);
    QCOMPARE(failed.count(), 1);

    // A retry met the new fault, which is said in its turn.
    QVERIFY(QDir(file).removeRecursively());
#ifdef Q_OS_WIN
    QFile readOnly(file);
    QVERIFY(readOnly.open(QIODevice::WriteOnly));
    readOnly.close();
    QVERIFY(QFile::setPermissions(file, QFile::ReadOwner));
    recorder.takeReading(at(Morning + 8000, 46), Port);
    QCOMPARE(failed.count(), 2);
    QCOMPARE_NE(failed.last().first().toString(), failed.first().first().toString());
    QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner));
#else
    QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0644), 0);
    recorder.takeReading(at(Morning + 8000, 46), Port);
    QCOMPARE(failed.count(), 2);
    QVERIFY(failed.last().first().toString().endsWith(QStringLiteral("it is not a regular file")));
#endif
    QVERIFY(recorder.isOn() && resumed.isEmpty());

    // A clock set back an hour does not hold the retry up for an hour.
    QVERIFY(QFile::remove(file));
    recorder.takeReading(at(Morning - 3600 * 1000, 47), Port);
    QCOMPARE(resumed.count(), 1);
    QCOMPARE(resumed.first().at(1).toLongLong(), 8);
    QCOMPARE(fileContents(file), Header + "2026-12-07T10:22:33.456+01:00,22.95,47,0\n");
}

void TestReadingRecorder::syncsAtItsIntervalAndAFailedSyncIsAFault()
{
    QCOMPARE(ReadingRecorder::SyncIntervalMs, 60 * 1000);
#ifdef Q_OS_WIN
    QSKIP("No pipe can take the file's place under an open handle on Windows");
#else
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("2026-12-07_ttyACM0.csv"));
    constexpr int Interval = 300;
    ReadingRecorder recorder(Interval);
    QSignalSpy failed(&recorder, &ReadingRecorder::failed);
    QSignalSpy resumed(&recorder, &ReadingRecorder::resumed);
    QVERIFY(recorder.start(dir.path()));
    recorder.takeReading(at(Morning, 45), Port);

    // A pipe in place of the file takes the lines but cannot be synced (EINVAL): a failed sync, from the
    // kernel, at the moment the recorder syncs.
    int pipeEnds[2];
    QCOMPARE(::pipe2(pipeEnds, O_CLOEXEC), 0);
    QVERIFY(swapFile(file, pipeEnds[1]));
    recorder.takeReading(at(Morning + 1000, 46), Port);
    QCOMPARE(failed.count(), 0);
    QVERIFY(failed.wait(20 * Interval));
    QCOMPARE(failed.first().first().toString(),
             file + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(EINVAL)));
    char written[128] = {};
    QVERIFY(::read(pipeEnds[0], written, sizeof written) > 0);
    QVERIFY(QByteArray(written).endsWith(",22.46,46,0\n"));
    ::close(pipeEnds[0]);

    // The next reading 2 s on reopens the file by its name.
    QVERIFY(recorder.isOn() && !recorder.isRecording());
    recorder.takeReading(at(Morning + 3000, 48), Port);
    QCOMPARE(resumed.count(), 1);
    QCOMPARE(fileContents(file), Header + "2026-12-07T11:22:33.456+01:00,21.97,45,0\n"
                                          "2026-12-07T11:22:36.456+01:00,23.44,48,0\n");
#endif
}

void TestReadingRecorder::syncsAtItsIntervalWhileOthersRead()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("2026-12-07_ttyACM0.csv"));
    constexpr int Interval = 100;
    ReadingRecorder recorder(Interval);
    QSignalSpy failed(&recorder, &ReadingRecorder::failed);
    QVERIFY(recorder.start(dir.path()));
    recorder.takeReading(at(Morning, 45), Port);
    // Someone reads the file while it is being recorded, and its syncs go on without a fault.
    QFile reader(file);
    QVERIFY(reader.open(QIODevice::ReadOnly));
    recorder.takeReading(at(Morning + 1000, 46), Port);
    QVERIFY(!failed.wait(5 * Interval));
    recorder.takeReading(at(Morning + 2000, 47), Port);
    QVERIFY(!failed.wait(5 * Interval));
    QCOMPARE(reader.readAll(), Header + "2026-12-07T11:22:33.456+01:00,21.97,45,0\n"
                                        "2026-12-07T11:22:34.456+01:00,22.46,46,0\n"
                                        "2026-12-07T11:22:35.456+01:00,22.95,47,0\n");
    QVERIFY(recorder.isRecording());
}

QTEST_GUILESS_MAIN(TestReadingRecorder)
#include "tst_reading_recorder.moc"
