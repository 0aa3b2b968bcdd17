// What connected client services receive when a list window closes or options are applied.
#include "OptionSwitches.h"
#include "SimulatedClient.h"
#include "TwoGroupScene.h"
#include "console/Keys.h"
#include "lists/GroupUrlList.h"
#include "lists/ProgramCatalogue.h"
#include "lists/UrlCatalogue.h"
#include "options/OptionsModel.h"

#include <QTest>

using namespace kestrava;

class TestListSending : public QObject {
    Q_OBJECT
private slots:
    void catalogueDeletionSendsEveryGroupsList_data();
    void catalogueDeletionSendsEveryGroupsList();
    void movedUrlSendsEditedGroupOnly();
    void additionsAloneSendNothing();
    void optionsApplySendsToAllConnected();
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

void TestListSending::movedUrlSendsEditedGroupOnly() {
    TwoGroupScene s;
    QVERIFY(s.a1 && s.b1);
    GroupUrlList list(s.link.db());
    list.setGroupKey(s.g2Key);
    list.Load_White_List();
    QCOMPARE(list.available(), QStringList{QStringLiteral("www.one.com")});
    list.moveTo({0});
    QCOMPARE(list.keyToSendOnClose(), s.g2Key);
    s.link.messenger().Enumerate_Childs_And_Send_URL(list.keyToSendOnClose());
    QCOMPARE(s.received(s.b1, s.b1Key), QStringList{QStringLiteral("P|2|www.one.com|www.two.com|")});
    QCOMPARE(s.received(s.a1, s.a1Key), QStringList{});
}

void TestListSending::additionsAloneSendNothing() {
    TwoGroupScene s;
    UrlCatalogue urls(s.link.db());
    urls.load();
    QCOMPARE(urls.add(QStringLiteral("z.com")).outcome, Catalogue::AddOutcome::Added);
    QVERIFY(urls.keyToSendOnClose().isEmpty());
    ProgramCatalogue programs(s.link.db());
    programs.load();
    QCOMPARE(programs.add(QStringLiteral("Paint.exe")).outcome, Catalogue::AddOutcome::Added);
    QVERIFY(programs.keyToSendOnClose().isEmpty());
    GroupUrlList list(s.link.db());
    list.setGroupKey(s.g1Key);
    list.Load_White_List();
    QVERIFY(list.keyToSendOnClose().isEmpty());
}

void TestListSending::optionsApplySendsToAllConnected() {
    TwoGroupScene s;
    QVERIFY(s.a1 && s.a3 && s.b1 && s.r1);
    RememberedTray tray;
    RememberedAutoStart autoStart;
    OptionsModel model(s.link.db(), tray, autoStart, [&](const QString& message) {
        s.link.connections().Send_Data_To_All_Connected_Systems(message);
    });
    OptionsValues values = model.load();
    values.askPwd = true;
    QVERIFY(model.apply(values).success);
    values.blockMessage = QStringLiteral("Blocked.");
    values.ports[1] = 21;
    QVERIFY(model.apply(values).success);
    const QStringList expected{QStringLiteral("O|10|0|21|0|0|0|0|0|0|0|0|Blocked.|")};
    QCOMPARE(s.received(s.a1, s.a1Key), expected);
    QCOMPARE(s.received(s.a3, s.a3Key), expected);
    QCOMPARE(s.received(s.b1, s.b1Key), expected);
    QCOMPARE(s.received(s.r1, s.r1Key), expected);
}

QTEST_GUILESS_MAIN(TestListSending)
#include "tst_listsending.moc"
