// Shows one desktop notification on the session bus named by DBUS_SESSION_BUS_ADDRESS, then exits.
// The agent starts it as the user whose desktop it is, with a clean environment, and kills it when it
// takes too long: whatever that user's bus does, only this process waits for it.
//   kestrava-agent-notify SUMMARY BODY
// Exit codes: 0 shown, 2 bad command line, 3 no session bus, 4 refused or no answer in time.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>
#include <cstdio>

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitNoBus = 3;
constexpr int kExitNotShown = 4;
// Below the agent's own limit, so that a slow desktop is reported rather than killed.
constexpr int kCallTimeoutMs = 3000;
// The desktop's own display time.
constexpr qint32 kDesktopTimeout = -1;

int fail(const QString& message, int code) {
    std::fprintf(stderr, "kestrava-agent-notify: %s\n", qPrintable(message));
    return code;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3)
        return fail(QStringLiteral("usage: kestrava-agent-notify SUMMARY BODY"), kExitUsage);

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return fail(QStringLiteral("no session bus: ") + bus.lastError().message(), kExitNoBus);

    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("Kestrava") << uint(0) << QString() << arguments.at(1) << arguments.at(2)
         << QStringList() << QVariantMap() << kDesktopTimeout;
    const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage)
        return fail(QStringLiteral("not shown: ") + reply.errorMessage(), kExitNotShown);
    return 0;
}
