#pragma once

#include "LinkHarness.h"

#include <QString>
#include <QStringList>

namespace kestrava {
class SimulatedClient;
}

// Two groups and a system under the root, most of them connected:
//   G1: A1 (connected), A2 (not connected), A3 (connected)
//   G2: B1 (connected)
//   root: R1 (connected)
// G1's white list holds "www.one.com" and its block list "one.exe"; G2's "www.two.com" and "two.exe".
struct TwoGroupScene {
    TwoGroupScene();

    // What the client received since the last call, separators as '|'. A marker sent last shows that
    // nothing more is on its way; {"timeout"} when it does not arrive.
    QStringList received(kestrava::SimulatedClient* client, const QString& key);

    LinkHarness link;
    int g1 = 0;
    int g2 = 0;
    QString g1Key, g2Key;
    QString a1Key, a2Key, a3Key, b1Key, r1Key;
    kestrava::SimulatedClient* a1 = nullptr;
    kestrava::SimulatedClient* a3 = nullptr;
    kestrava::SimulatedClient* b1 = nullptr;
    kestrava::SimulatedClient* r1 = nullptr;
};
