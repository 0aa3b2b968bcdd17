#include "desktop/UserHelper.h"

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
        QTest::addColumn<bool>("descriptors");
        QTest::newRow("descriptors") << QStringLiteral("/bin/ls")
                                     << QStringList{QStringLiteral("-l"), QStringLiteral("/proc/self/fd")}
                                     << true;
        QTest::newRow("environment") << QStringLiteral("/usr/bin/env") << QStringList() << false;
    }
    void childSeesOnlyWhatItIsGiven() {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(bool, descriptors);
        // A descriptor the agent leaves inheritable, as a socket or state file might be.
        const int leaked = ::open("/dev/null", O_RDONLY);
        QVERIFY(leaked >= 3);
        QTemporaryDir dir;
        const UserAccount account = childAccount();
        UserHelper helper(program, arguments, account, QStringLiteral("/run/user/4242"));
        helper.setOutputFile(dir.filePath(QStringLiteral("out")));
        QSignalSpy ended(&helper, &UserHelper::ended);
        helper.start();
        QVERIFY(ended.wait(10000));
        ::close(leaked);
        QCOMPARE(ended.first().at(0).value<UserHelper::End>(), UserHelper::End::Exited);
        QCOMPARE(ended.first().at(1).toInt(), 0);
        QFile out(dir.filePath(QStringLiteral("out")));
        QVERIFY(out.open(QIODevice::ReadOnly));
        const QStringList lines =
            QString::fromUtf8(out.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        if (descriptors) {
            int listed = 0;
            for (const QString& line : lines) {
                const QStringList fields = line.simplified().split(QLatin1Char(' '));
                // "lr-x------ 1 user group 64 date time FD -> TARGET"; only ls's own listing beyond 0-2.
                if (fields.size() < 3 || fields.at(fields.size() - 2) != QLatin1String("->"))
                    continue;
                ++listed;
                if (fields.at(fields.size() - 3).toInt() >= 3)
                    QVERIFY2(fields.last().endsWith(QLatin1String("/fd")), qPrintable(line));
            }
            QVERIFY(listed >= 3);
        } else {
            QStringList expected{
                QStringLiteral("HOME=") + account.home,
                QStringLiteral("USER=") + account.name,
                QStringLiteral("LOGNAME=") + account.name,
                QStringLiteral("PATH=/usr/bin:/bin"),
                QStringLiteral("XDG_RUNTIME_DIR=/run/user/4242"),
                QStringLiteral("DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/4242/bus"),
            };
            QStringList seen = lines;
            expected.sort();
            seen.sort();
            QCOMPARE(seen, expected);
        }
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
