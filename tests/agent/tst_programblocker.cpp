#include "FakeProcTree.h"
#include "procs/ProgramBlocker.h"
#include "system/Effects.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <functional>

using namespace Qt::StringLiterals;
using kestrava::agent::Effects;
using kestrava::agent::ProcessTable;
using kestrava::agent::ProgramBlocker;

namespace {

class RecordingEffects : public Effects {
public:
    bool applyRuleset(const QString&) override { return true; }
    bool removeRuleset() override { return true; }
    std::optional<QString> rulesetInForce() override { return QString(); }
    bool signalProcess(pid_t pid, int signal) override {
        sent.append({pid, signal});
        if (onSignal)
            onSignal(signal);
        return true;
    }
    void notifyUser(uid_t, const QString&, const QString&) override {}
    void lockSessions(bool) override {}
    void disableUnit() override {}

    QList<QPair<pid_t, int>> sent;
    std::function<void(int)> onSignal;
};

const FakeProcess kGame{4000, 1000, 50, "supertuxkart", "/usr/games/supertuxkart", "supertuxkart"};

} // namespace

class tst_ProgramBlocker : public QObject {
    Q_OBJECT

private slots:
    void endsBlockedProcess_data() {
        QTest::addColumn<QString>("reaction");
        QTest::addColumn<QList<int>>("expectedSignals");
        QTest::newRow("ignores SIGTERM") << u"ignore"_s << QList<int>{SIGTERM, SIGKILL};
        QTest::newRow("exits") << u"exit"_s << QList<int>{SIGTERM};
        QTest::newRow("pid reused by a new process") << u"reuse"_s << QList<int>{SIGTERM};
        QTest::newRow("unblocked meanwhile") << u"unblock"_s << QList<int>{SIGTERM};
        QTest::newRow("starts after the list") << u"exec"_s << QList<int>{SIGTERM, SIGKILL};
    }
    void endsBlockedProcess() {
        QFETCH(QString, reaction);
        QFETCH(QList<int>, expectedSignals);
        QTemporaryDir root;
        RecordingEffects effects;
        ProgramBlocker blocker(effects, 1000, ProcessTable(root.path()), 1);
        blocker.setKillDelay(std::chrono::milliseconds(10));
        QSignalSpy ended(&blocker, &ProgramBlocker::programEnded);
        writeFakeProcess(root.path(), {1, 0, 1, "supertuxkart", "/usr/games/supertuxkart", "supertuxkart"});
        writeFakeProcess(root.path(), {4001, 1000, 51, "bash", "/usr/bin/bash", "bash"});
        if (reaction != u"exec"_s)
            writeFakeProcess(root.path(), kGame);
        effects.onSignal = [&](int signal) {
            if (signal != SIGTERM)
                return;
            if (reaction == u"exit"_s)
                QDir(root.path() + u"/4000"_s).removeRecursively();
            else if (reaction == u"reuse"_s)
                writeFakeProcess(root.path(),
                                 {4000, 1000, 60, "supertuxkart", "/usr/games/supertuxkart", ""});
            else if (reaction == u"unblock"_s)
                blocker.setBlockList({});
        };

        blocker.setBlockList({u"bzflag"_s, u"SuperTuxKart"_s});
        if (reaction == u"exec"_s) {
            QVERIFY(effects.sent.isEmpty());
            writeFakeProcess(root.path(), kGame);
            blocker.checkProcess(kGame.pid);
        }
        // A second look must not end it twice; a new process under the pid would rightly be ended.
        if (reaction != u"reuse"_s)
            blocker.scan();

        QTRY_VERIFY_WITH_TIMEOUT(blocker.ending().isEmpty(), 5000);
        QList<int> signalsSent;
        for (const auto& [pid, signal] : effects.sent) {
            QCOMPARE(pid, kGame.pid);
            signalsSent.append(signal);
        }
        QCOMPARE(signalsSent, expectedSignals);
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended.first().at(0).value<uid_t>(), kGame.uid);
        QCOMPARE(ended.first().at(1).toString(), u"SuperTuxKart"_s);
    }
};

QTEST_GUILESS_MAIN(tst_ProgramBlocker)
#include "tst_programblocker.moc"
