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
    void secondStart_data();
    void secondStart();
    void overlongSenderIsDroppedAndNamesDifferPerProgram();
};

// holder: what holds the name when the second start comes; the console's handler answers calledUp.
// Only a left-over socket file lets the second start find nobody.
void TestSingleInstance::secondStart_data() {
    QTest::addColumn<QString>("holder");
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("calledUp");
    QTest::addColumn<int>("exitCode");
    const auto row = [](const char* name, const char* holder, const char* line, int exitCode) {
        QTest::newRow(name) << QString::fromUtf8(holder) << QString::fromUtf8(line) << (exitCode != 1)
                            << exitCode;
    };
    row("left-over socket file", "stale", "-v Chief", 2);
    row("silent holder of the name", "foreign", "-v Chief", 2);
    row("called up", "console", "-v пароль", 0);
    row("ignored", "console", "-v wrong", 1);
    row("empty line not handed over", "console", "", 0);
}

void TestSingleInstance::secondStart() {
    QFETCH(QString, holder);
    QFETCH(QString, line);
    QFETCH(bool, calledUp);
    QFETCH(int, exitCode);
    const bool found = holder != QLatin1String("stale");
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("kestrava-test"));
    QFile stale(name);
    QVERIFY(holder != QLatin1String("stale") || stale.open(QIODevice::WriteOnly));
    QLocalServer foreign;
    QVERIFY(holder != QLatin1String("foreign") || foreign.listen(name));
    SingleInstance first(name);
    QVERIFY(holder != QLatin1String("console") || first.listen());
    QStringList received;
    first.setHandler([&](const QString& text) {
        received << text;
        return calledUp;
    });

    bool wasFound = !found;
    QCOMPARE(SingleInstance::exitCodeOf(::secondStart(name, line, &wasFound)), exitCode);
    QCOMPARE(wasFound, found);
    QCOMPARE(received,
             holder == QLatin1String("console") && !line.isEmpty() ? QStringList{line} : QStringList());
    if (!found) {
        // The first start takes the name over and answers the next second start.
        QVERIFY(first.listen());
        QCOMPARE(::secondStart(name, line, &wasFound), SingleInstance::HandOver::CalledUp);
    }
}

void TestSingleInstance::overlongSenderIsDroppedAndNamesDifferPerProgram() {
    QTemporaryDir dir;
    SingleInstance first(dir.filePath(QStringLiteral("kestrava-test")));
    QVERIFY(first.listen());
    int calls = 0;
    first.setHandler([&](const QString&) { return ++calls > 0; });
    QLocalSocket sender;
    sender.connectToServer(dir.filePath(QStringLiteral("kestrava-test")));
    QVERIFY(sender.waitForConnected(2000));
    QSignalSpy gone(&sender, &QLocalSocket::disconnected);
    sender.write(QByteArray(5000, 'x'));
    QVERIFY(gone.wait(5000));
    QCOMPARE(calls, 0);
    QVERIFY(SingleInstance::serverNameFor(QStringLiteral("/opt/b/kestrava")) !=
            SingleInstance::serverNameFor(QStringLiteral("/opt/a/kestrava")));
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
