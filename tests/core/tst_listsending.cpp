// What connected client services receive when a catalogue window closes after a deletion.
#include "SimulatedClient.h"
#include "TwoGroupScene.h"
#include "console/Keys.h"
#include "lists/ProgramCatalogue.h"
#include "lists/UrlCatalogue.h"

#include <QTest>

using namespace kestrava;

class TestListSending : public QObject {
    Q_OBJECT
private slots:
    void catalogueDeletionSendsEveryGroupsList_data();
    void catalogueDeletionSendsEveryGroupsList();
};

void TestListSending::catalogueDeletionSendsEveryGroupsList_data() {
    QTest::addColumn<bool>("urls");
    QTest::addColumn<QString>("toG1");
    QTest::addColumn<QString>("toG2");
    QTest::newRow("URL") << true << QStringLiteral("P|0|") << QStringLiteral("P|1|www.two.com|");
    QTest::newRow("program") << false << QStringLiteral("B|0|") << QStringLiteral("B|1|two.exe|");
}

void TestListSending::catalogueDeletionSendsEveryGroupsList() {
    QFETCH(bool, urls);
    QFETCH(QString, toG1);
    QFETCH(QString, toG2);
    TwoGroupScene s;
    QVERIFY(s.a1 && s.a3 && s.b1 && s.r1);
    UrlCatalogue urlCatalogue(s.link.db());
    ProgramCatalogue programCatalogue(s.link.db());
    Catalogue& catalogue = urls ? static_cast<Catalogue&>(urlCatalogue) : programCatalogue;
    catalogue.load();
    catalogue.removeRows(
        {int(catalogue.entries().indexOf(urls ? QStringLiteral("www.one.com") : QStringLiteral("one.exe")))});
    QCOMPARE(catalogue.keyToSendOnClose(), Keys::rootKey());
    if (urls)
        s.link.messenger().Enumerate_Childs_And_Send_URL(catalogue.keyToSendOnClose());
    else
        s.link.messenger().Enumerate_Childs_And_Send_Programs(catalogue.keyToSendOnClose());
    QCOMPARE(s.received(s.a1, s.a1Key), QStringList{toG1});
    QCOMPARE(s.received(s.a3, s.a3Key), QStringList{toG1});
    QCOMPARE(s.received(s.b1, s.b1Key), QStringList{toG2});
    // A system directly under the root belongs to no group and gets no list.
    QCOMPARE(s.received(s.r1, s.r1Key), QStringList{});
}

QTEST_GUILESS_MAIN(TestListSending)
#include "tst_listsending.moc"
