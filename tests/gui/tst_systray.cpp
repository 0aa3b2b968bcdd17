#include "gui/shell/clsSysTray.h"

#include <QSignalSpy>
#include <QTest>

using namespace kestrava;

class TestSysTray : public QObject {
    Q_OBJECT
private slots:
    void iconComesWithALateNotificationArea();
};

void TestSysTray::iconComesWithALateNotificationArea() {
    bool available = false;
    clsSysTray tray(
        nullptr, [&available] { return available; }, std::chrono::milliseconds(10));
    QSignalSpy late(&tray, &clsSysTray::iconAddedLate);
    QVERIFY(!tray.AddIcon());
    available = true;
    QVERIFY(late.wait(2000));
    QVERIFY(tray.Visible());
    QVERIFY(tray.HideIcon());
}

QTEST_MAIN(TestSysTray)
#include "tst_systray.moc"
