// kestrava-crash-driver <database> <seed> <journal>: runs the crash script's series of commands on a
// database whose site is already set up, writing "b n" to the journal before command n and "e n" after
// it, until it is killed (or, at the latest, after a minute).

#include "CrashScript.h"
#include "core/store/Database.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>

using namespace kestrava;

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    QFile journal(arguments.value(3));
    if (arguments.size() != 4 || !journal.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        std::fprintf(stderr, "usage: kestrava-crash-driver <database> <seed> <journal>\n");
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
        for (int n = 1; running.elapsed() < 60'000 && script.errors().isEmpty(); ++n) {
            journal.write(QByteArray("b ") + QByteArray::number(n) + '\n');
            script.runNext();
            journal.write(QByteArray("e ") + QByteArray::number(n) + '\n');
        }
        // The link's failures end the driver as a failure of its own, not as a kill.
        std::fprintf(stderr, "%s\n", qPrintable(script.errors().join(u'\n')));
        return script.errors().isEmpty() ? 0 : 1;
    } catch (const DatabaseError& error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.toMessage()));
        return 1;
    }
}
