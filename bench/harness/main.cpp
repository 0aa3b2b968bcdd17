// kestrava-bench-harness: the console's core and item models without its windows, for the scenarios
// that need an administrator's action. Commands on standard input, one line each:
//   schedule   a new policy for the group "Bench" (internet on, then off, alternately): its members
//              get their "S..." through the same command the console runs
//   options    a changed block message: every connected system gets "O..."
// Each answers "<command> start=<ns> hold_ns=<ns>", hold being the time the call kept the event loop.
#include "BenchClock.h"
#include "core/console/Keys.h"
#include "core/console/SystemListModel.h"
#include "core/console/SystemTree.h"
#include "core/console/SystemTreeModel.h"
#include "core/console/TreeLoader.h"
#include "core/link/ConnectionManager.h"
#include "core/link/IncomingMessages.h"
#include "core/link/Messenger.h"
#include "core/options/OptionsModel.h"
#include "core/platform/AutoStartSwitch.h"
#include "core/platform/EventDispatcher.h"
#include "core/platform/OpenFileLimit.h"
#include "core/platform/TraySwitch.h"
#include "core/policy/PolicyCommands.h"
#include "core/startup/Clock.h"
#include "core/store/Database.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <unistd.h>

using namespace kestrava;

namespace {

class NoTray : public TraySwitch {
public:
    bool isTrayIconVisible() const override { return true; }
    void setTrayIconVisible(bool) override {}
};

class NoAutoStart : public AutoStartSwitch {
public:
    bool isAutoStartSet() const override { return false; }
    void setAutoStart(bool) override {}
};

void say(const QString& line) {
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[]) {
    raiseOpenFileLimit();
    if (qEnvironmentVariable("KESTRAVA_DISPATCHER") != QLatin1String("qt"))
        installEventDispatcher();
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        std::fputs("usage: kestrava-bench-harness <database>\n", stderr);
        return 2;
    }
    Database db;
    db.open(args[1]);
    SystemTree tree;
    SystemClock clock;
    ConnectionManager connections(db, tree);
    Messenger messenger(db, tree, connections, clock);
    IncomingMessages incoming(db, tree, clock, connections, messenger);
    QObject::connect(&connections, &ConnectionManager::messageReceived, &incoming,
                     &IncomingMessages::handleMessage);
    Load_Systems_Tree(db, tree);

    // The models the main window shows, the list showing the group that the systems join.
    SystemTreeModel treeModel(tree);
    SystemListModel listModel(tree);
    listModel.setRemoteAddressLookup([&](const QString& key) { return connections.remoteAddress(key); });
    QObject::connect(&connections, &ConnectionManager::listItemChanged, &listModel,
                     &SystemListModel::refreshKey);
    const QString groupKey = Keys::Make_Group_Key(QStringLiteral("Bench"));
    listModel.Show_Node_In_List(tree.Get_Node_Index_From_Key(groupKey));

    PolicyCommands policy(db, messenger);
    NoTray tray;
    NoAutoStart autoStart;
    OptionsModel options(db, tray, autoStart, [&](const QString& message) {
        connections.Send_Data_To_All_Connected_Systems(message);
    });

    if (!connections.Start_Listening()) {
        std::fprintf(stderr, "%s\n", qPrintable(connections.listenError()));
        return 1;
    }
    bool internetOn = false;
    int blockMessages = 0;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[1024];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            QCoreApplication::quit();
            return;
        }
        pending.append(buffer, got);
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(end).trimmed();
            pending.remove(0, end + 1);
            const qint64 start = bench::nowNs();
            if (line == "schedule") {
                internetOn = !internetOn;
                policy.setInternet(groupKey, internetOn);
            } else if (line == "options") {
                OptionsValues values = options.load();
                values.blockMessage = QStringLiteral("Blocked by the bench, round %1.").arg(++blockMessages);
                options.apply(values);
            } else if (line == "quit") {
                QCoreApplication::quit();
                return;
            } else {
                say(QStringLiteral("unknown"));
                continue;
            }
            say(QStringLiteral("%1 start=%2 hold_ns=%3")
                    .arg(QString::fromLatin1(line))
                    .arg(start)
                    .arg(bench::nowNs() - start));
        }
    });
    say(QStringLiteral("listening port=%1").arg(connections.listeningPort()));
    return app.exec();
}
