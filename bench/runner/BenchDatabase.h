#pragma once

#include <QString>

namespace kestrava::bench {

// A policy database for one scenario: a factory file written by kestrava-initdb, listening on port,
// new systems joining the group "Bench"; with groups > 1 the others are "G2", "G3"... and the systems
// "S<n>" on "PC<n>" are shared out over all of them. With groupTimer, "Bench" has an ON timer that runs
// for the next day.
bool prepareDatabase(const QString& initdb, const QString& path, quint16 port, int groups = 1,
                     int systems = 0, bool groupTimer = false);

// A port of 127.0.0.1 that nothing listens on, at most 32767 as the console requires.
quint16 pickFreePort();

} // namespace kestrava::bench
