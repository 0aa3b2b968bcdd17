// kestrava-bench: runs the scenarios against the real console and prints one JSON line per scenario.
#include "Scenarios.h"
#include "WindowScenarios.h"
#include "core/platform/OpenFileLimit.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonDocument>
#include <cstdio>

using namespace kestrava::bench;

int main(int argc, char* argv[]) {
    kestrava::raiseOpenFileLimit();
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Benchmarks of the Kestrava console. Scenarios: storm, storm-timer, tls-storm, mix, tls-mix, "
        "broadcast, startup, "
        "memory, window, tls-window, window-broadcast, listshow. Every "
        "connection stays inside 127.0.0.0/8; every scenario ends by itself."));
    parser.addHelpOption();
    auto option = [&](const char* name, const char* help, const QString& fallback) {
        QCommandLineOption o(QString::fromLatin1(name), QString::fromLatin1(help), QStringLiteral("value"),
                             fallback);
        parser.addOption(o);
        return o;
    };
    const auto n = option("n", "Connected clients where a scenario needs them.", QStringLiteral("19000"));
    const auto scenarios =
        option("scenarios", "Comma-separated scenarios to run.",
               QStringLiteral("storm,mix,broadcast,startup,memory,window,window-broadcast,listshow"));
    const auto processes = option("processes", "Load processes.", QStringLiteral("4"));
    const auto mixSeconds = option("mix-seconds", "Length of the request mix.", QStringLiteral("10"));
    const auto paced =
        option("paced-rate", "Answers per second offered by the paced request mix.", QStringLiteral("4000"));
    const auto think = option("think",
                              "Pause of a client after each answer, ms (the console spaces the "
                              "messages of one connection by 50 ms).",
                              QStringLiteral("55"));
    const auto storms =
        option("storm-sizes", "Sizes of further identification storms, comma-separated.", QString());
    const auto memorySmall =
        option("memory-small", "Smaller client count of the memory scenario.", QStringLiteral("1000"));
    const auto systems =
        option("startup-systems", "Systems in the start-up database.", QStringLiteral("20000"));
    const auto groups = option("startup-groups", "Groups in the start-up database.", QStringLiteral("500"));
    const auto repeat =
        option("startup-runs", "Start-ups measured; the median is printed.", QStringLiteral("3"));
    const auto bin = option("bin", "Folder of kestrava, kestrava-initdb and the bench programs.",
                            QCoreApplication::applicationDirPath());
    parser.process(app);

    BenchConfig config;
    config.binDir = parser.value(bin);
    config.processes = parser.value(processes).toInt();
    config.thinkMs = parser.value(think).toInt();
    config.mixSeconds = parser.value(mixSeconds).toInt();
    config.pacedRate = parser.value(paced).toInt();
    const int clients = parser.value(n).toInt();

    auto print = [](const QJsonObject& figures) {
        std::fputs(QJsonDocument(figures).toJson(QJsonDocument::Compact).append('\n').constData(), stdout);
        std::fflush(stdout);
    };
    const QStringList wanted = parser.value(scenarios).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString& scenario : wanted) {
        if (scenario == QLatin1String("storm")) {
            QList<int> sizes;
            for (const QString& size : parser.value(storms).split(QLatin1Char(','), Qt::SkipEmptyParts))
                sizes << size.toInt();
            sizes << clients;
            for (int size : sizes)
                print(runIdentificationStorm(config, size));
        } else if (scenario == QLatin1String("storm-timer")) {
            print(runIdentificationStorm(config, clients, true));
        } else if (scenario == QLatin1String("tls-storm")) {
            print(runIdentificationStorm(config, clients, false, true));
        } else if (scenario == QLatin1String("mix")) {
            print(runRequestMix(config, clients));
        } else if (scenario == QLatin1String("tls-mix")) {
            print(runRequestMix(config, clients, true));
        } else if (scenario == QLatin1String("broadcast")) {
            print(runBroadcast(config, clients));
        } else if (scenario == QLatin1String("startup")) {
            print(runStartup(config, parser.value(systems).toInt(), parser.value(groups).toInt(),
                             parser.value(repeat).toInt()));
        } else if (scenario == QLatin1String("memory")) {
            for (int size : {parser.value(memorySmall).toInt(), clients})
                print(runMemory(config, size));
        } else if (scenario == QLatin1String("window")) {
            print(runWindowDrop(config, clients));
        } else if (scenario == QLatin1String("tls-window")) {
            print(runWindowDrop(config, clients, true));
        } else if (scenario == QLatin1String("window-broadcast")) {
            print(runWindowBroadcast(config, clients));
        } else if (scenario == QLatin1String("listshow")) {
            print(runListShow(config, clients));
        } else {
            std::fprintf(stderr, "bench: unknown scenario %s\n", qPrintable(scenario));
            return 2;
        }
    }
    return 0;
}
