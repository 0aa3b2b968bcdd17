#include "agent/procs/ProcessMatcher.h"

#include <QTest>

using namespace Qt::StringLiterals;
using kestrava::agent::ProcessInfo;
using kestrava::agent::ProcessMatcher;

Q_DECLARE_METATYPE(ProcessInfo)

namespace {
constexpr pid_t kOwnPid = 777;
} // namespace

class tst_ProcessMatcher : public QObject {
    Q_OBJECT

private slots:
    void match_data() {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<ProcessInfo>("process");
        QTest::addColumn<QString>("matched");
        // entries separated by '|'; comm, executable's name, argv[0]
        const auto row = [](const char* name, const char* entries, const char* comm, const char* exe,
                            const char* argv0, const char* matched, uid_t uid = 1000, char state = 'S',
                            pid_t pid = 4000) {
            QTest::newRow(name) << QString::fromUtf8(entries).split(u'|')
                                << ProcessInfo{.pid = pid,
                                               .uid = uid,
                                               .startTime = 1,
                                               .state = state,
                                               .comm = QString::fromUtf8(comm),
                                               .exeName = QString::fromUtf8(exe),
                                               .argv0Name = QString::fromUtf8(argv0)}
                                << QString::fromUtf8(matched);
        };
        const char* games = "Firefox|steam";
        row("executable, other case", games, "x", "firefox", "y", "Firefox");
        row("Windows name", "Steam.EXE", "steam", "steam", "", "Steam.EXE");
        row("Windows name on the process", games, "x", "STEAM.exe", "", "steam");
        row("argv0 only", games, "x", "y", "STEAM", "steam");
        row("comm alone is never compared", games, "Steam", "", "", "");
        row("similar name", games, "firefox-esr", "firefox-esr", "firefox-esr", "");
        row("entry trimmed", "  steam \t", "steam", "steam", "", "steam");
        row("entry with a path", "/usr/games/steam", "x", "steam", "", "/usr/games/steam");
        row("entry with a Windows path", "C:\\Games\\Steam.exe", "x", "steam", "", "C:\\Games\\Steam.exe");
        row("entry with blanks", "Super Game", "x", "", "super game", "Super Game");
        row("blank entries match nothing", "|   |.exe|/usr/games/", "", "", "", "");
        row("system user", games, "steam", "steam", "steam", "", 999);
        row("the agent itself", games, "steam", "steam", "steam", "", 1000, 'S', kOwnPid);
        row("zombie", games, "steam", "", "", "", 1000, 'Z');
    }
    void match() {
        QFETCH(QStringList, entries);
        QFETCH(ProcessInfo, process);
        QFETCH(QString, matched);
        QCOMPARE(ProcessMatcher(entries, 1000, kOwnPid).match(process), matched);
    }
};

QTEST_APPLESS_MAIN(tst_ProcessMatcher)
#include "tst_processmatcher.moc"
