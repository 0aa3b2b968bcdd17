#include "FakeProcTree.h"
#include "agent/procs/ProgramBlocker.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <unistd.h>

using namespace Qt::StringLiterals;
using kestrava::agent::ProcessTable;
using kestrava::agent::ProgramBlocker;

namespace {

// The signals the blocker sends, recorded instead of sent.
struct SentSignals {
    QList<QPair<pid_t, int>> sent;
    ProgramBlocker::Signaller signaller() {
        return [this](pid_t pid, int signal) {
            sent.append({pid, signal});
            return true;
        };
    }
};

void copyWith(const QString& from, const QString& to, const QByteArray& appended) {
    QFile::copy(from, to);
    QFile file(to);
    if (file.open(QIODevice::Append))
        file.write(appended);
    file.setPermissions(file.permissions() | QFile::ExeOwner);
}

} // namespace

class tst_ProgramBlocker : public QObject {
    Q_OBJECT

private slots:
    void endsBlockedProcessAtOnce_data() {
        QTest::addColumn<QByteArray>("exe");
        QTest::addColumn<QByteArray>("cmdline"); // arguments separated by '|'
        QTest::addColumn<uid_t>("uid");
        QTest::addColumn<QString>("gameAlsoInstalled"); // under a name not blocked
        QTest::addColumn<QString>("reason");
        QTest::newRow("interpreter, script in a memfd")
            << "/usr/bin/python3"_ba
            << "python3|/dev/fd/3"_ba << 1000u << QString() << u"quiz"_s;
        QTest::newRow("code given with -c") << "/usr/bin/python3"_ba
                                            << "python3|-c|quiz"_ba << 1000u << QString() << QString();
        QTest::newRow("installed under a name not blocked")
            << "home/homework"_ba
            << "homework"_ba << 1000u << u"hard link"_s << QString();
        QTest::newRow("linked to from a name not blocked")
            << "home/homework"_ba
            << "homework"_ba << 1000u << u"symbolic link"_s << QString();
        QTest::newRow("root") << "home/homework"_ba
                              << "supertuxkart"_ba << 0u << QString() << QString();
    }
    void endsBlockedProcessAtOnce() {
        QFETCH(QByteArray, exe);
        QFETCH(QByteArray, cmdline);
        QFETCH(uid_t, uid);
        QFETCH(QString, gameAlsoInstalled);
        QFETCH(QString, reason);
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath(u"bin"_s) && QDir(root.path()).mkpath(u"home"_s));
        const QString bin = root.filePath(u"bin"_s);
        copyWith(u"/bin/true"_s, bin + u"/supertuxkart"_s, {});
        const QString game = bin + u"/supertuxkart"_s;
        if (gameAlsoInstalled == u"hard link"_s)
            QVERIFY(::link(QFile::encodeName(game), QFile::encodeName(bin + u"/launcher"_s)) == 0);
        else if (gameAlsoInstalled == u"symbolic link"_s)
            QVERIFY(QFile::link(game, bin + u"/launcher"_s));
        writeFile(bin + u"/quiz"_s, "#!/usr/bin/python3\nprint('2 + 2?')\n");
        QFile::setPermissions(bin + u"/quiz"_s, QFile::ReadOwner | QFile::ExeOwner);
        copyWith(u"/bin/true"_s, root.filePath(u"home/homework"_s), "padding");
        QFile::copy(bin + u"/quiz"_s, root.filePath(u"home/answers"_s));

        SentSignals effects;
        ProgramBlocker blocker(effects.signaller(), 1000, ProcessTable(root.path()), 1);
        blocker.setProgramFolders({bin});
        QSignalSpy ended(&blocker, &ProgramBlocker::programEnded);
        const QByteArray exePath =
            exe.startsWith('/') ? exe : QFile::encodeName(root.filePath(QString::fromUtf8(exe)));
        writeFakeProcess(root.path(), {4000, uid, 50, "x", exePath, cmdline.replace('|', '\0') + '\0'});
        QVERIFY(QDir(root.path()).mkpath(u"4000/fd"_s));
        QVERIFY(QFile::link(root.filePath(u"home/answers"_s), root.filePath(u"4000/fd/3"_s)));
        blocker.setBlockList({u"bzflag"_s, u"SuperTuxKart"_s, u"quiz"_s});
        blocker.scan();

        const QList<QPair<pid_t, int>> expected =
            reason.isEmpty() ? QList<QPair<pid_t, int>>() : QList<QPair<pid_t, int>>{{4000, SIGKILL}};
        QCOMPARE(effects.sent, expected);
        QCOMPARE(ended.size(), expected.size());
        if (!reason.isEmpty())
            QCOMPARE(ended.first(), (QList<QVariant>{QVariant::fromValue(uid), reason}));
    }

    void unreadableExecutableReportedOnce() {
        QTemporaryDir root;
        SentSignals effects;
        ProgramBlocker blocker(effects.signaller(), 1000, ProcessTable(root.path()), 1);
        blocker.setProgramFolders({u"/bin"_s});
        // A link that leads nowhere stands for an executable that cannot be opened.
        const QByteArray loop = QFile::encodeName(root.filePath(u"loop"_s));
        QVERIFY(QFile::link(root.filePath(u"loop"_s), root.filePath(u"loop"_s)));
        writeFakeProcess(root.path(), {4000, 1000, 50, "game", loop, "game"});
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"Cannot read .*/4000/exe of process 4000"_s));
        QTest::failOnWarning(QRegularExpression(u"Cannot read"_s));
        blocker.setBlockList({u"true"_s});
        blocker.scan();
        QVERIFY(effects.sent.isEmpty());
    }

    // Where fork events arrive; the scan's way is shown end to end.
    void endsForksOfEndedProcess() {
        QTemporaryDir root;
        SentSignals effects;
        ProgramBlocker blocker(effects.signaller(), 1000, ProcessTable(root.path()), 1);
        blocker.setProgramFolders({});
        const FakeProcess game{4000, 1000, 50, "supertuxkart", "/usr/games/supertuxkart", "supertuxkart"};
        // Forked by the game, and a fork elsewhere: only the first is ended.
        const FakeProcess fork{4001, 1000, 51, "sh", "/usr/bin/dash", "sh", 'S', game.pid};
        const FakeProcess other{4002, 1000, 52, "sh", "/usr/bin/dash", "sh", 'S', 4003};
        writeFakeProcess(root.path(), game);
        blocker.setBlockList({u"SuperTuxKart"_s});
        writeFakeProcess(root.path(), fork);
        writeFakeProcess(root.path(), other);
        blocker.checkFork(game.pid, fork.pid);
        blocker.checkFork(4003, other.pid);
        QCOMPARE(effects.sent, (QList<QPair<pid_t, int>>{{game.pid, SIGKILL}, {fork.pid, SIGKILL}}));
    }
};

QTEST_GUILESS_MAIN(tst_ProgramBlocker)
#include "tst_programblocker.moc"
