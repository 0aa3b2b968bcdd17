#include "TwoGroupScene.h"

#include "ClientInbox.h"
#include "PolicyRows.h"
#include "SimulatedClient.h"

using namespace kestrava;

namespace {

void addListEntries(Database& db, int group, const QString& url, const QString& program) {
    db.exec(QStringLiteral("INSERT INTO DNS_Lookup_Table (URL) VALUES (?)"), {url});
    db.exec(QStringLiteral(
                "INSERT INTO Group_URL_Table (Group_ID, URL_ID) SELECT ?, URL_ID FROM DNS_Lookup_Table "
                "WHERE URL=?"),
            {group, url});
    db.exec(QStringLiteral("INSERT INTO Program_Table (Program) VALUES (?)"), {program});
    db.exec(QStringLiteral("INSERT INTO Group_Program_Table (Group_ID, Program_ID) SELECT ?, Program_ID FROM "
                           "Program_Table WHERE Program=?"),
            {group, program});
}

} // namespace

TwoGroupScene::TwoGroupScene() {
    Database& db = link.db();
    g1 = PolicyRows::addGroup(db, QStringLiteral("G1"));
    g2 = PolicyRows::addGroup(db, QStringLiteral("G2"));
    g1Key = PolicyRows::groupKey(QStringLiteral("G1"));
    g2Key = PolicyRows::groupKey(QStringLiteral("G2"));
    a1Key = PolicyRows::addSystem(db, QStringLiteral("A1"), QStringLiteral("PCA1"), g1);
    a2Key = PolicyRows::addSystem(db, QStringLiteral("A2"), QStringLiteral("PCA2"), g1);
    a3Key = PolicyRows::addSystem(db, QStringLiteral("A3"), QStringLiteral("PCA3"), g1);
    b1Key = PolicyRows::addSystem(db, QStringLiteral("B1"), QStringLiteral("PCB1"), g2);
    r1Key = PolicyRows::addSystem(db, QStringLiteral("R1"), QStringLiteral("PCR1"), 0);
    addListEntries(db, g1, QStringLiteral("www.one.com"), QStringLiteral("one.exe"));
    addListEntries(db, g2, QStringLiteral("www.two.com"), QStringLiteral("two.exe"));
    link.loadTree();
    a1 = link.connectIdentified(QStringLiteral("A1"), QStringLiteral("PCA1"));
    a3 = link.connectIdentified(QStringLiteral("A3"), QStringLiteral("PCA3"));
    b1 = link.connectIdentified(QStringLiteral("B1"), QStringLiteral("PCB1"));
    r1 = link.connectIdentified(QStringLiteral("R1"), QStringLiteral("PCR1"));
}

QStringList TwoGroupScene::received(SimulatedClient* client, const QString& key) {
    return receivedBy(link, client, key);
}
