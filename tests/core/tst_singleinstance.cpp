#include "core/startup/SingleInstance.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace kestrava;

namespace {

// A second start runs blocking calls, so it gets a thread of its own while the first one's loop runs.
// The wait checks whether the thread has finished before it waits: a second start that finds nobody ends
// at once, often before a wait on the thread's finished signal would begin, and that signal, emitted in
// the other thread before the wait, was never seen.
SingleInstance::HandOver secondStart(const QString& name, const QString& line, bool* found) {
    SingleInstance::HandOver result = SingleInstance::HandOver::Unreachable;
    const std::unique_ptr<QThread> thread(QThread::create([&] {
        SingleInstance second(name);
        *found = second.Is_Already_Running();
        if (*found)
            result = second.Send_Command_Line(line);
    }));
    thread->start();
    if (!QTest::qWaitFor([&] { return thread->isFinished(); }, 10000))
        qFatal("second start hangs");
    return result;
}

} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT
private slots:
    void init();
    void nobodyRunning();
    void handOver_data();
    void handOver();
    void emptyLineIsNotHandedOver();
    void staleSocketIsReplaced();
    void silentHolderOfTheNameIsUnreachable();
    void overlongSenderIsDropped();
    void namesDifferPerProgram();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_name;
};

void TestSingleInstance::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    m_name = m_dir->filePath(QStringLiteral("kestrava-test"));
}

void TestSingleInstance::nobodyRunning() {
    bool found = true;
    secondStart(m_name, QStringLiteral("-v Chief"), &found);
    QVERIFY(!found);
}

void TestSingleInstance::handOver_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("calledUp");
    QTest::addColumn<SingleInstance::HandOver>("result");
    QTest::newRow("called up") << QStringLiteral("-v Chief") << true << SingleInstance::HandOver::CalledUp;
    QTest::newRow("ignored") << QStringLiteral("-v wrong") << false << SingleInstance::HandOver::Ignored;
    QTest::newRow("non-latin") << QStringLiteral("-v пароль") << true << SingleInstance::HandOver::CalledUp;
}

void TestSingleInstance::handOver() {
    QFETCH(QString, line);
    QFETCH(bool, calledUp);
    QFETCH(SingleInstance::HandOver, result);
    SingleInstance first(m_name);
    QVERIFY(first.listen());
    QStringList received;
    first.setHandler([&](const QString& text) {
        received << text;
        return calledUp;
    });
    bool found = false;
    QCOMPARE(secondStart(m_name, line, &found), result);
    QVERIFY(found);
    QCOMPARE(received, QStringList{line});
}

void TestSingleInstance::emptyLineIsNotHandedOver() {
    SingleInstance first(m_name);
    QVERIFY(first.listen());
    int calls = 0;
    first.setHandler([&](const QString&) { return ++calls > 0; });
    bool found = false;
    QCOMPARE(secondStart(m_name, QString(), &found), SingleInstance::HandOver::NothingToSend);
    QVERIFY(found);
    // A later hand-over still works, and the empty one never reached the handler.
    QCOMPARE(secondStart(m_name, QStringLiteral("-v x"), &found), SingleInstance::HandOver::CalledUp);
    QCOMPARE(calls, 1);
}

void TestSingleInstance::staleSocketIsReplaced() {
    {
        QFile stale(m_name);
        QVERIFY(stale.open(QIODevice::WriteOnly));
    }
    bool found = true;
    secondStart(m_name, QStringLiteral("-v Chief"), &found);
    QVERIFY(!found);
    SingleInstance first(m_name);
    QVERIFY(first.listen());
    first.setHandler([](const QString&) { return true; });
    QCOMPARE(secondStart(m_name, QStringLiteral("-v Chief"), &found), SingleInstance::HandOver::CalledUp);
}

void TestSingleInstance::silentHolderOfTheNameIsUnreachable() {
    QLocalServer foreign;
    QVERIFY(foreign.listen(m_name));
    bool found = false;
    QCOMPARE(secondStart(m_name, QStringLiteral("-v Chief"), &found), SingleInstance::HandOver::Unreachable);
    QVERIFY(found);
    QCOMPARE(SingleInstance::exitCodeOf(SingleInstance::HandOver::Unreachable), 2);
}

void TestSingleInstance::overlongSenderIsDropped() {
    SingleInstance first(m_name);
    QVERIFY(first.listen());
    int calls = 0;
    first.setHandler([&](const QString&) { return ++calls > 0; });
    QLocalSocket sender;
    sender.connectToServer(m_name);
    QVERIFY(sender.waitForConnected(2000));
    QSignalSpy gone(&sender, &QLocalSocket::disconnected);
    sender.write(QByteArray(5000, 'x'));
    QVERIFY(gone.wait(5000));
    QCOMPARE(calls, 0);
}

void TestSingleInstance::namesDifferPerProgram() {
    const QString a = SingleInstance::serverNameFor(QStringLiteral("/opt/a/kestrava"));
    QCOMPARE(SingleInstance::serverNameFor(QStringLiteral("/opt/a/kestrava")), a);
    QVERIFY(SingleInstance::serverNameFor(QStringLiteral("/opt/b/kestrava")) != a);
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
