#include "PolicyRows.h"
#include "TempDatabase.h"
#include "core/console/Keys.h"
#include "core/console/NodeRoles.h"
#include "core/console/SystemListModel.h"
#include "core/console/SystemTree.h"
#include "core/console/TreeLoader.h"

#include <QAbstractItemModelTester>
#include <QMimeData>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace kestrava;
using namespace Qt::StringLiterals;

namespace {

QString addSystem(Database& db, const QString& id, const QString& name, const QString& alias,
                  qint64 groupId) {
    const QString key = Keys::Make_System_Key(id, name);
    db.exec(QStringLiteral("INSERT INTO System_Table(System_Key,System_Name,Group_ID) VALUES(?,?,?)"),
            {key, alias, groupId});
    return key;
}

QString cell(const SystemListModel& model, int row, int column) {
    return model.index(row, column).data().toString();
}

// A factory database with two groups, systems in one of them and two systems without a group.
struct Network {
    TempDatabase temp;
    SystemTree tree;
    SystemListModel list{tree};
    QString pc1, pc2, loose;

    Network() {
        Database& db = temp.db();
        const qint64 labs = PolicyRows::addGroup(db, QStringLiteral("Labs"));
        PolicyRows::addGroup(db, QStringLiteral("Empty"));
        const qint64 gone = PolicyRows::addGroup(db, QStringLiteral("Gone"));
        pc1 = addSystem(db, QStringLiteral("ID1"), QStringLiteral("PC-ONE"), QStringLiteral("Front desk"),
                        labs);
        pc2 = addSystem(db, QStringLiteral("ID2"), QStringLiteral("PC-TWO"), QStringLiteral("Back office"),
                        labs);
        loose = addSystem(db, QStringLiteral("ID3"), QStringLiteral("LOOSE"), QStringLiteral("Loose"), 0);
        addSystem(db, QStringLiteral("ID4"), QStringLiteral("STRAY"), QStringLiteral("Stray"), gone);
        db.exec(QStringLiteral("DELETE FROM Group_Table WHERE Group_ID=?"), {gone});
        Load_Systems_Tree(db, tree);
    }
    TreeNode* node(const QString& key) const { return tree.Get_Node_Index_From_Key(key); }
    TreeNode* group(const QString& name) const { return node(Keys::Make_Group_Key(name)); }
    QString rowKey(int row) const { return list.rowAt(row).key; }
};

} // namespace

class TestSystemListModel : public QObject {
    Q_OBJECT
private slots:
    void follow_data();
    void follow();
    void dragCarriesKeysInListOrder();
};

namespace {

// Each row as alias[system]@group, its image, "on" or "off" and the address and internet status it shows.
QString rows(const SystemListModel& list) {
    QStringList out;
    for (int row = 0; row < list.rowCount(); ++row) {
        const QString status = cell(list, row, SystemListModel::ConnectionStatus);
        out << QStringList{cell(list, row, SystemListModel::Alias) + u'[' +
                               cell(list, row, SystemListModel::System) + u"]@"_s +
                               cell(list, row, SystemListModel::Group),
                           QString::number(list.index(row, 0).data(ImageRole).toInt()),
                           status == u"Connected"       ? u"on"_s
                           : status == u"Not Connected" ? u"off"_s
                                                        : status,
                           cell(list, row, SystemListModel::IpAddress),
                           cell(list, row, SystemListModel::InternetStatus)}
                   .filter(QRegularExpression(u"."_s))
                   .join(u' ');
    }
    return out.isEmpty() ? u"(empty)"_s : out.join(u" / "_s);
}

void row(const char* name, const QString& steps, const QString& log) {
    QTest::newRow(name) << steps << log;
}

} // namespace

// Steps separated by '|' over the Network; "list" shows the rows, "signals" the rows changed and the
// insertions signalled since the last time, "index KEY" where a key is listed (0: not at all).
void TestSystemListModel::follow_data() {
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("log");
    row("root: groups, then systems without a group", u"address loose 1.2.3.4|show root|list"_s,
        u"Labs[]@Computers 2 off / Empty[]@Computers 2 off / Loose[LOOSE]@Computers 4 on 1.2.3.4 / "
        "Stray[STRAY]@Computers 4 off"_s);
    row("group: its systems, keys in any case", u"show Labs|list|index pc2-lower|index loose"_s,
        u"Front desk[PC-ONE]@Labs 4 off / Back office[PC-TWO]@Labs 4 off 2 0"_s);
    row("system alone with its own group and tag",
        u"tag pc2 Timer Started 01/02/26 09:00:00 AM|show pc2|list|tagrole|show loose|list"_s,
        u"Back office[PC-TWO]@Labs 4 off Timer Started 01/02/26 09:00:00 AM "
        "Timer Started 01/02/26 09:00:00 AM Loose[LOOSE]@Computers 4 off"_s);
    row("nothing to show leaves the list", u"show root|show null|signals|list"_s,
        u"{shown rComputers} Labs[]@Computers 2 off / Empty[]@Computers 2 off / "
        "Loose[LOOSE]@Computers 4 off / Stray[STRAY]@Computers 4 off"_s);
    row("a row follows its node",
        u"show Labs|signals|address pc2 10.0.0.7|online pc2|signals|list|"
        "tag pc2 Internet OFF 01/02/26 11:00:00 AM|list|address pc2|offline pc2|tag pc2 |list|signals|"
        "online loose|signals|address pc1 10.0.0.8|refresh pc1|list|signals"_s,
        u"{shown g\u00c7LABS} {1} Front desk[PC-ONE]@Labs 4 off / "
        "Back office[PC-TWO]@Labs 5 on 10.0.0.7 Front desk[PC-ONE]@Labs 4 off / "
        "Back office[PC-TWO]@Labs 5 on 10.0.0.7 Internet OFF 01/02/26 11:00:00 AM Front desk[PC-ONE]@Labs 4 "
        "off / "
        "Back office[PC-TWO]@Labs 4 off {1,1} {} Front desk[PC-ONE]@Labs 4 on 10.0.0.8 / "
        "Back office[PC-TWO]@Labs 4 off {0}"_s);
    row("a removed node loses its row", u"show Labs|remove pc1|list|index pc2|online pc2|list|reset|list"_s,
        u"Back office[PC-TWO]@Labs 4 off 1 Back office[PC-TWO]@Labs 5 off (empty)"_s);
    // The first at once, the rest of the pass as one range.
    row("arrivals in the shown group", u"show Labs|signals|add Labs|signals|list"_s,
        u"{shown g\u00c7LABS} {+2-2,+3-4} Front desk[PC-ONE]@Labs 4 off / "
        "Back office[PC-TWO]@Labs 4 off / LAB-A[LAB-A]@Labs 4 off / LAB-B[LAB-B]@Labs 4 off / "
        "LAB-C[LAB-C]@Labs 4 off"_s);
    row("arrivals elsewhere", u"show Empty|signals|add Labs|list|signals"_s,
        u"{shown g\u00c7EMPTY} (empty) {}"_s);
    row("sorted once by a column, ascending whatever the order asked",
        u"show root|sort alias desc|list|index loose|sort system|list|online loose|list"_s,
        u"Empty[]@Computers 2 off / Labs[]@Computers 2 off / Loose[LOOSE]@Computers 4 off / "
        "Stray[STRAY]@Computers 4 off 3 Empty[]@Computers 2 off / Labs[]@Computers 2 off / "
        "Loose[LOOSE]@Computers 4 off / Stray[STRAY]@Computers 4 off Empty[]@Computers 2 off / "
        "Labs[]@Computers 2 off / Loose[LOOSE]@Computers 5 off / Stray[STRAY]@Computers 4 off"_s);
}

void TestSystemListModel::follow() {
    QFETCH(QString, steps);
    QFETCH(QString, log);
    Network net;
    QAbstractItemModelTester tester(&net.list, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QHash<QString, QString> addresses;
    net.list.setRemoteAddressLookup([&addresses](const QString& key) {
        return addresses.contains(key.toLower()) ? std::optional<QString>(addresses[key.toLower()])
                                                 : std::nullopt;
    });
    QSignalSpy changed(&net.list, &QAbstractItemModel::dataChanged);
    QSignalSpy inserted(&net.list, &QAbstractItemModel::rowsInserted);
    QSignalSpy shown(&net.list, &SystemListModel::nodeShown);
    const QHash<QString, QString> keys{{u"pc1"_s, net.pc1},
                                       {u"pc2"_s, net.pc2},
                                       {u"pc2-lower"_s, net.pc2.toLower()},
                                       {u"loose"_s, net.loose}};
    const auto node = [&](const QString& name) -> TreeNode* {
        if (name == u"root")
            return net.tree.root();
        return keys.contains(name) ? net.node(keys[name]) : net.group(name);
    };
    QStringList said;
    for (const QString& step : steps.split(u'|')) {
        const QString verb = step.section(u' ', 0, 0), rest = step.section(u' ', 1),
                      first = rest.section(u' ', 0, 0);
        if (verb == u"show")
            net.list.Show_Node_In_List(rest == u"null" ? nullptr : node(rest));
        else if (verb == u"address" && rest.contains(u' '))
            addresses[keys[first].toLower()] = rest.section(u' ', 1);
        else if (verb == u"address")
            addresses.remove(keys[rest].toLower());
        else if (verb == u"online" || verb == u"offline") {
            const NodeImage image = verb == u"online" ? NodeImage::SystemOnline : NodeImage::SystemOffline;
            net.tree.setImages(node(rest), image, image);
        } else if (verb == u"tag")
            net.tree.setTag(node(first), rest.section(u' ', 1));
        else if (verb == u"remove")
            net.tree.removeNode(node(rest));
        else if (verb == u"reset")
            net.tree.reset();
        else if (verb == u"add")
            for (const char* name : {"LAB-A", "LAB-B", "LAB-C"})
                net.tree.addNode(node(rest), Keys::Make_System_Key(u"L"_s, QString::fromLatin1(name)),
                                 QString::fromLatin1(name), NodeImage::SystemOffline,
                                 NodeImage::SystemOffline);
        else if (verb == u"refresh")
            net.list.refreshKey(keys[rest].toLower());
        else if (verb == u"sort")
            net.list.sort(first == u"alias" ? SystemListModel::Alias : SystemListModel::System,
                          rest.endsWith(u"desc") ? Qt::DescendingOrder : Qt::AscendingOrder);
        else if (verb == u"index")
            said << QString::number(net.list.Get_List_Index_From_Key(keys[rest]));
        else if (verb == u"tagrole")
            said << net.list.index(0, 0).data(TagRole).toString();
        else if (verb == u"list")
            said << rows(net.list);
        else if (verb == u"signals") {
            // Later changes of one pass arrive together, once control is back in the event loop.
            QCoreApplication::processEvents();
            QStringList rowsChanged;
            for (const QList<QVariant>& signal : std::as_const(changed))
                rowsChanged << QString::number(signal.at(0).toModelIndex().row());
            for (const QList<QVariant>& signal : std::as_const(inserted))
                rowsChanged << u"+%1-%2"_s.arg(signal.at(1).toInt()).arg(signal.at(2).toInt());
            for (const QList<QVariant>& signal : std::as_const(shown))
                rowsChanged << u"shown "_s + signal.at(0).toString();
            said << u'{' + rowsChanged.join(u',') + u'}';
            changed.clear();
            inserted.clear();
            shown.clear();
        }
    }
    QCOMPARE(said.join(u' '), log);
}

void TestSystemListModel::dragCarriesKeysInListOrder() {
    Network net;
    net.list.Show_Node_In_List(net.tree.root());
    // Groups take drops, systems are dragged, nothing is edited in place.
    QCOMPARE(net.list.flags(net.list.index(0, 0)) & (Qt::ItemIsDropEnabled | Qt::ItemIsDragEnabled),
             Qt::ItemIsDropEnabled);
    QCOMPARE(net.list.flags(net.list.index(2, 1)) & (Qt::ItemIsDragEnabled | Qt::ItemIsEditable),
             Qt::ItemIsDragEnabled);
    std::unique_ptr<QMimeData> data(
        net.list.mimeData({net.list.index(3, 0), net.list.index(2, 1), net.list.index(2, 0)}));
    QSignalSpy dropped(&net.list, &SystemListModel::keysDropped);
    QVERIFY(!net.list.dropMimeData(data.get(), Qt::MoveAction, -1, -1, net.list.index(1, 0)));
    QCOMPARE(dropped.count(), 1);
    QCOMPARE(dropped.front().at(0).toStringList(), (QStringList{net.loose, net.rowKey(3)}));
    QCOMPARE(dropped.front().at(1).toString(), Keys::Make_Group_Key(QStringLiteral("Empty")));
    QVERIFY(!net.list.dropMimeData(data.get(), Qt::MoveAction, -1, -1, QModelIndex()));
    QCOMPARE(dropped.count(), 1);
}

QTEST_GUILESS_MAIN(TestSystemListModel)
#include "tst_systemlistmodel.moc"
