#include "ProgramCatalogueDialog.h"
#include "RecordingPrompt.h"
#include "TempDatabase.h"
#include "UrlCatalogueDialog.h"
#include "console/Keys.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTest>
#include <QTreeWidget>

using namespace kestrava;

namespace {

template <typename T> T* control(QWidget* window, const char* name) {
    T* found = window->findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

QStringList items(QTreeWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        texts.append(list->topLevelItem(i)->text(0));
    return texts;
}

int storedCount(Database& db, const char* table) {
    return db.scalar(QStringLiteral("SELECT count(*) FROM %1").arg(QLatin1String(table))).toInt();
}

// A catalogue window over a fresh database, shown, with what it asked and sent.
template <typename Dialog> struct Fixture {
    TempDatabase temp;
    RecordingPrompt prompt;
    QStringList sentKeys;
    std::unique_ptr<Dialog> dialog;

    void open() {
        dialog = std::make_unique<Dialog>(
            temp.db(), prompt, [this](const QString& key) { sentKeys.append(key); }, nullptr);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    }
    void type(const char* entry, const QString& text) {
        auto* box = control<QLineEdit>(dialog.get(), entry);
        box->setText(text);
        QTest::mouseClick(control<QPushButton>(dialog.get(), "cmdAdd"), Qt::LeftButton);
    }
};

} // namespace

class TestCatalogueDialogs : public QObject {
    Q_OBJECT
private slots:
    void urlWindowControls();
    void urlAddedNormalised();
    void urlRefusals_data();
    void urlRefusals();
    void enterInEntryAdds();
    void emptyEntryDoesNothing();
    void deleteAsksWithNoDefault();
    void deleteKeyInList();
    void clickCopiesIntoEntry();
    void pressOnEmptyAreaClearsSelection();
    void columnWidthRule();
    void closeAfterAddingSendsNothing();
    void escapeAfterDeletingSendsEveryList();
    void programWindowKeepsCase();
    void programDuplicateIgnoresCaseAndBlanks();
    void helpOpensTip();
};

void TestCatalogueDialogs::urlWindowControls() {
    Fixture<UrlCatalogueDialog> f;
    f.open();
    QCOMPARE(f.dialog->objectName(), QStringLiteral("frmUrl"));
    QCOMPARE(f.dialog->windowTitle(), QStringLiteral("Add Urls - Kestrava"));
    QCOMPARE(control<QLineEdit>(f.dialog.get(), "txtURL")->maxLength(), 50);
    QCOMPARE(control<QPushButton>(f.dialog.get(), "cmdAdd")->text(), QStringLiteral("&Add"));
    QCOMPARE(control<QPushButton>(f.dialog.get(), "cmdDelete")->text(), QStringLiteral("&Delete"));
    QCOMPARE(control<QPushButton>(f.dialog.get(), "cmdClose")->text(), QStringLiteral("&Close"));
    QCOMPARE(control<QLabel>(f.dialog.get(), "lblUrlList")->text(), QStringLiteral("URL List"));
    QVERIFY(control<QLabel>(f.dialog.get(), "lblURL")
                ->text()
                .startsWith(QStringLiteral("Add URL or IP Address (")));
    auto* list = control<QTreeWidget>(f.dialog.get(), "lvwURL");
    QCOMPARE(list->headerItem()->text(0), QStringLiteral("URL List"));
    QCOMPARE(list->selectionMode(), QAbstractItemView::ExtendedSelection);
}

void TestCatalogueDialogs::urlAddedNormalised() {
    Fixture<UrlCatalogueDialog> f;
    f.open();
    f.type("txtURL", QStringLiteral("  WWW.Example.COM "));
    QCOMPARE(items(control<QTreeWidget>(f.dialog.get(), "lvwURL")),
             QStringList{QStringLiteral("www.example.com")});
    QVERIFY(control<QLineEdit>(f.dialog.get(), "txtURL")->text().isEmpty());
    QCOMPARE(f.temp.db().scalar(QStringLiteral("SELECT URL FROM DNS_Lookup_Table")).toString(),
             QStringLiteral("www.example.com"));
    QVERIFY(f.prompt.entries.isEmpty());
}

void TestCatalogueDialogs::urlRefusals_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::newRow("http") << QStringLiteral("HTTP://a.com")
                          << QStringLiteral(
                                 "Invalid URL! Please enter your URL without 'http://' as this part of "
                                 "the address is not needed.");
    QTest::newRow("short") << QStringLiteral("ab") << QStringLiteral("Invalid URL!");
    QTest::newRow("duplicate") << QStringLiteral("Kept.COM") << QStringLiteral("URL already added!");
}

void TestCatalogueDialogs::urlRefusals() {
    QFETCH(QString, typed);
    QFETCH(QString, message);
    Fixture<UrlCatalogueDialog> f;
    f.temp.db().exec(QStringLiteral("INSERT INTO DNS_Lookup_Table(URL) VALUES('kept.com')"));
    f.open();
    f.type("txtURL", typed);
    QCOMPARE(f.prompt.texts(RecordingPrompt::Kind::Inform), QStringList{message});
    QCOMPARE(storedCount(f.temp.db(), "DNS_Lookup_Table"), 1);
    // The refused text stays, selected, for correcting.
    auto* entry = control<QLineEdit>(f.dialog.get(), "txtURL");
    QCOMPARE(entry->text(), typed);
    QCOMPARE(entry->selectedText(), typed);
}

void TestCatalogueDialogs::enterInEntryAdds() {
    Fixture<UrlCatalogueDialog> f;
    f.open();
    auto* entry = control<QLineEdit>(f.dialog.get(), "txtURL");
    entry->setFocus();
    QTest::keyClicks(entry, QStringLiteral("abc.org"));
    QTest::keyClick(entry, Qt::Key_Return);
    QCOMPARE(items(control<QTreeWidget>(f.dialog.get(), "lvwURL")), QStringList{QStringLiteral("abc.org")});
    QVERIFY(f.dialog->isVisible());
}

void TestCatalogueDialogs::emptyEntryDoesNothing() {
    Fixture<UrlCatalogueDialog> f;
    f.open();
    f.type("txtURL", QString());
    QVERIFY(f.prompt.entries.isEmpty());
    QCOMPARE(storedCount(f.temp.db(), "DNS_Lookup_Table"), 0);
}

void TestCatalogueDialogs::deleteAsksWithNoDefault() {
    Fixture<UrlCatalogueDialog> f;
    f.temp.db().exec(QStringLiteral("INSERT INTO DNS_Lookup_Table(URL) VALUES('a.com'),('b.com'),('c.com')"));
    f.open();
    auto* list = control<QTreeWidget>(f.dialog.get(), "lvwURL");
    list->topLevelItem(0)->setSelected(true);
    list->topLevelItem(2)->setSelected(true);
    f.prompt.answer = Prompt::Answer::No;
    QTest::mouseClick(control<QPushButton>(f.dialog.get(), "cmdDelete"), Qt::LeftButton);
    QCOMPARE(f.prompt.entries.size(), 1);
    QCOMPARE(f.prompt.entries.first().text,
             QStringLiteral("Are you sure you want to Delete all the selected URLs?"));
    QCOMPARE(f.prompt.entries.first().defaultAnswer, Prompt::Answer::No);
    QCOMPARE(list->topLevelItemCount(), 3);

    f.prompt.answer = Prompt::Answer::Yes;
    QTest::mouseClick(control<QPushButton>(f.dialog.get(), "cmdDelete"), Qt::LeftButton);
    QCOMPARE(items(list), QStringList{QStringLiteral("b.com")});
    QCOMPARE(storedCount(f.temp.db(), "DNS_Lookup_Table"), 1);
    QVERIFY(control<QLineEdit>(f.dialog.get(), "txtURL")->hasFocus());
}

void TestCatalogueDialogs::deleteKeyInList() {
    Fixture<UrlCatalogueDialog> f;
    f.temp.db().exec(QStringLiteral("INSERT INTO DNS_Lookup_Table(URL) VALUES('a.com')"));
    f.open();
    auto* list = control<QTreeWidget>(f.dialog.get(), "lvwURL");
    list->setFocus();
    list->topLevelItem(0)->setSelected(true);
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(f.prompt.texts(RecordingPrompt::Kind::Ask).size(), 1);
    QCOMPARE(list->topLevelItemCount(), 0);
}

void TestCatalogueDialogs::clickCopiesIntoEntry() {
    Fixture<UrlCatalogueDialog> f;
    f.temp.db().exec(QStringLiteral("INSERT INTO DNS_Lookup_Table(URL) VALUES('a.com'),('b.com')"));
    f.open();
    auto* list = control<QTreeWidget>(f.dialog.get(), "lvwURL");
    const QRect second = list->visualItemRect(list->topLevelItem(1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
    QCOMPARE(control<QLineEdit>(f.dialog.get(), "txtURL")->text(), QStringLiteral("b.com"));
}

void TestCatalogueDialogs::pressOnEmptyAreaClearsSelection() {
    Fixture<UrlCatalogueDialog> f;
    f.temp.db().exec(QStringLiteral("INSERT INTO DNS_Lookup_Table(URL) VALUES('a.com')"));
    f.open();
    auto* list = control<QTreeWidget>(f.dialog.get(), "lvwURL");
    list->topLevelItem(0)->setSelected(true);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(10, list->viewport()->height() - 5));
    QVERIFY(list->selectedItems().isEmpty());
}

void TestCatalogueDialogs::columnWidthRule() {
    Fixture<UrlCatalogueDialog> f;
    for (int i = 0; i < 16; ++i)
        f.temp.db().exec(QStringLiteral("INSERT INTO DNS_Lookup_Table(URL) VALUES(?)"),
                         {QStringLiteral("site%1.com").arg(i)});
    f.open();
    auto* list = control<QTreeWidget>(f.dialog.get(), "lvwURL");
    QCOMPARE(list->columnWidth(0), list->width() - 2 * list->frameWidth());
    f.type("txtURL", QStringLiteral("seventeen.com"));
    const int wide = 4300 * list->logicalDpiX() / 1440;
    QCOMPARE(list->columnWidth(0), wide);
    QVERIFY(wide < list->width() - 2 * list->frameWidth());
    list->topLevelItem(0)->setSelected(true);
    QTest::mouseClick(control<QPushButton>(f.dialog.get(), "cmdDelete"), Qt::LeftButton);
    QCOMPARE(list->columnWidth(0), list->width() - 2 * list->frameWidth());
}

void TestCatalogueDialogs::closeAfterAddingSendsNothing() {
    Fixture<UrlCatalogueDialog> f;
    f.open();
    f.type("txtURL", QStringLiteral("new.com"));
    QTest::mouseClick(control<QPushButton>(f.dialog.get(), "cmdClose"), Qt::LeftButton);
    QVERIFY(!f.dialog->isVisible());
    QVERIFY(f.sentKeys.isEmpty());
}

void TestCatalogueDialogs::escapeAfterDeletingSendsEveryList() {
    Fixture<ProgramCatalogueDialog> f;
    f.temp.db().exec(QStringLiteral("INSERT INTO Program_Table(Program) VALUES('a.exe')"));
    f.open();
    auto* list = control<QTreeWidget>(f.dialog.get(), "lvwPrograms");
    list->topLevelItem(0)->setSelected(true);
    QTest::mouseClick(control<QPushButton>(f.dialog.get(), "cmdDelete"), Qt::LeftButton);
    QCOMPARE(f.prompt.texts(RecordingPrompt::Kind::Ask),
             QStringList{QStringLiteral("Are you sure you want to Delete all the selected Programs?")});
    QTest::keyClick(list, Qt::Key_Escape);
    QVERIFY(!f.dialog->isVisible());
    QCOMPARE(f.sentKeys, QStringList{Keys::rootKey()});
}

void TestCatalogueDialogs::programWindowKeepsCase() {
    Fixture<ProgramCatalogueDialog> f;
    f.open();
    QCOMPARE(f.dialog->objectName(), QStringLiteral("frmPrograms"));
    QCOMPARE(f.dialog->windowTitle(), QStringLiteral("Add Program Names - Kestrava"));
    QCOMPARE(control<QLineEdit>(f.dialog.get(), "txtProgram")->maxLength(), 30);
    QCOMPARE(control<QLabel>(f.dialog.get(), "lblProgramNames")->text(),
             QStringLiteral("Add Original Filename of Executable (eg:- calc.exe)"));
    QCOMPARE(control<QLabel>(f.dialog.get(), "lblProgramList")->text(),
             QStringLiteral("Program Executables List"));
    QCOMPARE(control<QTreeWidget>(f.dialog.get(), "lvwPrograms")->headerItem()->text(0),
             QStringLiteral("Programs"));
    f.type("txtProgram", QStringLiteral(" CALC.EXE"));
    f.type("txtProgram", QStringLiteral("o'k.exe"));
    QCOMPARE(items(control<QTreeWidget>(f.dialog.get(), "lvwPrograms")),
             QStringList{QStringLiteral(" CALC.EXE")});
    QCOMPARE(f.prompt.texts(RecordingPrompt::Kind::Inform),
             QStringList{QStringLiteral("Not a valid Program!")});
}

void TestCatalogueDialogs::programDuplicateIgnoresCaseAndBlanks() {
    Fixture<ProgramCatalogueDialog> f;
    f.temp.db().exec(QStringLiteral("INSERT INTO Program_Table(Program) VALUES('Calc.exe')"));
    f.open();
    f.type("txtProgram", QStringLiteral("  calc.EXE "));
    QCOMPARE(f.prompt.texts(RecordingPrompt::Kind::Inform),
             QStringList{QStringLiteral("Program already added!")});
    QCOMPARE(storedCount(f.temp.db(), "Program_Table"), 1);
}

void TestCatalogueDialogs::helpOpensTip() {
    Fixture<ProgramCatalogueDialog> f;
    f.open();
    auto* help = control<QLabel>(f.dialog.get(), "lblHelp");
    QCOMPARE(help->text(), QStringLiteral("Help"));
    QCOMPARE(help->toolTip(), QStringLiteral("Click here to get help."));
    QTest::mouseClick(help, Qt::LeftButton);
    auto* tip = f.dialog->findChild<QDialog*>(QStringLiteral("frmTip"));
    QVERIFY(tip);
    QVERIFY(tip->isVisible());
    QVERIFY(tip->isModal());
    QCOMPARE(tip->windowTitle(), QStringLiteral("Locate Original Filename"));
    QVERIFY(tip->findChild<QLabel*>(QStringLiteral("lblTip"))
                ->text()
                .contains(QStringLiteral("select Properties.  Select the Version tab")));
    QCOMPARE(help->palette().color(QPalette::WindowText),
             help->palette().color(QPalette::Disabled, QPalette::WindowText));
    QTest::mouseClick(tip->findChild<QPushButton*>(QStringLiteral("cmdOK")), Qt::LeftButton);
    QTRY_VERIFY(!f.dialog->findChild<QDialog*>(QStringLiteral("frmTip")));
}

QTEST_MAIN(TestCatalogueDialogs)
#include "tst_cataloguedialogs.moc"
