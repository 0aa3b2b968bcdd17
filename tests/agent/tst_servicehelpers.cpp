#include "agent/desktop/UserHelper.h"
#include "agent/system/ServiceNotifier.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using kestrava::agent::ServiceNotifier;
using kestrava::agent::UserAccount;
using kestrava::agent::UserHelper;
using namespace Qt::StringLiterals;

namespace {

// As root the child takes another user's identity, as the agent does; otherwise it stays the caller.
UserAccount childAccount() {
    return *UserAccount::lookup(::geteuid() == 0 ? 65534 : ::geteuid());
}

} // namespace

// The agent's own processes towards the system: the helpers it starts as a user, systemd's notifications and
// the unit it is installed with (its place in the boot and how systemd watches it).
class TestServiceHelpers : public QObject {
    Q_OBJECT

private slots:
    void childSeesOnlyWhatItIsGiven_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("expected");
        const UserAccount account = childAccount();
        // 3 is the folder that ls itself lists.
        QTest::newRow("descriptors") << u"/bin/ls"_s << QStringList{u"/proc/self/fd"_s}
                                     << QStringList{u"0"_s, u"1"_s, u"2"_s, u"3"_s};
        QTest::newRow("environment") << u"/usr/bin/env"_s << QStringList()
                                     << QStringList{
                                            u"DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/4242/bus"_s,
                                            u"HOME="_s + account.home,
                                            u"LOGNAME="_s + account.name,
                                            u"PATH=/usr/bin:/bin"_s,
                                            u"USER="_s + account.name,
                                            u"XDG_RUNTIME_DIR=/run/user/4242"_s};
    }
    void childSeesOnlyWhatItIsGiven() {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, expected);
        // A descriptor the agent leaves inheritable, as a socket or state file might be.
        const int leaked = ::open("/dev/null", O_RDONLY);
        QVERIFY(leaked >= 3);
        QTemporaryDir dir;
        UserHelper helper(program, arguments, childAccount(), QStringLiteral("/run/user/4242"));
        helper.setOutputFile(dir.filePath(QStringLiteral("out")));
        QSignalSpy ended(&helper, &UserHelper::ended);
        helper.start();
        QVERIFY(ended.wait(10000));
        ::close(leaked);
        QCOMPARE(ended.first().at(0).value<UserHelper::End>(), UserHelper::End::Exited);
        QCOMPARE(ended.first().at(1).toInt(), 0);
        QFile out(dir.filePath(QStringLiteral("out")));
        QVERIFY(out.open(QIODevice::ReadOnly));
        QStringList seen = QString::fromUtf8(out.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        seen.sort();
        QCOMPARE(seen, expected);
    }

    void killedAfterTheTimeLimit() {
        UserHelper helper(QStringLiteral("/bin/sleep"), {QStringLiteral("600")}, childAccount(),
                          QStringLiteral("/run/user/4242"));
        QSignalSpy ended(&helper, &UserHelper::ended);
        helper.start();
        QVERIFY(ended.wait(int(std::chrono::milliseconds(UserHelper::kTimeLimit).count()) + 5000));
        QCOMPARE(ended.first().at(0).value<UserHelper::End>(), UserHelper::End::TimedOut);
    }

    void readyThenWatchdog_data() {
        QTest::addColumn<bool>("abstract");
        QTest::newRow("path") << false;
        QTest::newRow("abstract name") << true;
    }
    void readyThenWatchdog() {
        QFETCH(bool, abstract);
        QTemporaryDir dir;
        const QByteArray name = abstract ? "@kestrava-test-notify-" + QByteArray::number(::getpid())
                                         : QFile::encodeName(dir.filePath(QStringLiteral("notify")));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
        if (abstract)
            address.sun_path[0] = '\0';
        const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        QVERIFY(fd >= 0);
        QCOMPARE(::bind(fd, reinterpret_cast<const sockaddr*>(&address),
                        socklen_t(offsetof(sockaddr_un, sun_path) + size_t(name.size()))),
                 0);
        qputenv("NOTIFY_SOCKET", name);
        qputenv("WATCHDOG_USEC", "100000");

        ServiceNotifier notifier;
        QVERIFY(notifier.isActive());
        QVERIFY(!qEnvironmentVariableIsSet("NOTIFY_SOCKET"));
        QVERIFY(!qEnvironmentVariableIsSet("WATCHDOG_USEC"));
        notifier.ready();
        QByteArrayList received;
        const auto receive = [&] {
            char buffer[64];
            for (ssize_t size; (size = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
                received.append(QByteArray(buffer, int(size)));
            return received.size() >= 3;
        };
        QTRY_VERIFY_WITH_TIMEOUT(receive(), 5000);
        ::close(fd);
        QCOMPARE(received.mid(0, 3), (QByteArrayList{"READY=1", "WATCHDOG=1", "WATCHDOG=1"}));
    }

    void ordering_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("present");
        const auto row = [](const char* name, const char* key, const char* value, bool present) {
            QTest::newRow(name) << QString::fromLatin1(key) << QString::fromLatin1(value) << present;
        };
        row("policy before the network", "Before", "network-pre.target", true);
        row("network-pre pulled in", "Wants", "network-pre.target", true);
        row("after the system's ruleset", "After", "nftables.service", true);
        row("not after the network", "After", "network-online.target", false);
        row("readiness told", "Type", "notify", true);
        row("watched", "WatchdogSec", "30s", true);
    }
    void ordering() {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(bool, present);
        QFile unit(QStringLiteral(KESTRAVA_SOURCE_DIR "/resources/agent/kestrava-agent.service.in"));
        QVERIFY2(unit.open(QIODevice::ReadOnly), qPrintable(unit.fileName()));
        QStringList values;
        for (const QString& line : QString::fromUtf8(unit.readAll()).split(QLatin1Char('\n'))) {
            if (line.section(QLatin1Char('='), 0, 0).trimmed() == key)
                values += line.section(QLatin1Char('='), 1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        }
        QCOMPARE(values.contains(value), present);
    }
};

QTEST_GUILESS_MAIN(TestServiceHelpers)
#include "tst_servicehelpers.moc"
