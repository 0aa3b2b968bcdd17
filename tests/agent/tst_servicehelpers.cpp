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

using namespace kestrava::agent;
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
        const QString environment =
            u"DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/4242/bus|HOME=%1|LOGNAME=%2|"
            u"PATH=/usr/bin:/bin|USER=%2|XDG_RUNTIME_DIR=/run/user/4242"_s;
        QTest::newRow("environment") << u"/usr/bin/env"_s << QStringList()
                                     << environment.arg(account.home, account.name).split(u'|');
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

    // Before the network and after the system's ruleset (not waiting for the network), ready when it says
    // so and watched.
    void unit() {
        QFile unit(QStringLiteral(KESTRAVA_SOURCE_DIR "/resources/agent/kestrava-agent.service.in"));
        QVERIFY2(unit.open(QIODevice::ReadOnly), qPrintable(unit.fileName()));
        const QStringList keys{u"Wants"_s, u"Before"_s, u"After"_s, u"Type"_s, u"WatchdogSec"_s};
        QStringList seen;
        for (const QString& line : QString::fromUtf8(unit.readAll()).split(u'\n'))
            if (keys.contains(line.section(u'=', 0, 0).trimmed()))
                seen << line.simplified();
        QCOMPARE(seen.join(u'|'), u"Wants=network-pre.target|Before=network-pre.target shutdown.target|"
                                  "After=local-fs.target nftables.service|Type=notify|WatchdogSec=30s"_s);
    }
};

QTEST_GUILESS_MAIN(TestServiceHelpers)
#include "tst_servicehelpers.moc"
