#include "FakeProcTree.h"
#include "agent/procs/ProcessTable.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using kestrava::agent::ProcessInfo;
using kestrava::agent::ProcessTable;

Q_DECLARE_METATYPE(FakeProcess)
Q_DECLARE_METATYPE(ProcessInfo)

class tst_ProcessTable : public QObject {
    Q_OBJECT

private slots:
    void read_data() {
        QTest::addColumn<FakeProcess>("process");
        QTest::addColumn<ProcessInfo>("expected");
        QTest::newRow("name with blanks and parentheses, replaced executable")
            << FakeProcess{101, 1000, 7, "a) b (c", "/tmp/game (deleted)", QByteArray("./game\0", 7), 'R'}
            << ProcessInfo{101, 1000,           7,    'R',          u"a) b (c"_s, u"game"_s, u"game"_s,
                           1,   u"/tmp/game"_s, true, {u"./game"_s}};
        QTest::newRow("argv0 rewritten without separators")
            << FakeProcess{102, 1000, 8, "sh", "/usr/bin/dash", "-sh"}
            << ProcessInfo{102,   1000,      8, 'S', u"sh"_s, u"dash"_s, u"-sh"_s, 1, u"/usr/bin/dash"_s,
                           false, {u"-sh"_s}};
        QTest::newRow("memfd, command line longer than one read")
            << FakeProcess{104,
                           1000,
                           9,
                           "3",
                           "/memfd:game (deleted)",
                           QByteArray("python3\0", 8) + QByteArray(5000, '-') + QByteArray("\0quiz\0", 6)}
            << ProcessInfo{104,
                           1000,
                           9,
                           'S',
                           u"3"_s,
                           u"memfd:game"_s,
                           u"python3"_s,
                           1,
                           u"/memfd:game"_s,
                           true,
                           {u"python3"_s, QString(5000, u'-'), u"quiz"_s}};
        QTest::newRow("zombie without executable")
            << FakeProcess{103, 1000, 9, "game", "", "", 'Z'}
            << ProcessInfo{103, 1000, 9, 'Z', u"game"_s, {}, {}, 1, {}, false, {}};
    }
    void read() {
        QFETCH(FakeProcess, process);
        QFETCH(ProcessInfo, expected);
        QTemporaryDir root;
        writeFakeProcess(root.path(), process);
        const std::optional<ProcessInfo> info = ProcessTable(root.path()).read(process.pid);
        QVERIFY(info);
        QCOMPARE(*info, expected);
    }

    void vanishedOrBrokenProcessIsNotThere_data() {
        QTest::addColumn<QString>("missingFile");
        QTest::addColumn<QByteArray>("stat");
        QTest::newRow("ended") << QStringLiteral("") << QByteArray();
        QTest::newRow("stat gone") << QStringLiteral("stat") << QByteArray();
        QTest::newRow("stat cut short") << QString() << QByteArray("300 (game) S 1 2 3\n");
    }
    void vanishedOrBrokenProcessIsNotThere() {
        QFETCH(QString, missingFile);
        QFETCH(QByteArray, stat);
        QTemporaryDir root;
        writeFakeProcess(root.path(), {300, 1000, 5, "game", "/usr/games/game", "game"});
        const QString dir = root.path() + QStringLiteral("/300/");
        if (missingFile.isEmpty() && stat.isEmpty())
            QDir(dir).removeRecursively();
        else if (!missingFile.isEmpty())
            QFile::remove(dir + missingFile);
        else
            writeFile(dir + QStringLiteral("stat"), stat);
        QVERIFY(!ProcessTable(root.path()).read(300));
    }

    void skipsLowerUidsWhenAsked() {
        QTemporaryDir root;
        writeFakeProcess(root.path(), {200, 999, 3, "cron", "/usr/sbin/cron", "cron"});
        writeFakeProcess(root.path(), {201, 1000, 4, "game", "/usr/games/game", "game"});
        const ProcessTable table(root.path());
        QVERIFY(table.read(200) && !table.read(200, 1000));
        QVERIFY(table.read(201, 1000));
    }
};

QTEST_APPLESS_MAIN(tst_ProcessTable)
#include "tst_processtable.moc"
