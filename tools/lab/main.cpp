#include "Classroom.h"
#include "ComputerEnter.h"
#include "ComputerInit.h"
#include "ExitSignals.h"
#include "LabOptions.h"
#include "WebFetch.h"
#include "WebServe.h"
#include "core/startup/ProductTitle.h"
#include "gui/platform/DisplayCheck.h"

#include <QApplication>
#include <QDir>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <unistd.h>

namespace {

// The lab's own parts, run by the lab inside its namespaces: never by hand.
std::optional<int> runPart(int argc, char* argv[]) {
    if (argc < 2)
        return std::nullopt;
    // Both end with _exit: their /proc belongs to the computer's PID namespace, where they have no entry,
    // so nothing that reads /proc/self at exit (a sanitizer's leak check) may run.
    if (std::strcmp(argv[1], "--computer-init") == 0 && argc == 4)
        ::_exit(ComputerInit::run(argv[2], static_cast<uid_t>(std::strtoul(argv[3], nullptr, 10))));
    if (std::strcmp(argv[1], "--computer-enter") == 0 && argc >= 6)
        ::_exit(ComputerEnter::run(static_cast<pid_t>(std::atol(argv[2])),
                                   static_cast<uid_t>(std::strtoul(argv[3], nullptr, 10)), std::atol(argv[4]),
                                   argv + 5));
    if (std::strcmp(argv[1], "--fetch") == 0)
        return WebFetch::run(std::vector<std::string>(argv + 2, argv + argc));
    if (std::strcmp(argv[1], "--serve") == 0) {
        QCoreApplication app(argc, argv);
        QList<quint16> ports;
        for (int i = 2; i < argc; ++i)
            ports << static_cast<quint16>(std::atoi(argv[i]));
        return WebServe::run(ports);
    }
    return std::nullopt;
}

int fail(const QString& message) {
    std::fprintf(stderr, "kestrava-lab: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    if (const std::optional<int> part = runPart(argc, argv))
        return *part;
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const LabOptions options = LabOptions::parse(arguments);
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "kestrava-lab: %s (see kestrava-lab --help)\n",
                     qPrintable(options.error.chopped(options.error.endsWith(QLatin1Char('.')) ? 1 : 0)));
        return 2;
    }
    if (options.help || options.version) {
        std::fputs(qPrintable(options.help
                                  ? LabOptions::helpText()
                                  : QStringLiteral("kestrava-lab %1\n").arg(kestrava::versionText())),
                   stdout);
        return 0;
    }
    if (::geteuid() != 0) {
        std::fputs(
            "kestrava-lab: needs root: it makes network namespaces, mounts and nftables rules for its lab "
            "computers.\n",
            stderr);
        return 2;
    }
    if (!kestrava::displayProblem().isEmpty())
        return fail(
            QStringLiteral("cannot reach a display: start it from a graphical session (DISPLAY), where the "
                           "console and the lab window show"));
    for (const QString& removed : Classroom::removeLeftovers())
        std::fprintf(stderr, "kestrava-lab: removed %s, left by a lab that did not end cleanly\n",
                     qPrintable(removed));

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrava-lab"));
    QApplication::setQuitOnLastWindowClosed(false);
    Classroom classroom(options, QCoreApplication::applicationDirPath());
    ExitSignals exitSignals;
    QObject::connect(&exitSignals, &ExitSignals::received, &classroom, [&classroom](int number) {
        classroom.end(0, QStringLiteral("ended by %1").arg(QString::fromLatin1(::strsignal(number))));
    });
    if (const QString failed = classroom.start(); !failed.isEmpty())
        return fail(failed);
    std::fprintf(
        stderr,
        "kestrava-lab: the lab runs (%d computers); close the lab window or press Ctrl-C to end it.\n",
        options.computers);
    return QApplication::exec();
}
