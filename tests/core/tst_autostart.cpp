#include "core/platform/XdgAutoStart.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace kestrava;

class TestAutoStart : public QObject {
    Q_OBJECT
private slots:
    void setThenUnset();
    void entryOfAnotherCopyIsNotSet_data();
    void entryOfAnotherCopyIsNotSet();
    void execRoundTrip_data();
    void execRoundTrip();
    void hiddenEntryIsNotSet();
    void unsetWithoutEntryFails();
};

void TestAutoStart::setThenUnset() {
    QTemporaryDir dir;
    XdgAutoStart autoStart(dir.filePath(QStringLiteral("autostart")),
                           QStringLiteral("/opt/kestrava/kestrava"));
    QVERIFY(!autoStart.isSet());
    QVERIFY(autoStart.set());
    QVERIFY(autoStart.isSet());
    QFile entry(autoStart.entryFile());
    QVERIFY(entry.open(QIODevice::ReadOnly));
    QVERIFY(entry.readAll().contains("\nExec=/opt/kestrava/kestrava\n"));
    QVERIFY(autoStart.unset());
    QVERIFY(!autoStart.isSet());
    QVERIFY(!QFile::exists(autoStart.entryFile()));
}

void TestAutoStart::entryOfAnotherCopyIsNotSet_data() {
    QTest::addColumn<QString>("entryProgram");
    QTest::addColumn<bool>("isSet");
    QTest::newRow("this copy") << QStringLiteral("/opt/Kestrava/kestrava") << true;
    QTest::newRow("same path in other letter case") << QStringLiteral("/OPT/kestrava/KESTRAVA") << true;
    QTest::newRow("another copy") << QStringLiteral("/home/admin/kestrava/kestrava") << false;
    QTest::newRow("a longer path") << QStringLiteral("/opt/Kestrava/kestrava2") << false;
}

void TestAutoStart::entryOfAnotherCopyIsNotSet() {
    QFETCH(QString, entryProgram);
    QFETCH(bool, isSet);
    QTemporaryDir dir;
    XdgAutoStart other(dir.path(), entryProgram);
    QVERIFY(other.set());
    XdgAutoStart self(dir.path(), QStringLiteral("/opt/Kestrava/kestrava"));
    QCOMPARE(self.isSet(), isSet);
}

void TestAutoStart::execRoundTrip_data() {
    QTest::addColumn<QString>("program");
    QTest::newRow("plain") << QStringLiteral("/opt/kestrava/kestrava");
    QTest::newRow("blank") << QStringLiteral("/home/a b/kestrava");
    QTest::newRow("quote and dollar") << QStringLiteral("/tmp/x\"y$z/kestrava");
    QTest::newRow("backslash") << QStringLiteral("/tmp/back\\slash/kestrava");
    QTest::newRow("percent") << QStringLiteral("/tmp/100%/kestrava");
    QTest::newRow("non-latin") << QStringLiteral("/home/zoë/kestrava");
}

void TestAutoStart::execRoundTrip() {
    QFETCH(QString, program);
    QCOMPARE(XdgAutoStart::programOfExec(XdgAutoStart::execFor(program)), program);
    QTemporaryDir dir;
    XdgAutoStart autoStart(dir.path(), program);
    QVERIFY(autoStart.set());
    QVERIFY(autoStart.isSet());
}

void TestAutoStart::hiddenEntryIsNotSet() {
    QTemporaryDir dir;
    XdgAutoStart autoStart(dir.path(), QStringLiteral("/opt/kestrava/kestrava"));
    QFile entry(autoStart.entryFile());
    QVERIFY(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nType=Application\nExec=/opt/kestrava/kestrava\nHidden=true\n");
    entry.close();
    QVERIFY(!autoStart.isSet());
}

void TestAutoStart::unsetWithoutEntryFails() {
    QTemporaryDir dir;
    XdgAutoStart autoStart(dir.path(), QStringLiteral("/opt/kestrava/kestrava"));
    QVERIFY(!autoStart.unset());
}

QTEST_GUILESS_MAIN(TestAutoStart)
#include "tst_autostart.moc"
