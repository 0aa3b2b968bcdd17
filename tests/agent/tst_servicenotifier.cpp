#include "agent/system/ServiceNotifier.h"

#include <QTemporaryDir>
#include <QTest>
#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using kestrava::agent::ServiceNotifier;

class tst_ServiceNotifier : public QObject {
    Q_OBJECT

private slots:
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
};

QTEST_GUILESS_MAIN(tst_ServiceNotifier)
#include "tst_servicenotifier.moc"
