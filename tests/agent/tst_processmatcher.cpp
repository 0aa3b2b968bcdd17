#include "procs/ProcessMatcher.h"

#include <QTest>

using namespace Qt::StringLiterals;
using kestrava::agent::ProcessInfo;
using kestrava::agent::ProcessMatcher;

Q_DECLARE_METATYPE(ProcessInfo)

namespace {
constexpr pid_t kOwnPid = 777;

ProcessInfo process(uid_t uid, const QString& comm, const QString& exe, const QString& argv0,
                    char state = 'S', pid_t pid = 4000) {
    return {pid, uid, 1, state, comm, exe, argv0};
}
} // namespace

class tst_ProcessMatcher : public QObject {
    Q_OBJECT

private slots:
    void match_data() {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<ProcessInfo>("process");
        QTest::addColumn<QString>("matched");
        const QStringList games{u"Firefox"_s, u"steam"_s};
        QTest::newRow("executable, other case")
            << games << process(1000, u"x"_s, u"firefox"_s, u"y"_s) << u"Firefox"_s;
        QTest::newRow("Windows name")
            << QStringList{u"Steam.EXE"_s} << process(1000, u"steam"_s, u"steam"_s, u""_s) << u"Steam.EXE"_s;
        QTest::newRow("argv0 only") << games << process(1000, u"x"_s, u"y"_s, u"STEAM"_s) << u"steam"_s;
        QTest::newRow("comm only") << games << process(1000, u"Steam"_s, u""_s, u""_s) << u"steam"_s;
        QTest::newRow("longer name, comm holds 15")
            << QStringList{u"thunderbird-esr-bin"_s} << process(1000, u"thunderbird-esr"_s, u""_s, u""_s)
            << u"thunderbird-esr-bin"_s;
        QTest::newRow("15 bytes, not characters")
            << QStringList{u"spielé-mit-freunden"_s} << process(1000, u"spielé-mit-fre"_s, u""_s, u""_s)
            << u"spielé-mit-freunden"_s;
        QTest::newRow("comm cut inside a character")
            << QStringList{u"abcdefghijklmné"_s} << process(1000, u"abcdefghijklmn\uFFFD"_s, u""_s, u""_s)
            << u"abcdefghijklmné"_s;
        QTest::newRow("short entry is no prefix")
            << QStringList{u"thunder"_s}
            << process(1000, u"thunderbird"_s, u"thunderbird"_s, u"thunderbird"_s) << QString();
        QTest::newRow("similar name")
            << games << process(1000, u"firefox-esr"_s, u"firefox-esr"_s, u"firefox-esr"_s) << QString();
        QTest::newRow("entry trimmed")
            << QStringList{u"  steam \t"_s} << process(1000, u"steam"_s, u""_s, u""_s) << u"steam"_s;
        QTest::newRow("blank entries match nothing")
            << QStringList{u""_s, u"   "_s} << process(1000, u""_s, u""_s, u""_s) << QString();
        QTest::newRow("system user") << games << process(999, u"steam"_s, u"steam"_s, u"steam"_s)
                                     << QString();
        QTest::newRow("the agent itself")
            << games << process(1000, u"steam"_s, u"steam"_s, u"steam"_s, 'S', kOwnPid) << QString();
        QTest::newRow("zombie") << games << process(1000, u"steam"_s, u""_s, u""_s, 'Z') << QString();
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
