#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <unistd.h>

// kestrava-lab as a user runs it: three lab computers, the console under Xvfb driven with its keyboard,
// the lab's own report of what each computer reaches, and the machine as it was once the lab has ended.
class TestClassroomLab : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void internetOffAndOnReachesEveryComputer();
    void cleanupTestCase();

private:
    // What the machine holds that the lab must leave as it found it.
    static QStringList machineState();
    QStringList statusLines() const;
    // Whether every computer's line has the word, within timeoutMs.
    bool waitForAll(const QString& word, int timeoutMs);
    // Keys typed on the display's keyboard once the console's window has the focus.
    bool typeKeys(const QStringList& keys);

    QTemporaryDir m_dir;
    QProcess m_display;
    QProcess m_lab;
    QString m_displayName;
    QStringList m_before;
};

namespace {

constexpr int kComputers = 3;
// Building three computers, their agents' first connection and the first probes.
constexpr int kStartMs = 120000;
constexpr int kSwitchMs = 20000;

QByteArray run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(20000);
    return process.readAllStandardOutput();
}

QString digestOfTree(const QString& root) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        entries << QStringLiteral("%1 %2 %3")
                       .arg(it.filePath())
                       .arg(it.fileInfo().size())
                       .arg(it.fileInfo().lastModified().toMSecsSinceEpoch());
    }
    entries.sort();
    hash.addData(entries.join(QLatin1Char('\n')).toUtf8());
    return QString::fromLatin1(hash.result().toHex());
}

} // namespace

QStringList TestClassroomLab::machineState() {
    QStringList state;
    state << QStringLiteral("netns: ") +
                 QString::fromLatin1(
                     run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("list")}));
    state << QStringLiteral("links: ") +
                 QString::fromLatin1(
                     run(QStringLiteral("ip"), {QStringLiteral("-o"), QStringLiteral("link")}))
                     .split(QLatin1Char('\n'))
                     .replaceInStrings(QRegularExpression(QStringLiteral("\\\\.*")), QString())
                     .join(QLatin1Char('\n'));
    state << QStringLiteral("addresses: ") +
                 QString::fromLatin1(
                     run(QStringLiteral("ip"), {QStringLiteral("-brief"), QStringLiteral("addr")}));
    state << QStringLiteral("routes: ") +
                 QString::fromLatin1(run(QStringLiteral("ip"), {QStringLiteral("route")}));
    state << QStringLiteral("tables: ") +
                 QString::fromLatin1(
                     run(QStringLiteral("nft"), {QStringLiteral("list"), QStringLiteral("tables")}));
    state << QStringLiteral("etc netns: ") + QDir(QStringLiteral("/etc/netns"))
                                                 .entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
                                                 .join(QLatin1Char(' '));
    for (const QString& file : {QStringLiteral("/etc/passwd"), QStringLiteral("/etc/group")}) {
        QFile accounts(file);
        accounts.open(QIODevice::ReadOnly);
        state << file + QStringLiteral(": ") +
                     QString::fromLatin1(
                         QCryptographicHash::hash(accounts.readAll(), QCryptographicHash::Sha256).toHex());
    }
    state << QStringLiteral("processes: ") +
                 QString::fromLatin1(run(QStringLiteral("pgrep"),
                                         {QStringLiteral("-af"), QStringLiteral("kestrava-lab|kvlab-")}));
    state << QStringLiteral("scratch: ") + QDir(QStringLiteral("/var/tmp"))
                                               .entryList({QStringLiteral("kestrava-lab-*")})
                                               .join(QLatin1Char(' '));
    state << QStringLiteral("config: ") + digestOfTree(QDir::homePath() + QStringLiteral("/.config"));
    return state;
}

void TestClassroomLab::initTestCase() {
    if (::geteuid() != 0)
        QSKIP("the lab needs root");
    for (const char* tool : {"Xvfb", "xdotool", "dnsmasq", "nft"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool),
                                           {QStringLiteral("/usr/bin"), QStringLiteral("/usr/sbin"),
                                            QStringLiteral("/bin"), QStringLiteral("/sbin")})
                .isEmpty())
            QSKIP(qPrintable(QStringLiteral("the lab test needs %1 (scripts/install-deps.sh)")
                                 .arg(QString::fromLatin1(tool))));
    m_before = machineState();
    int number = 90;
    while (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)))
        ++number;
    m_displayName = QStringLiteral(":%1").arg(number);
    m_display.start(QStringLiteral("Xvfb"),
                    {m_displayName, QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                     QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1280x1024x24")});
    QVERIFY(m_display.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)), 10000);
}

QStringList TestClassroomLab::statusLines() const {
    QFile file(m_dir.filePath(QStringLiteral("status")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool TestClassroomLab::waitForAll(const QString& word, int timeoutMs) {
    return QTest::qWaitFor(
        [&] {
            const QStringList lines = statusLines();
            return lines.size() == kComputers &&
                   std::all_of(lines.begin(), lines.end(), [&](const QString& line) {
                       return line.split(QLatin1Char(' ')).contains(word);
                   });
        },
        timeoutMs);
}

bool TestClassroomLab::typeKeys(const QStringList& keys) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_displayName);
    const auto xdotool = [&](const QStringList& arguments) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(QStringLiteral("xdotool"), arguments);
        if (process.waitForFinished(20000))
            return process.exitCode() == 0;
        process.kill();
        process.waitForFinished();
        return false;
    };
    // The console's window (its title is padded) gets the focus, then the keys are typed on the keyboard:
    // keys sent to a window are not a user's.
    if (!xdotool({QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                  QStringLiteral("--limit"), QStringLiteral("1"), QStringLiteral("--name"),
                  QStringLiteral("^Kestrava *$"), QStringLiteral("windowfocus"), QStringLiteral("--sync")}))
        return false;
    return xdotool(QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("150")} +
                   keys);
}

void TestClassroomLab::internetOffAndOnReachesEveryComputer() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_displayName);
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    m_lab.setProcessEnvironment(environment);
    m_lab.setProcessChannelMode(QProcess::ForwardedChannels);
    m_lab.start(QCoreApplication::applicationDirPath() + QStringLiteral("/kestrava-lab"),
                {QStringLiteral("--computers"), QString::number(kComputers), QStringLiteral("--status-file"),
                 m_dir.filePath(QStringLiteral("status"))});
    QVERIFY(m_lab.waitForStarted());
    QVERIFY2(waitForAll(QStringLiteral("connected=yes"), kStartMs),
             qPrintable(statusLines().join(QLatin1Char('\n'))));
    QVERIFY2(waitForAll(QStringLiteral("internet=yes"), kSwitchMs),
             qPrintable(statusLines().join(QLatin1Char('\n'))));

    // Classroom, the root's one group, then Tools > Internet > OFF.
    QVERIFY(typeKeys({QStringLiteral("Home"), QStringLiteral("Down"), QStringLiteral("alt+t"),
                      QStringLiteral("i"), QStringLiteral("f")}));
    QVERIFY2(waitForAll(QStringLiteral("internet=no"), kSwitchMs),
             qPrintable(statusLines().join(QLatin1Char('\n'))));
    // The white list still reaches its site.
    QVERIFY(waitForAll(QStringLiteral("names=school.example"), kSwitchMs));

    QVERIFY(typeKeys({QStringLiteral("alt+t"), QStringLiteral("i"), QStringLiteral("n")}));
    QVERIFY2(waitForAll(QStringLiteral("internet=yes"), kSwitchMs),
             qPrintable(statusLines().join(QLatin1Char('\n'))));

    m_lab.terminate();
    QVERIFY(m_lab.waitForFinished(60000));
    QCOMPARE(m_lab.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_lab.exitCode(), 0);
    QCOMPARE(machineState(), m_before);
}

void TestClassroomLab::cleanupTestCase() {
    if (m_lab.state() != QProcess::NotRunning) {
        m_lab.terminate();
        if (!m_lab.waitForFinished(60000))
            m_lab.kill();
    }
    m_display.terminate();
    m_display.waitForFinished(10000);
}

QTEST_GUILESS_MAIN(TestClassroomLab)
#include "tst_classroomlab.moc"
