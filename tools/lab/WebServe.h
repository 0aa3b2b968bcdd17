#pragma once

#include <QList>

// The internet's web server, run inside the lab's internet namespace: every address, the given ports,
// each request answered with a page naming the host asked for.
namespace WebServe {

// main() of `kestrava-lab --serve PORT...` once the application exists: prints "serving" when every
// port listens; exit code 3 when one is taken.
int run(const QList<quint16>& ports);

} // namespace WebServe
