// kestrava-crash-driver <database> <seed> <journal>: runs the crash script's series of commands on a
// database whose site is already set up, writing "b n" to the journal before command n and "e n name"
// after it, until it is killed (or, at the latest, after kMaxCommands or kMaxRunTime).
// kestrava-crash-driver --set-up <database>: writes a factory database there with the site set up.

#include "CrashScript.h"
#include "core/store/Database.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <chrono>
#include <cstdio>

using namespace kestrava;

namespace {

constexpr int kMaxCommands = 200000;
constexpr std::chrono::seconds kMaxRunTime{60};

void write(QFile& journal, const QString& line) {
    journal.write((line + QLatin1Char('\n')).toUtf8());
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 3 && arguments.at(1) == QLatin1String("--set-up")) {
        try {
            Database::createFactory(arguments.at(2));
            Database db;
            db.open(arguments.at(2));
            CrashScript(db, 0).setUp();
            return 0;
        } catch (const DatabaseError& error) {
            std::fprintf(stderr, "%s\n", qPrintable(error.toMessage()));
            return 1;
        }
    }
    if (arguments.size() != 4) {
        std::fprintf(stderr, "usage: kestrava-crash-driver <database> <seed> <journal>\n"
                             "       kestrava-crash-driver --set-up <database>\n");
        return 2;
    }
    QFile journal(arguments.at(3));
    if (!journal.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(arguments.at(3)));
        return 2;
    }
    try {
        Database db;
        db.open(arguments.at(1));
        CrashScript script(db, arguments.at(2).toUInt());
        std::puts("ready");
        std::fflush(stdout);
        QElapsedTimer running;
        running.start();
        for (int n = 1;
             n <= kMaxCommands && running.elapsed() < std::chrono::milliseconds(kMaxRunTime).count(); ++n) {
            write(journal, QStringLiteral("b %1").arg(n));
            const QString name = script.runNext();
            if (!script.errors().isEmpty()) {
                std::fprintf(stderr, "command %d (%s): %s\n", n, qPrintable(name),
                             qPrintable(script.errors().join(QLatin1Char('\n'))));
                return 1;
            }
            write(journal, QStringLiteral("e %1 %2").arg(n).arg(name));
        }
    } catch (const DatabaseError& error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.toMessage()));
        return 1;
    }
    return 0;
}
