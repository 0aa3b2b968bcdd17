#include "desktop/DesktopNotifier.h"

#include <QDir>
#include <QLocalServer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using kestrava::agent::DesktopNotifier;
using kestrava::agent::UserHelper;

class tst_DesktopNotifier : public QObject {
    Q_OBJECT

private slots:
    // A student's "bus" that accepts and never answers holds up only the helper, which is killed;
    // notifications meanwhile are dropped rather than piling up helpers.
    void stalledBusHoldsUpOnlyTheHelper() {
        const uid_t uid = ::geteuid() == 0 ? 65534 : ::geteuid();
        QTemporaryDir root;
        const QString runtimeDir = root.filePath(QString::number(uid));
        QVERIFY(QDir().mkdir(runtimeDir));
        const auto open =
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
        QVERIFY(QFile::setPermissions(root.path(), open) && QFile::setPermissions(runtimeDir, open));
        QLocalServer bus;
        bus.setSocketOptions(QLocalServer::WorldAccessOption);
        QVERIFY(bus.listen(runtimeDir + QStringLiteral("/bus")));

        DesktopNotifier notifier(root.path());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("uid %1 dropped").arg(uid)));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("uid %1 not shown: no answer").arg(uid)));
        notifier.notify(uid, QStringLiteral("first"), QStringLiteral("body"));
        notifier.notify(uid, QStringLiteral("second"), QStringLiteral("body"));
        QCOMPARE(notifier.findChildren<UserHelper*>().size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(notifier.findChildren<UserHelper*>().isEmpty(),
                                 int(std::chrono::milliseconds(UserHelper::kTimeLimit).count()) + 5000);
    }
};

QTEST_GUILESS_MAIN(tst_DesktopNotifier)
#include "tst_desktopnotifier.moc"
