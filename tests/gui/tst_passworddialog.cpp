#include "PasswordDialog.h"
#include "RecordingPrompt.h"
#include "TempDatabase.h"

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace kestrava;

namespace {
const QString kWrong = QStringLiteral("Incorrect password, try again..!");
}

class TestPasswordDialog : public QObject {
    Q_OBJECT
private slots:
    void wrongTriesCount_data();
    void wrongTriesCount();
    void rightPasswordAccepts();
    void escapeCloses();
};

void TestPasswordDialog::wrongTriesCount_data() {
    QTest::addColumn<int>("tries");
    QTest::addColumn<bool>("stillOpen");
    QTest::newRow("one") << 1 << true;
    QTest::newRow("two") << 2 << true;
    QTest::newRow("three closes") << 3 << false;
}

void TestPasswordDialog::wrongTriesCount() {
    QFETCH(int, tries);
    QFETCH(bool, stillOpen);
    TempDatabase temp;
    RecordingPrompt prompt;
    QPointer<PasswordDialog> dialog = new PasswordDialog(temp.db(), prompt, nullptr);
    QSignalSpy accepted(dialog.data(), &PasswordDialog::passwordAccepted);
    dialog->show();
    for (int i = 0; i < tries; ++i) {
        dialog->txtPassword().setText(QStringLiteral("chief"));
        QTest::mouseClick(&dialog->cmdOkay(), Qt::LeftButton);
    }
    QCOMPARE(prompt.texts(RecordingPrompt::Kind::Warn), QStringList(tries, kWrong));
    QCOMPARE(accepted.count(), 0);
    if (stillOpen) {
        QVERIFY(dialog->isVisible());
        QCOMPARE(int(dialog->failedTries()), tries);
        QCOMPARE(dialog->txtPassword().selectedText(), QStringLiteral("chief"));
        delete dialog.data();
    } else {
        QTRY_VERIFY(dialog.isNull());
    }
}

void TestPasswordDialog::rightPasswordAccepts() {
    TempDatabase temp;
    RecordingPrompt prompt;
    QPointer<PasswordDialog> dialog = new PasswordDialog(temp.db(), prompt, nullptr);
    QSignalSpy accepted(dialog.data(), &PasswordDialog::passwordAccepted);
    dialog->show();
    dialog->txtPassword().setText(QStringLiteral("wrong"));
    QTest::mouseClick(&dialog->cmdOkay(), Qt::LeftButton);
    dialog->txtPassword().setText(QStringLiteral("Chief"));
    QTest::mouseClick(&dialog->cmdOkay(), Qt::LeftButton);
    QCOMPARE(accepted.count(), 1);
    QCOMPARE(prompt.texts(RecordingPrompt::Kind::Warn).size(), 1);
    QTRY_VERIFY(dialog.isNull());
}

void TestPasswordDialog::escapeCloses() {
    TempDatabase temp;
    RecordingPrompt prompt;
    QPointer<PasswordDialog> dialog = new PasswordDialog(temp.db(), prompt, nullptr);
    dialog->show();
    QTest::keyClick(&dialog->txtPassword(), Qt::Key_Escape);
    QTRY_VERIFY(dialog.isNull());
    QVERIFY(prompt.entries.isEmpty());
}

QTEST_MAIN(TestPasswordDialog)
#include "tst_passworddialog.moc"
