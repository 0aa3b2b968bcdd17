#include "Control.h"
#include "RecordingPrompt.h"
#include "TempDatabase.h"
#include "core/console/Keys.h"
#include "gui/dialogs/ProgramCatalogueDialog.h"
#include "gui/dialogs/UrlCatalogueDialog.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTest>
#include <QTreeWidget>

using namespace kestrava;

namespace {

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
    void urlAddedNormalisedOrRefused();
    void escapeAfterDeletingSendsEveryList();
    void helpOpensTip();
};

void TestCatalogueDialogs::urlAddedNormalisedOrRefused() {
    Fixture<UrlCatalogueDialog> f;
    f.open();
    f.type("txtURL", QStringLiteral("  WWW.Example.COM "));
    QCOMPARE(items(control<QTreeWidget>(f.dialog.get(), "lvwURL")),
             QStringList{QStringLiteral("www.example.com")});
    QCOMPARE(f.temp.db().scalar(QStringLiteral("SELECT URL FROM DNS_Lookup_Table")).toString(),
             QStringLiteral("www.example.com"));
    f.type("txtURL", QStringLiteral("Www.example.com"));
    QCOMPARE(f.prompt.texts(RecordingPrompt::Kind::Inform),
             QStringList{QStringLiteral("URL already added!")});
    QCOMPARE(storedCount(f.temp.db(), "DNS_Lookup_Table"), 1);
    auto* entry = control<QLineEdit>(f.dialog.get(), "txtURL");
    QCOMPARE(entry->selectedText(), QStringLiteral("Www.example.com"));
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
    QCOMPARE(storedCount(f.temp.db(), "Program_Table"), 0);
    QTest::keyClick(list, Qt::Key_Escape);
    QVERIFY(!f.dialog->isVisible());
    QCOMPARE(f.sentKeys, QStringList{Keys::rootKey()});
}

void TestCatalogueDialogs::helpOpensTip() {
    Fixture<ProgramCatalogueDialog> f;
    f.open();
    auto* help = control<QLabel>(f.dialog.get(), "lblHelp");
    // Link colour while enabled, grey once disabled.
    QVERIFY(help->palette().color(QPalette::Active, QPalette::WindowText) !=
            help->palette().color(QPalette::Disabled, QPalette::WindowText));
    QTest::mouseClick(help, Qt::LeftButton);
    auto* tip = f.dialog->findChild<QDialog*>(QStringLiteral("frmTip"));
    QVERIFY(tip && tip->isVisible() && tip->isModal());
    QCOMPARE(help->palette().color(QPalette::WindowText),
             help->palette().color(QPalette::Disabled, QPalette::WindowText));
    QTest::mouseClick(tip->findChild<QPushButton*>(QStringLiteral("cmdOK")), Qt::LeftButton);
    QTRY_VERIFY(!f.dialog->findChild<QDialog*>(QStringLiteral("frmTip")));
}

QTEST_MAIN(TestCatalogueDialogs)
#include "tst_cataloguedialogs.moc"
