#include "agent/desktop/DesktopNotifier.h"

#include "agent/desktop/DesktopLog.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <utility>

namespace kestrava::agent {

namespace {

const QString kHelperName = QStringLiteral("kestrava-agent-notify");

} // namespace

DesktopNotifier::DesktopNotifier(QString runtimeRoot, QObject* parent)
    : QObject(parent)
    , m_runtimeRoot(std::move(runtimeRoot))
    , m_program(helperProgram()) {}

DesktopNotifier::~DesktopNotifier() = default;

QString DesktopNotifier::helperProgram() {
    const QFileInfo beside(QCoreApplication::applicationDirPath() + QLatin1Char('/') + kHelperName);
    if (beside.isFile() && beside.isExecutable())
        return beside.filePath();
    return QStringLiteral(KESTRAVA_NOTIFY_INSTALLED);
}

void DesktopNotifier::notify(uid_t uid, const QString& summary, const QString& body) {
    const QString runtimeDir = m_runtimeRoot + QLatin1Char('/') + QString::number(uid);
    if (!hasBus(uid, runtimeDir))
        return;
    if (m_running.contains(uid)) {
        logDropped(uid, QStringLiteral("its previous one is still being shown"));
        return;
    }
    // A student who has programs ended in a loop must not make the agent fork in a loop.
    if (const auto next = m_nextStart.constFind(uid); next != m_nextStart.cend() && !next->hasExpired()) {
        logDropped(uid, QStringLiteral("the previous one started less than a second ago"));
        return;
    }
    if (m_running.size() >= kMaxHelpers) {
        logDropped(uid, QStringLiteral("%1 notifications are being shown already").arg(kMaxHelpers));
        return;
    }
    const std::optional<UserAccount> account = UserAccount::lookup(uid);
    if (!account) {
        qCWarning(lcAgentDesktop) << "Notification for uid" << uid << "not shown: no account entry";
        return;
    }
    auto* helper = new UserHelper(m_program, {summary, body}, *account, runtimeDir, this);
    connect(helper, &UserHelper::ended, this,
            [this, uid](UserHelper::End end, int exitCode) { onEnded(uid, end, exitCode); });
    m_running.insert(uid, helper);
    m_nextStart.insert(uid, QDeadlineTimer(kSpacing));
    helper->start();
}

bool DesktopNotifier::hasBus(uid_t uid, const QString& runtimeDir) {
    const QString busPath = runtimeDir + QStringLiteral("/bus");
    struct stat busStat {};
    // lstat: the path is the user's to choose; only a socket there is a bus.
    if (::lstat(QFile::encodeName(busPath).constData(), &busStat) == 0 && S_ISSOCK(busStat.st_mode)) {
        m_reportedWithoutBus.remove(uid);
        return true;
    }
    if (!m_reportedWithoutBus.contains(uid)) {
        m_reportedWithoutBus.insert(uid);
        qCInfo(lcAgentDesktop).noquote()
            << QStringLiteral("No desktop session bus for uid %1 (%2): its notifications are skipped")
                   .arg(uid)
                   .arg(busPath);
    }
    return false;
}

void DesktopNotifier::logDropped(uid_t uid, const QString& why) {
    // Once until the user's helper ends, so that a loop of notifications cannot fill the journal.
    if (m_reportedDropped.contains(uid))
        return;
    m_reportedDropped.insert(uid);
    qCWarning(lcAgentDesktop).noquote()
        << QStringLiteral("Notification for uid %1 dropped: %2; further ones are dropped likewise")
               .arg(uid)
               .arg(why);
}

void DesktopNotifier::onEnded(uid_t uid, UserHelper::End end, int exitCode) {
    UserHelper* helper = m_running.take(uid);
    m_reportedDropped.remove(uid);
    if (helper)
        helper->deleteLater();
    QString why;
    switch (end) {
    case UserHelper::End::Exited:
        if (exitCode == 0)
            return;
        if (exitCode == UserHelper::kIdentityFailed)
            why = QStringLiteral("could not take the user's identity");
        else if (exitCode < 0)
            why = QStringLiteral("%1 was ended by a signal").arg(kHelperName);
        else
            why = QStringLiteral("%1 exited with code %2").arg(kHelperName).arg(exitCode);
        break;
    case UserHelper::End::TimedOut:
        why = QStringLiteral("no answer from the session bus within %1 s; the helper was killed")
                  .arg(UserHelper::kTimeLimit.count());
        break;
    case UserHelper::End::FailedToStart:
        why = QStringLiteral("%1 could not be started").arg(m_program);
        break;
    }
    qCWarning(lcAgentDesktop).noquote()
        << QStringLiteral("Notification for uid %1 not shown: %2").arg(uid).arg(why);
}

} // namespace kestrava::agent
