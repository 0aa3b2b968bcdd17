#include "ClientInbox.h"

#include "LinkHarness.h"
#include "SimulatedClient.h"

#include <QTest>

using namespace kestrava;

QStringList receivedBy(LinkHarness& link, SimulatedClient* client, const QString& systemKey) {
    const QString marker = QStringLiteral("Z-marker");
    link.connections().Send_Data_To_System(systemKey, marker);
    if (!QTest::qWaitFor([&] { return client->lastArrival() == marker; }, 5000))
        return {QStringLiteral("timeout")};
    QStringList received;
    for (const QString& message : client->arrivals()) {
        if (message != marker)
            received << SimulatedClient::displayText(message);
    }
    client->clearArrivals();
    return received;
}
