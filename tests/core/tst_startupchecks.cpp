// What start-up reads before the window opens: the command line, the database's version mark and
// password, the SQLite version, the port to listen on, the named values and the autostart entry; and
// the order of start-up's steps.

#include "TempDatabase.h"
#include "core/console/SystemTree.h"
#include "core/link/ConnectionManager.h"
#include "core/platform/XdgAutoStart.h"
#include "core/platform/clsRegistry.h"
#include "core/startup/Clock.h"
#include "core/startup/CommandLine.h"
#include "core/startup/ConsoleAccess.h"
#include "core/startup/EnvironmentChecks.h"
#include "core/startup/StartupSequence.h"

#include <QFile>
#include <QSettings>
#include <QTest>
#include <functional>

using namespace kestrava;
using namespace Qt::StringLiterals;

using Check = std::function<QVariant()>;
Q_DECLARE_METATYPE(Check)

namespace {

const QString kServerKey = QStringLiteral("SOFTWARE\\Talmerin\\Kestrava\\Server");

// The check's answer on a factory database after the statement.
Check onDatabase(const char* sql, const std::function<QVariant(Database&)>& check) {
    return [=] {
        TempDatabase temp;
        if (*sql)
            temp.db().exec(QLatin1String(sql));
        return check(temp.db());
    };
}

Check version(const char* sql) {
    return onDatabase(sql, [](Database& db) { return Check_Database_Version(db); });
}

Check password(const char* sql, const QString& typed) {
    return onDatabase(sql, [=](Database& db) { return Check_Password(db, typed); });
}

Check port(const char* sql) {
    return onDatabase(sql, [](Database& db) {
        SystemTree tree;
        return ConnectionManager(db, tree).Get_Local_Port();
    });
}

// How start-up on the day ends ("ready", "incompatible" or the error) and its progress; "delete" for
// a missing database, which start-up must not create.
Check startUp(const char* sql, const QDate& day) {
    return [=] {
        TempDatabase temp;
        if (*sql && qstrcmp(sql, "delete") != 0)
            temp.db().exec(QLatin1String(sql));
        temp.db().close();
        if (qstrcmp(sql, "delete") == 0)
            QFile::remove(temp.path());
        Database db;
        const FixedClock clock(QDateTime(day, QTime(8, 30)));
        StartupSequence sequence(db, temp.path(), clock);
        QStringList ended;
        QObject::connect(&sequence, &StartupSequence::progressed,
                         [&](int step) { ended << QString::number(step); });
        QObject::connect(&sequence, &StartupSequence::ready, [&] { ended << QStringLiteral("ready"); });
        QObject::connect(&sequence, &StartupSequence::incompatibleVersion,
                         [&] { ended << u"incompatible"_s; });
        QObject::connect(&sequence, &StartupSequence::failed,
                         [&](const QString& error) { ended << error.left(3); });
        sequence.start();
        if (!QTest::qWaitFor([&] { return !ended.isEmpty() && ended.constLast().size() > 1; }, 10000))
            ended << u"hangs"_s;
        return ended.join(QLatin1Char(' ')) + (QFile::exists(temp.path()) ? QString() : u" (no file)"_s);
    };
}

// What the store file holds under the first spelling of Path after a second write of it in other letter
// case; false when that write is refused and changed nothing.
Check registry(const QVariant& written, const QString& path = kServerKey.toLower(),
               const QString& name = u"PATH"_s, quint32 root = HKEY_LOCAL_MACHINE) {
    return [=]() -> QVariant {
        QTemporaryDir dir;
        clsRegistry registry(dir.filePath(QStringLiteral("registry.ini")));
        registry.RegSetKeyValue(HKEY_LOCAL_MACHINE, kServerKey, QStringLiteral("Path"), 1);
        if (!registry.RegSetKeyValue(root, path, name, written))
            return QSettings(registry.storeFile(), QSettings::IniFormat).allKeys().size() == 1 ? false
                                                                                               : QVariant();
        QSettings raw(registry.storeFile(), QSettings::IniFormat);
        raw.beginGroup(QStringLiteral("HKEY_LOCAL_MACHINE/SOFTWARE/Talmerin/Kestrava/Server"));
        return raw.childKeys() == QStringList{QStringLiteral("Path")} ? raw.value(QStringLiteral("Path"))
                                                                      : QVariant();
    };
}

// Whether this copy's autostart is set after another copy's entry was set (when entryProgram is given),
// and unset after.
Check autoStart(const QString& program, const QString& entryProgram, const QByteArray& entry = {}) {
    return [=] {
        QTemporaryDir dir;
        XdgAutoStart self(dir.path(), program);
        if (!entryProgram.isEmpty() && !XdgAutoStart(dir.path(), entryProgram).set())
            return false;
        QFile file(self.entryFile());
        if (!entry.isEmpty() && !(file.open(QIODevice::WriteOnly) && file.write(entry) && file.flush()))
            return false;
        return XdgAutoStart::programOfExec(XdgAutoStart::execFor(program)) == program && self.isSet() &&
               self.unset() && !self.isSet() && !file.exists();
    };
}

} // namespace

class TestStartupChecks : public QObject {
    Q_OBJECT
private slots:
    void checks_data();
    void checks();
};

void TestStartupChecks::checks_data() {
    QTest::addColumn<Check>("check");
    QTest::addColumn<QVariant>("expected");
    const auto row = [](const char* name, const Check& check, const QVariant& expected) {
        QTest::newRow(name) << check << expected;
    };
    const auto line = [](const QStringList& arguments) {
        return Check([=] { return Make_Command_Line(arguments); });
    };
    const auto query = [](const QStringList& arguments) {
        return Check([=] { return Is_Command_Line_Query(arguments); });
    };
    const QString a253(253, QLatin1Char('a'));
    row("line cut at 254", line({a253 + u"ab"_s}), a253 + u"a"_s);
    const QString key = QString::fromUtf8("\xF0\x9F\x94\x91");
    row("pair not split by the cut", line({a253 + key}), a253);
    row("-h", query({u"-h"_s}), true);
    row("password that looks like help", query({u"-v"_s, u"--help"_s}), false);

    row("version with blanks", version("UPDATE Settings_Table SET CompatibleVersion=' 1.4 '"), true);
    row("version 1.3", version("UPDATE Settings_Table SET CompatibleVersion='1.3'"), false);
    row("no version", version("UPDATE Settings_Table SET CompatibleVersion=NULL"), false);
    row("no version column", version("ALTER TABLE Settings_Table DROP COLUMN CompatibleVersion"), false);

    row("factory asks no password", onDatabase("", Is_Password_Required), false);
    row("password asked", onDatabase("UPDATE Settings_Table SET AskPwd=1", Is_Password_Required), true);
    row("password letter case counts", password("", QStringLiteral("chief")), false);
    row("absent password is empty", password("UPDATE Settings_Table SET Password=NULL", {}), true);
    row("no settings, no password right", password("DELETE FROM Settings_Table", QStringLiteral("Chief")),
        false);

    for (const auto& [sqlite, enough] :
         {std::pair{"3.35.0", true}, {"4.0", true}, {"3.34.1", false}, {"3.9.0", false}, {"x.y", false}})
        row(
            qPrintable(QStringLiteral("SQLite ") + QLatin1String(sqlite)),
            [=] { return Is_Data_Access_Version_Sufficient(QLatin1String(sqlite)); }, enough);

    row("port", port("UPDATE Settings_Table SET LocalPort=9000"), 9000);
    row("port not a number", port("UPDATE Settings_Table SET LocalPort='abc'"), 8999);
    row("no settings for the port", port("DELETE FROM Settings_Table"), 8999);

    row("value trimmed", registry(QStringLiteral("  /opt/a b  ")), QStringLiteral("/opt/a b"));
    row("value not a number", registry(QStringLiteral("12ab")), QStringLiteral("12ab"));
    row("value of digits", registry(QStringLiteral(" 12345 ")), QByteArray("\x39\x30\0\0", 4));
    row("value int", registry(0x44434241), QByteArray("ABCD"));
    row("value rounds half to even", registry(66.5), QByteArray("B\0\0\0", 4));
    row("unknown root refused", registry(1, kServerKey, QStringLiteral("Path"), 0x12345678), false);
    row("slash in name refused", registry(1, kServerKey, QStringLiteral("a/b")), false);
    row("slash in path refused", registry(1, QStringLiteral("SOFT/WARE")), false);

    const QDate friday(2024, 3, 8);
    row("start-up on Friday", startUp("", friday), u"1 2 3 4 5 ready"_s);
    row("start-up of another version", startUp("UPDATE Settings_Table SET CompatibleVersion='1.41'", friday),
        u"1 2 3 incompatible"_s);
    row("start-up without database", startUp("delete", friday.addDays(-4)), u"1 2 14: (no file)"_s);
    row("start-up without database on Friday", startUp("delete", friday), u"1 14: (no file)"_s);

    const QString opt = QStringLiteral("/opt/Kestrava/kestrava");
    row("autostart of this copy", autoStart(opt, QStringLiteral("/OPT/kestrava/KESTRAVA")), true);
    row("autostart of another copy", autoStart(opt, QStringLiteral("/home/admin/kestrava/kestrava")), false);
    row("autostart of a longer path", autoStart(opt, QStringLiteral("/opt/Kestrava/kestrava2")), false);
    row("autostart hidden",
        autoStart(opt, {}, "[Desktop Entry]\nType=Application\nExec=/opt/Kestrava/kestrava\nHidden=true\n"),
        false);
    for (const char* path : {"/tmp/x y\"$z\\w/kestrava", "/tmp/100%/zoë"})
        row(path, autoStart(QString::fromUtf8(path), QString::fromUtf8(path)), true);
}

void TestStartupChecks::checks() {
    QFETCH(Check, check);
    QFETCH(QVariant, expected);
    QCOMPARE(check(), expected);
}

QTEST_GUILESS_MAIN(TestStartupChecks)
#include "tst_startupchecks.moc"
