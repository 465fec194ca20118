#include "settings/zorva_store.h"
#include "zorva_registry.h"

#include <QtTest/QtTest>

// On Windows the settings live in the registry under HKEY_CURRENT_USER\Software\ZORVA, with the names they
// have in ZORVA.conf elsewhere (tst_zorva_store): a text there is a value of its own, with no quoting.
class TestZorvaRegistry : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void textsReadAsTheRegistryHasThem();
};

void TestZorvaRegistry::init()
{
    clearZorvaRegistry();
}

void TestZorvaRegistry::textsReadAsTheRegistryHasThem()
{
    const auto store = zorvaRegistry();
    store->setValue(QStringLiteral("Recording/Folder"), QStringLiteral("C:\\data\\a,b;c"));
    store->sync();
    QCOMPARE(zorvaText(QStringLiteral("Recording"), QStringLiteral("Folder")),
             QStringLiteral("C:\\data\\a,b;c"));
    QCOMPARE(zorvaText(QStringLiteral("Recording"), QStringLiteral("Missing"), QStringLiteral("none")),
             QStringLiteral("none"));
    QCOMPARE(zorvaText(QStringLiteral("Elsewhere"), QStringLiteral("Folder")), QString());
}

QTEST_GUILESS_MAIN(TestZorvaRegistry)
#include "tst_zorva_registry.moc"
