#pragma once

#include "WorkerPool.h"

#include <QJsonObject>
#include <QString>
#include <memory>

namespace kestrava::bench {

class TargetProcess;

struct BenchConfig {
    // Where kestrava, kestrava-initdb and the bench programs are.
    QString binDir;
    int processes = 4;
    int thinkMs = 55;
    int mixSeconds = 10;
    // Answers per second that the paced mix offers, for latencies measured below saturation.
    int pacedRate = 4000;
    int timeoutMs = 120'000;
};

// The load processes for n clients of the console on port, as the configuration says; with tls, on the
// console's authenticated port (port + 1).
WorkerPool::Settings poolSettings(const BenchConfig& config, quint16 port, int n, bool tls = false);
// The epoll reference listening on port, or null when it did not start.
std::unique_ptr<TargetProcess> startReference(const BenchConfig& config, quint16 port);

// 1: n new systems connect at once and identify; then the same n again as known systems. With groupTimer
// their group has a running timer, whose start every schedule payload reads. Over the authenticated port
// (LocalPort + 1) when tls, every client with one shared key made beforehand.
QJsonObject runIdentificationStorm(const BenchConfig& config, int n, bool groupTimer = false,
                                   bool tls = false);
// 2: n identified clients loop s, o, r, b and a status report; the same against the epoll reference.
QJsonObject runRequestMix(const BenchConfig& config, int n, bool tls = false);
// 3: a group of n connected members gets a new policy; then every system gets new settings.
QJsonObject runBroadcast(const BenchConfig& config, int n);
// 4: start-up with systems in groups until the console answers.
QJsonObject runStartup(const BenchConfig& config, int systems, int groups, int repeat);
// 5: resident memory per connected client after each has exchanged messages.
QJsonObject runMemory(const BenchConfig& config, int n);

} // namespace kestrava::bench
