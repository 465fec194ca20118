#include "alert/alert_limits.h"
#include "publish/mqtt_settings.h"
#include "record/recording_settings.h"
#include "settings/http_settings.h"
#include "settings/port_name_setting.h"
#include "settings/zorva_store.h"

#include <QtCore/QSettings>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <sys/stat.h>

namespace {
const QByteArray Damaged("\x00\xFF[[[\n=\n\x01\x02", 10);
} // namespace

// ZORVA.conf as people write it and as the program writes it, damaged, and in the shapes it must never be
// opened in. The port name's round trip, the same on every platform, is tst_port_name_setting's.
class TestZorvaStore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void textAsWritten_data();
    void textAsWritten();
    void whatTheProgramWritesReadsBack_data();
    void whatTheProgramWritesReadsBack();
    void aStoreThatCannotBeReadIsLeftAlone_data();
    void aStoreThatCannotBeReadIsLeftAlone();
    void aLinkToTheStoreIsFollowed();
    void storedUnderZorvaSensoreTemp();
    void systemWideFileIsIgnored();
    void corruptFileGivesTheDefault();
    void unwritableStoreSaysSo();
    void memReplacesACorruptFile();
    void storeThatIsAFolder();

private:
    QString storePath() const;
    bool writeStore(const QByteArray &text) const;

    std::unique_ptr<QTemporaryDir> m_home;
};

void TestZorvaStore::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_home->path());
    qputenv("HOME", m_home->path().toUtf8());
    qputenv("XDG_DATA_HOME", m_home->filePath(QStringLiteral("data")).toUtf8());
}

QString TestZorvaStore::storePath() const
{
    return m_home->filePath(QStringLiteral("ZORVA.conf"));
}

bool TestZorvaStore::writeStore(const QByteArray &text) const
{
    QFile file(storePath());
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

void TestZorvaStore::textAsWritten_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("expected"); // "~" stands for the home folder, here and in the mistake
    QTest::addColumn<QString>("mistake");
    const auto row = [](const char *name, const char *setting, const QByteArray &file, const char *expected,
                        const char *mistake = "") {
        QTest::newRow(name) << QString::fromLatin1(setting) << file << QString::fromUtf8(expected)
                            << QString::fromUtf8(mistake);
    };
    row("folder with a comma", "Folder", "[Recording]\nFolder=/data/with,comma\n", "/data/with,comma");
    row("folder with a comma and a blank", "Folder", "[Recording]\nFolder=/data/a, b\n", "/data/a, b");
    row("folder with a semicolon", "Folder", "[Recording]\nFolder=/data/a;b\n", "/data/a;b");
    row("folder quoted", "Folder", "[Recording]\nFolder=\"/data/q,c;d\"\n", "/data/q,c;d");
    row("folder under home", "Folder", "[Recording]\nFolder=~/x\n", "~/x");
    row("folder home itself", "Folder", "[Recording]\nFolder=~\n", "~");
    row("a tilde further on is a name", "Folder", "[Recording]\nFolder=/data/~x\n", "/data/~x");
    row("blanks around", "Folder", "[Recording]\nFolder = \t/data/x  \n", "/data/x");
    row("relative, as written", "Folder", "[Recording]\nFolder=x/y\n", "x/y");
    row("url with a comma", "Url", "[MQTT]\nUrl=mqtt://lab,1:1883\n", "mqtt://lab,1:1883");
    row("url with a semicolon", "Url", "[MQTT]\nUrl=mqtt://lab;1\n", "mqtt://lab;1");
    row("id with a comma", "Id", "[MQTT]\nId=lab,3\n", "lab,3");
    row("id with a semicolon", "Id", "[MQTT]\nId=lab;3\n", "lab;3");
    row("port with a comma", "TCOM", "[SENSORE_TEMP]\nTCOM=/dev/serial/by-id/usb-Acme,_Inc-if00\n",
        "/dev/serial/by-id/usb-Acme,_Inc-if00");
    row("port with a semicolon", "TCOM", "[SENSORE_TEMP]\nTCOM=tty;USB0\n", "tty;USB0");
    row("web page quoted with blanks", "Listen", "[HTTP]\nListen=\" 0.0.0.0:8080 \"\n", "0.0.0.0:8080");
    row("the metrics' address is not the page's", "Listen", "[Metrics]\nListen=9101\n", "");
    row("the last line wins", "Id", "[MQTT]\nId=a\n[Other]\nId=x\n[MQTT]\nId=b\n", "b");
    row("another group's key", "Id", "[Other]\nId=x\n[MQTT]\nUrl=mqtt://h\n", "");
    row("a commented line", "Id", "[MQTT]\n;Id=old\nId=new\n", "new");
    row("CRLF lines", "Id", "[MQTT]\r\nId=lab\r\n", "lab");
    row("UTF-8 with a byte order mark", "Id", "\xEF\xBB\xBF[MQTT]\nId=lab-\xC3\xA8\n", "lab-\xC3\xA8");
    const char *notUtf8 = "ZORVA.conf [Recording] Folder: it is not UTF-8 text, and is not used";
    row("a folder in Latin-1", "Folder", "[Recording]\nFolder=/data/caf\xE9\n", "~/data/vantro/readings",
        notUtf8);
    row("a listen address in Latin-1", "Listen", "[HTTP]\nListen=caf\xE9:80\n", "",
        "ZORVA.conf [HTTP] Listen: it is not UTF-8 text, and is not used");
    row("a file in UTF-16", "Id", QByteArray("\xFF\xFE[\0M\0Q\0T\0T\0]\0\n\0I\0d\0=\0x\0\n\0", 26), "",
        "~/ZORVA.conf is in UTF-16, not UTF-8: none of its settings are read; save it as UTF-8");
    row("a file in UTF-16 with no mark", "Id", QByteArray("[\0M\0Q\0T\0T\0]\0\n\0", 14), "",
        "~/ZORVA.conf is in UTF-16, not UTF-8: none of its settings are read; save it as UTF-8");
    for (const char *on : {"true", "YES", "On", "1"})
        row(on, "Enabled", QByteArray("[Recording]\nEnabled=") + on, "true");
    for (const char *off : {"False", "no", "OFF", "0", " "})
        row(off, "Enabled", QByteArray("[Recording]\nEnabled=") + off, "false");
    row("recording neither on nor off", "Enabled", "[Recording]\nEnabled=maybe\x1b[2J", "false",
        "ZORVA.conf [Recording] Enabled: \"maybe\\x1b[2J\" is neither true nor false (yes/no, on/off, 1/0); "
        "recording stays off");
}

void TestZorvaStore::textAsWritten()
{
    QFETCH(QString, setting);
    QFETCH(QByteArray, file);
    QFETCH(QString, expected);
    QFETCH(QString, mistake);
    QVERIFY(writeStore(file));
    const QString home = m_home->path();
    if (expected.startsWith(u'~'))
        expected = home + expected.sliced(1);
    if (mistake.startsWith(u'~'))
        mistake = home + mistake.sliced(1);
    QStringList mistakes = zorvaEncodingMistakes();
    if (setting == QLatin1String("Enabled")) {
        QString why;
        QCOMPARE(QVariant(RecordingSettings::enabled(why)).toString(), expected);
        mistakes << why;
        mistakes.removeAll({});
    } else if (setting == QLatin1String("Folder")) {
        QCOMPARE(RecordingSettings::folder(), expected);
    } else if (setting == QLatin1String("Url")) {
        QCOMPARE(MqttSettings::url(), expected);
    } else if (setting == QLatin1String("Id")) {
        QCOMPARE(MqttSettings::id(), expected);
    } else if (setting == QLatin1String("Listen")) {
        QCOMPARE(HttpSettings::listen(), expected);
    } else {
        QCOMPARE(PortNameSetting::load(), expected);
    }
    QCOMPARE(mistakes.join(u'\n'), mistake);
}

void TestZorvaStore::whatTheProgramWritesReadsBack_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("plain") << "ttyACM0";
    QTest::newRow("empty") << "";
    QTest::newRow("list look-alike") << "a, b,c";
    QTest::newRow("semicolon and equals") << "a;b=c";
    QTest::newRow("quotes") << "\"x\" 'y'";
    QTest::newRow("backslashes") << "\\\\.\\COM10 \\x41";
    QTest::newRow("at the start") << "@home";
    QTest::newRow("two at the start") << "@@x";
    QTest::newRow("blanks around") << "  x\t ";
    QTest::newRow("control characters before digits") << "a\x01"
                                                         "12\tb\nc";
    QTest::newRow("non-ASCII") << QStringLiteral("porta-\u00E8-\u6E29\u5EA6-\U0001F321");
    QTest::newRow("brackets") << "[Recording]";
}

void TestZorvaStore::whatTheProgramWritesReadsBack()
{
    QFETCH(QString, value);
    {
        QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("ZORVA"));
        store.setValue(QStringLiteral("Written/Value"), value);
    }
    QCOMPARE(zorvaText(QStringLiteral("Written"), QStringLiteral("Value")), value);
}

void TestZorvaStore::aStoreThatCannotBeReadIsLeftAlone_data()
{
    QTest::addColumn<QString>("shape");
    QTest::addColumn<QString>("reason");
    QTest::newRow("FIFO") << "fifo"
                          << "it is not a regular file";
    QTest::newRow("folder") << "folder"
                            << "it is not a regular file";
    QTest::newRow("far too large") << "large"
                                   << "it is larger than 1 MiB";
}

void TestZorvaStore::aStoreThatCannotBeReadIsLeftAlone()
{
    QFETCH(QString, shape);
    QFETCH(QString, reason);
    const QByteArray native = QFile::encodeName(storePath());
    if (shape == QLatin1String("fifo")) {
        // Opened for reading, it would wait for a writer for ever.
        QCOMPARE(::mkfifo(native.constData(), 0600), 0);
    } else if (shape == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(storePath()));
    } else {
        QVERIFY(writeStore("[MQTT]\nId=lab\n"));
        QVERIFY(QFile::resize(storePath(), 2 * 1024 * 1024));
    }

    QCOMPARE(zorvaStoreProblem(), storePath() + QStringLiteral(": ") + reason);
    QCOMPARE(PortNameSetting::load(), QStringLiteral("COM1"));
    QCOMPARE(MqttSettings::id(), QString());
    QCOMPARE(RecordingSettings::folder(), RecordingSettings::defaultFolder());
    QVERIFY(!RecordingSettings::enabled());
    QCOMPARE(AlertLimits::load(), AlertLimits{});
    QString failure;
    QVERIFY(!PortNameSetting::save(QStringLiteral("ttyACM0"), failure));
    QCOMPARE(failure, zorvaStoreProblem());
    RecordingSettings::setEnabled(true);
    AlertLimits{3000, 1000}.save();
    // Nothing was written in its place.
    struct stat status
    {};
    QCOMPARE(::lstat(native.constData(), &status), 0);
    QCOMPARE(S_ISFIFO(status.st_mode), shape == QLatin1String("fifo"));
    QCOMPARE(S_ISDIR(status.st_mode), shape == QLatin1String("folder"));
    QCOMPARE(QFileInfo(storePath()).size() > 1024 * 1024, shape == QLatin1String("large"));
}

void TestZorvaStore::aLinkToTheStoreIsFollowed()
{
    // Kept elsewhere and linked, as people do with their configuration files.
    const QString kept = m_home->filePath(QStringLiteral("dotfiles.conf"));
    QFile file(kept);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[MQTT]\nId=linked\n");
    file.close();
    QVERIFY(QFile::link(kept, storePath()));
    QCOMPARE(zorvaStoreProblem(), QString());
    QCOMPARE(MqttSettings::id(), QStringLiteral("linked"));
}

void TestZorvaStore::storedUnderZorvaSensoreTemp()
{
    QString failure;
    QVERIFY(PortNameSetting::save(QStringLiteral("ttyACM0"), failure));
    QFile file(storePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    QVERIFY2(text.contains(QStringLiteral("[SENSORE_TEMP]\nTCOM=ttyACM0")), qPrintable(text));
}

void TestZorvaStore::systemWideFileIsIgnored()
{
    QTemporaryDir system;
    QFile file(system.filePath(QStringLiteral("ZORVA.conf")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[SENSORE_TEMP]\nTCOM=from-the-system\n");
    file.close();
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, system.path());
    QCOMPARE(PortNameSetting::load(), QStringLiteral("COM1"));
}

void TestZorvaStore::corruptFileGivesTheDefault()
{
    QVERIFY(writeStore(Damaged));
    QCOMPARE(PortNameSetting::load(), QStringLiteral("COM1"));
}

void TestZorvaStore::unwritableStoreSaysSo()
{
    // A folder that cannot be made, even by root: its parent is a plain file.
    QFile blocker(m_home->filePath(QStringLiteral("not-a-folder")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString folder = m_home->filePath(QStringLiteral("not-a-folder/config"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);

    QString failure;
    QVERIFY(!PortNameSetting::save(QStringLiteral("COM7"), failure));
    QVERIFY2(failure.startsWith(folder + QStringLiteral("/ZORVA.conf: ")), qPrintable(failure));
    QVERIFY(failure.size() > folder.size() + 14);
    QCOMPARE(PortNameSetting::load(), QStringLiteral("COM1"));
}

void TestZorvaStore::memReplacesACorruptFile()
{
    // Saved first thing, before any read: that is when QSettings reports the damage.
    QVERIFY(writeStore(Damaged));

    QString failure;
    QVERIFY2(PortNameSetting::save(QStringLiteral("/dev/ttyACM0"), failure), qPrintable(failure));
    QCOMPARE(PortNameSetting::load(), QStringLiteral("/dev/ttyACM0"));
    QFile file(storePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("\n[SENSORE_TEMP]\nTCOM=/dev/ttyACM0\n"));
}

void TestZorvaStore::storeThatIsAFolder()
{
    // Unreadable even by root: the settings file's name is taken by a folder.
    QVERIFY(QDir().mkdir(storePath()));
    QCOMPARE(PortNameSetting::load(), QStringLiteral("COM1"));

    QString failure;
    QVERIFY(!PortNameSetting::save(QStringLiteral("COM7"), failure));
    QVERIFY2(failure.startsWith(storePath() + QStringLiteral(": ")), qPrintable(failure));
    QVERIFY(QFileInfo(storePath()).isDir());
}

QTEST_GUILESS_MAIN(TestZorvaStore)
#include "tst_zorva_store.moc"
