#pragma once

#include <QString>
#include <QStringList>

class LinkHarness;

namespace kestrava {
class SimulatedClient;
}

// What the client of systemKey received since the last call, separators shown as '|'. A marker sent
// to it after everything else shows that nothing more is on its way; {"timeout"} when it never comes.
QStringList receivedBy(LinkHarness& link, kestrava::SimulatedClient* client, const QString& systemKey);
