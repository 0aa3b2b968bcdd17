#pragma once

#include "Scenarios.h"

#include <QJsonObject>

namespace kestrava::bench {

// The real console with its window called up and n known systems listed in it: resident memory per
// client, then all n dropping at once while a probe measures how long the event loop is held; the same
// drop against the epoll reference. With tls the clients hold their connections over the authenticated port.
QJsonObject runWindowDrop(const BenchConfig& config, int n, bool tls = false);
// The real console with its window: "Internet ON" chosen from the menu for a group of n connected
// systems whose list is shown (typed with xdotool): last "S" received, and how long the event loop was held
// as the probe measures it.
QJsonObject runWindowBroadcast(const BenchConfig& config, int n);
// The list of a group of n systems shown the first time (kestrava-bench-listshow under xvfb-run).
QJsonObject runListShow(const BenchConfig& config, int n);

} // namespace kestrava::bench
