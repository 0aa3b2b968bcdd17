#include "TempDatabase.h"
#include "console/SystemTree.h"
#include "link/ConnectionManager.h"

#include <QTest>

using namespace kestrava;

class TestLocalPortFallback : public QObject {
    Q_OBJECT
private slots:
    void port_data();
    void port();
};

void TestLocalPortFallback::port_data() {
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("port");
    QTest::newRow("number") << QVariant(9000) << 9000;
    QTest::newRow("NULL") << QVariant() << 8999;
    QTest::newRow("not a number") << QVariant(QStringLiteral("abc")) << 8999;
    QTest::newRow("empty text") << QVariant(QString()) << 8999;
}

void TestLocalPortFallback::port() {
    QFETCH(QVariant, stored);
    QFETCH(int, port);
    TempDatabase temp;
    temp.db().exec(QStringLiteral("UPDATE Settings_Table SET LocalPort=?"), {stored});
    SystemTree tree;
    ConnectionManager connections(temp.db(), tree);
    QCOMPARE(connections.Get_Local_Port(), port);
}

QTEST_GUILESS_MAIN(TestLocalPortFallback)
#include "tst_localportfallback.moc"
