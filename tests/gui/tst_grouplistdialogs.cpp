#include "BlockListDialog.h"
#include "RecordingPrompt.h"
#include "TempDatabase.h"
#include "WhiteListDialog.h"
#include "console/Keys.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

using namespace kestrava;

namespace {

template <typename T> T* control(QWidget* window, const char* name) {
    T* found = window->findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

// One entry of a control array: the controls share the name and differ in their index.
QListWidget* listAt(QWidget* window, const char* name, int index) {
    for (QListWidget* list : window->findChildren<QListWidget*>(QLatin1String(name))) {
        if (list->property("index").toInt() == index)
            return list;
    }
    qFatal("no list %s(%d)", name, index);
}

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
    QListWidget* available() { return listAt(dialog.get(), "lstURLs", 0); }
    QListWidget* listed() { return listAt(dialog.get(), "lstURLs", 1); }
    QString count() { return control<QLabel>(dialog.get(), "lblNoWhiteList")->text(); }
    int stored() { return temp.db().scalar(QStringLiteral("SELECT count(*) FROM Group_URL_Table")).toInt(); }
};

} // namespace

class TestGroupListDialogs : public QObject {
    Q_OBJECT
private slots:
    void whiteListWindow();
    void moveButtons();
    void keysAndDoubleClicks();
    void limitWith99AndThreeSelected();
    void closeAfterMoveSendsGroup();
    void closeWithoutMoveSendsNothing();
    void systemSelectionEditsNothing();
    void blockListWindow();
};

void TestGroupListDialogs::whiteListWindow() {
    WhiteFixture f(2, 3);
    QCOMPARE(f.dialog->objectName(), QStringLiteral("frmAllowedUrls"));
    QCOMPARE(f.dialog->windowTitle(), QStringLiteral("White List - Kestrava"));
    QCOMPARE(control<QLineEdit>(f.dialog.get(), "txtGroupName")->text(), QStringLiteral("Lab"));
    QVERIFY(control<QLineEdit>(f.dialog.get(), "txtGroupName")->isReadOnly());
    QVERIFY(!control<QLineEdit>(f.dialog.get(), "txtSystemName")->isVisible());
    QVERIFY(!control<QLabel>(f.dialog.get(), "lblSystem")->isVisible());
    QCOMPARE(control<QLabel>(f.dialog.get(), "lblGroup")->text(), QStringLiteral("Group"));
    QCOMPARE(control<QGroupBox>(f.dialog.get(), "fraURLs")->title(), QStringLiteral("Set the White List"));
    QCOMPARE(control<QLabel>(f.dialog.get(), "lblURLList")->text(), QStringLiteral("URL List"));
    QCOMPARE(control<QLabel>(f.dialog.get(), "lblAllowedURLs")->text(), QStringLiteral("White List"));
    QCOMPARE(control<QPushButton>(f.dialog.get(), "cmdMoveTo")->text(), QStringLiteral(">>"));
    QCOMPARE(control<QPushButton>(f.dialog.get(), "cmdMoveBack")->text(), QStringLiteral("<<"));
    QCOMPARE(control<QPushButton>(f.dialog.get(), "cmdClose")->text(), QStringLiteral("&Close"));
    QCOMPARE(texts(f.available()), (QStringList{url(2), url(3), url(4)}));
    QCOMPARE(texts(f.listed()), (QStringList{url(0), url(1)}));
    QCOMPARE(f.count(), QStringLiteral("2"));
}

void TestGroupListDialogs::moveButtons() {
    WhiteFixture f(0, 3);
    f.available()->item(0)->setSelected(true);
    f.available()->item(2)->setSelected(true);
    QTest::mouseClick(control<QPushButton>(f.dialog.get(), "cmdMoveTo"), Qt::LeftButton);
    QCOMPARE(texts(f.available()), QStringList{url(1)});
    QCOMPARE(texts(f.listed()), (QStringList{url(2), url(0)}));
    QCOMPARE(f.count(), QStringLiteral("2"));
    QCOMPARE(f.stored(), 2);

    f.listed()->item(1)->setSelected(true);
    QTest::mouseClick(control<QPushButton>(f.dialog.get(), "cmdMoveBack"), Qt::LeftButton);
    QCOMPARE(texts(f.listed()), QStringList{url(2)});
    QCOMPARE(texts(f.available()), (QStringList{url(1), url(0)}));
    QCOMPARE(f.count(), QStringLiteral("1"));
    QCOMPARE(f.stored(), 1);
    QVERIFY(f.prompt.entries.isEmpty());
}

void TestGroupListDialogs::keysAndDoubleClicks() {
    WhiteFixture f(0, 4);
    QListWidget* available = f.available();
    QListWidget* listed = f.listed();

    available->setFocus();
    available->setCurrentRow(0);
    QTest::keyClick(available, Qt::Key_Insert);
    QCOMPARE(listed->count(), 1);
    available->setCurrentRow(0);
    QTest::keyClick(available, Qt::Key_Return);
    QCOMPARE(listed->count(), 2);
    QVERIFY(f.dialog->isVisible());
    const QRect first = available->visualItemRect(available->item(0));
    doubleClick(available, first.center());
    QCOMPARE(listed->count(), 3);

    listed->setFocus();
    listed->setCurrentRow(0);
    QTest::keyClick(listed, Qt::Key_Delete);
    QCOMPARE(listed->count(), 2);
    const QRect top = listed->visualItemRect(listed->item(0));
    doubleClick(listed, top.center());
    QCOMPARE(listed->count(), 1);
    QCOMPARE(available->count(), 3);
    QCOMPARE(f.count(), QStringLiteral("1"));
    QCOMPARE(f.stored(), 1);
}

void TestGroupListDialogs::limitWith99AndThreeSelected() {
    WhiteFixture f(99, 4);
    for (int row : {0, 2, 3})
        f.available()->item(row)->setSelected(true);
    QTest::mouseClick(control<QPushButton>(f.dialog.get(), "cmdMoveTo"), Qt::LeftButton);
    QCOMPARE(f.prompt.texts(RecordingPrompt::Kind::Inform),
             QStringList{QStringLiteral("Cannot add anymore urls.\r\nMaximum allowed urls is 100.")});
    // The last selected entry moved before the limit and stays moved.
    QCOMPARE(f.listed()->count(), 100);
    QCOMPARE(f.listed()->item(99)->text(), url(99 + 3));
    QCOMPARE(texts(f.available()), (QStringList{url(99), url(100), url(101)}));
    QCOMPARE(f.count(), QStringLiteral("100"));
    QCOMPARE(f.stored(), 100);
    QTest::keyClick(f.dialog.get(), Qt::Key_Escape);
    QCOMPARE(f.sentKeys, QStringList{Keys::Make_Group_Key(QStringLiteral("Lab"))});
}

void TestGroupListDialogs::closeAfterMoveSendsGroup() {
    WhiteFixture f(1, 0);
    f.listed()->item(0)->setSelected(true);
    QTest::mouseClick(control<QPushButton>(f.dialog.get(), "cmdMoveBack"), Qt::LeftButton);
    QTest::mouseClick(control<QPushButton>(f.dialog.get(), "cmdClose"), Qt::LeftButton);
    QVERIFY(!f.dialog->isVisible());
    QCOMPARE(f.sentKeys, QStringList{Keys::Make_Group_Key(QStringLiteral("Lab"))});
}

void TestGroupListDialogs::closeWithoutMoveSendsNothing() {
    WhiteFixture f(1, 1);
    QTest::keyClick(f.available(), Qt::Key_Escape);
    QVERIFY(!f.dialog->isVisible());
    QVERIFY(f.sentKeys.isEmpty());
}

void TestGroupListDialogs::systemSelectionEditsNothing() {
    WhiteFixture f(1, 1, Keys::Make_System_Key(QStringLiteral("id"), QStringLiteral("PC1")));
    QVERIFY(f.available()->count() == 0);
    QVERIFY(f.listed()->count() == 0);
    QVERIFY(control<QLabel>(f.dialog.get(), "lblSystem")->isVisible());
    QVERIFY(control<QLineEdit>(f.dialog.get(), "txtGroupName")->text().isEmpty());
    QTest::mouseClick(control<QPushButton>(f.dialog.get(), "cmdMoveTo"), Qt::LeftButton);
    f.dialog->close();
    QVERIFY(f.sentKeys.isEmpty());
}

void TestGroupListDialogs::blockListWindow() {
    TempDatabase temp;
    RecordingPrompt prompt;
    QStringList sentKeys;
    temp.db().exec(QStringLiteral("INSERT INTO Group_Table(Group_Key, Group_Name) VALUES(?,?)"),
                   {Keys::Make_Group_Key(QStringLiteral("Office")), QStringLiteral("Office")});
    temp.db().exec(QStringLiteral("INSERT INTO Program_Table(Program) VALUES('CALC.EXE'),('Word.exe')"));
    BlockListDialog dialog(
        temp.db(), prompt, [&](const QString& key) { sentKeys.append(key); },
        Keys::Make_Group_Key(QStringLiteral("Office")), QStringLiteral("Office"), nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.objectName(), QStringLiteral("frmBlockedPrograms"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Program List - Kestrava"));
    QCOMPARE(control<QGroupBox>(&dialog, "fraTitles")->title(),
             QStringLiteral("Set The Programs To Be Blocked"));
    QCOMPARE(control<QLabel>(&dialog, "lblProgramList")->text(), QStringLiteral("Exe List"));
    QCOMPARE(control<QLabel>(&dialog, "lblAllowedPrograms")->text(), QStringLiteral("Blocked Exes"));
    QListWidget* available = listAt(&dialog, "lstPrograms", 0);
    QListWidget* listed = listAt(&dialog, "lstPrograms", 1);
    QCOMPARE(texts(available), (QStringList{QStringLiteral("CALC.EXE"), QStringLiteral("Word.exe")}));
    QCOMPARE(control<QLabel>(&dialog, "lblNoOfBlockedPrograms")->text(), QStringLiteral("0"));
    available->item(0)->setSelected(true);
    QTest::mouseClick(control<QPushButton>(&dialog, "cmdMoveTo"), Qt::LeftButton);
    QCOMPARE(texts(listed), QStringList{QStringLiteral("CALC.EXE")});
    QCOMPARE(control<QLabel>(&dialog, "lblNoOfBlockedPrograms")->text(), QStringLiteral("1"));
    dialog.close();
    QCOMPARE(sentKeys, QStringList{Keys::Make_Group_Key(QStringLiteral("Office"))});
}

QTEST_MAIN(TestGroupListDialogs)
#include "tst_grouplistdialogs.moc"
