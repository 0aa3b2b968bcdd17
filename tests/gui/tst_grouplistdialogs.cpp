#include "Control.h"
#include "RecordingPrompt.h"
#include "TempDatabase.h"
#include "core/console/Keys.h"
#include "gui/dialogs/BlockListDialog.h"
#include "gui/dialogs/WhiteListDialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

using namespace kestrava;

namespace {

QStringList texts(QListWidget* list) {
    QStringList found;
    for (int i = 0; i < list->count(); ++i)
        found.append(list->item(i)->text());
    return found;
}

// A press, then the double click as the platform delivers it after a first click.
void doubleClick(QListWidget* list, QPoint at) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

QString url(int i) {
    return QStringLiteral("site%1.com").arg(i, 3, 10, QLatin1Char('0'));
}

// A group "Lab" with listed URLs on its white list and more URLs in the catalogue only.
struct WhiteFixture {
    TempDatabase temp;
    RecordingPrompt prompt;
    QStringList sentKeys;
    std::unique_ptr<WhiteListDialog> dialog;

    WhiteFixture(int listed, int more, const QString& key = Keys::Make_Group_Key(QStringLiteral("Lab"))) {
        Database& db = temp.db();
        db.exec(QStringLiteral("INSERT INTO Group_Table(Group_Key, Group_Name) VALUES(?,?)"),
                {Keys::Make_Group_Key(QStringLiteral("Lab")), QStringLiteral("Lab")});
        db.transaction([&] {
            for (int i = 0; i < listed + more; ++i) {
                db.exec(QStringLiteral("INSERT INTO DNS_Lookup_Table(URL) VALUES(?)"), {url(i)});
                if (i < listed)
                    db.exec(QStringLiteral("INSERT INTO Group_URL_Table(Group_ID,URL_ID) "
                                           "SELECT Group_ID, last_insert_rowid() FROM Group_Table"));
            }
        });
        dialog = std::make_unique<WhiteListDialog>(
            db, prompt, [this](const QString& sent) { sentKeys.append(sent); }, key, QStringLiteral("Lab"),
            nullptr);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    }
    QListWidget* available() { return control<QListWidget>(dialog.get(), "lstURLs", 0); }
    QListWidget* listed() { return control<QListWidget>(dialog.get(), "lstURLs", 1); }
    QString count() { return control<QLabel>(dialog.get(), "lblNoWhiteList")->text(); }
    int stored() { return temp.db().scalar(QStringLiteral("SELECT count(*) FROM Group_URL_Table")).toInt(); }
};

} // namespace

class TestGroupListDialogs : public QObject {
    Q_OBJECT
private slots:
    void whiteListMovesStoreAndSendOnClose();
    void keysAndDoubleClicksMove();
};

void TestGroupListDialogs::whiteListMovesStoreAndSendOnClose() {
    WhiteFixture f(2, 3);
    QCOMPARE(control<QLineEdit>(f.dialog.get(), "txtGroupName")->text(), QStringLiteral("Lab"));
    QCOMPARE(texts(f.available()), (QStringList{url(2), url(3), url(4)}));
    QCOMPARE(texts(f.listed()), (QStringList{url(0), url(1)}));
    f.available()->item(0)->setSelected(true);
    QTest::mouseClick(control<QPushButton>(f.dialog.get(), "cmdMoveTo"), Qt::LeftButton);
    QCOMPARE(f.count(), QStringLiteral("3"));
    QCOMPARE(f.stored(), 3);
    f.listed()->item(0)->setSelected(true);
    QTest::mouseClick(control<QPushButton>(f.dialog.get(), "cmdMoveBack"), Qt::LeftButton);
    QCOMPARE(f.stored(), 2);
    QTest::mouseClick(control<QPushButton>(f.dialog.get(), "cmdClose"), Qt::LeftButton);
    QVERIFY(!f.dialog->isVisible());
    QCOMPARE(f.sentKeys, QStringList{Keys::Make_Group_Key(QStringLiteral("Lab"))});
}

void TestGroupListDialogs::keysAndDoubleClicksMove() {
    WhiteFixture f(0, 4);
    QListWidget* available = f.available();
    QListWidget* listed = f.listed();
    available->setFocus();
    available->setCurrentRow(0);
    QTest::keyClick(available, Qt::Key_Insert);
    doubleClick(available, available->visualItemRect(available->item(0)).center());
    QCOMPARE(listed->count(), 2);
    listed->setFocus();
    listed->setCurrentRow(0);
    QTest::keyClick(listed, Qt::Key_Delete);
    QCOMPARE(listed->count(), 1);
    QCOMPARE(f.stored(), 1);
}

QTEST_MAIN(TestGroupListDialogs)
#include "tst_grouplistdialogs.moc"
