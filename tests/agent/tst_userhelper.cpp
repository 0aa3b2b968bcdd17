#include "agent/desktop/UserHelper.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <unistd.h>

using kestrava::agent::UserAccount;
using kestrava::agent::UserHelper;

namespace {

// As root the child takes another user's identity, as the agent does; otherwise it stays the caller.
UserAccount childAccount() {
    return *UserAccount::lookup(::geteuid() == 0 ? 65534 : ::geteuid());
}

} // namespace

class tst_UserHelper : public QObject {
    Q_OBJECT

private slots:
    void childSeesOnlyWhatItIsGiven_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("expected");
        const UserAccount account = childAccount();
        // 3 is the folder that ls itself lists.
        QTest::newRow("descriptors") << QStringLiteral("/bin/ls")
                                     << QStringList{QStringLiteral("/proc/self/fd")}
                                     << QStringList{QStringLiteral("0"), QStringLiteral("1"),
                                                    QStringLiteral("2"), QStringLiteral("3")};
        QTest::newRow("environment")
            << QStringLiteral("/usr/bin/env") << QStringList()
            << QStringList{QStringLiteral("DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/4242/bus"),
                           QStringLiteral("HOME=") + account.home,
                           QStringLiteral("LOGNAME=") + account.name,
                           QStringLiteral("PATH=/usr/bin:/bin"),
                           QStringLiteral("USER=") + account.name,
                           QStringLiteral("XDG_RUNTIME_DIR=/run/user/4242")};
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
};

QTEST_GUILESS_MAIN(tst_UserHelper)
#include "tst_userhelper.moc"
