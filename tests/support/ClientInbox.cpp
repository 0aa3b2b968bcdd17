#include "ClientInbox.h"

#include "LinkHarness.h"
#include "SimulatedClient.h"

#include <QTest>

using namespace kestrava;

QStringList receivedBy(LinkHarness& link, SimulatedClient* client, const QString& systemKey) {
    // A client whose connection failed earlier makes the comparison fail, not the test crash.
    if (!client)
        return {QStringLiteral("no client")};
    const QString marker = QStringLiteral("Z-marker");
    link.connections().Send_Data_To_System(systemKey, marker);
    if (!QTest::qWaitFor([&] { return client->lastArrival() == marker; }, 5000))
        return {QStringLiteral("timeout")};
    QStringList received = LinkHarness::shown(client);
    received.removeAll(SimulatedClient::displayText(marker));
    client->clearArrivals();
    return received;
}
