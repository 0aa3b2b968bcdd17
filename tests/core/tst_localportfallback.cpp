#include "TempDatabase.h"
#include "core/console/SystemTree.h"
#include "core/link/ConnectionManager.h"

#include <QTest>

using namespace kestrava;

class TestLocalPortFallback : public QObject {
    Q_OBJECT
private slots:
    void port_data();
    void port();
};

void TestLocalPortFallback::port_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("port");
    QTest::newRow("number") << "UPDATE Settings_Table SET LocalPort=9000" << 9000;
    QTest::newRow("NULL") << "UPDATE Settings_Table SET LocalPort=NULL" << 8999;
    QTest::newRow("not a number") << "UPDATE Settings_Table SET LocalPort='abc'" << 8999;
    QTest::newRow("empty text") << "UPDATE Settings_Table SET LocalPort=''" << 8999;
    QTest::newRow("no settings row") << "DELETE FROM Settings_Table" << 8999;
}

void TestLocalPortFallback::port() {
    QFETCH(QString, change);
    QFETCH(int, port);
    TempDatabase temp;
    temp.db().exec(change);
    SystemTree tree;
    ConnectionManager connections(temp.db(), tree);
    QCOMPARE(connections.Get_Local_Port(), port);
}

QTEST_GUILESS_MAIN(TestLocalPortFallback)
#include "tst_localportfallback.moc"
