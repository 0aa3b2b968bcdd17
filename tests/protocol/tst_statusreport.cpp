#include "protocol/Requests.h"
#include "protocol/StatusReport.h"

#include <QTest>

using namespace kestrava;

Q_DECLARE_METATYPE(kestrava::StatusReport)
Q_DECLARE_METATYPE(kestrava::Request)

// The client service's requests and reports: each a letter and at most two more.
class TestStatusReport : public QObject {
    Q_OBJECT
private slots:
    void reports_data();
    void reports();
    void requests_data();
    void requests();
    void refused_data();
    void refused();
};

void TestStatusReport::reports_data() {
    QTest::addColumn<StatusReport>("report");
    QTest::addColumn<QString>("text");
    QTest::newRow("IN") << StatusReport::InternetOn << "hIN";
    QTest::newRow("IF") << StatusReport::InternetOff << "hIF";
    QTest::newRow("SN") << StatusReport::ScheduleOn << "hSN";
    QTest::newRow("SF") << StatusReport::ScheduleOff << "hSF";
    QTest::newRow("TN") << StatusReport::TimerOn << "hTN";
    QTest::newRow("TF") << StatusReport::TimerOff << "hTF";
}

void TestStatusReport::reports() {
    QFETCH(StatusReport, report);
    QFETCH(QString, text);
    QCOMPARE(encodeStatusReport(report), text);
    QCOMPARE(decodeStatusReport(text), report);
    QCOMPARE(decodeStatusReport(text + QStringLiteral("x")), report);
}

void TestStatusReport::requests_data() {
    QTest::addColumn<Request>("request");
    QTest::addColumn<QString>("text");
    QTest::newRow("schedule") << Request::Schedule << "s";
    QTest::newRow("settings") << Request::Settings << "o";
    QTest::newRow("white list") << Request::WhiteList << "r";
    QTest::newRow("block list") << Request::BlockList << "b";
}

void TestStatusReport::requests() {
    QFETCH(Request, request);
    QFETCH(QString, text);
    QCOMPARE(encodeRequest(request), text);
    QCOMPARE(decodeRequest(text), request);
}

void TestStatusReport::refused_data() {
    QTest::addColumn<QString>("text");
    for (const char* row : {"hXN", "hIX", "hin", "hI", "h", "sIN", "", "S", "O", "x", "B"})
        QTest::newRow(row) << QString::fromLatin1(row);
}

void TestStatusReport::refused() {
    QFETCH(QString, text);
    QCOMPARE(decodeStatusReport(text), std::nullopt);
    if (!text.startsWith(u's'))
        QCOMPARE(decodeRequest(text), std::nullopt);
}

QTEST_GUILESS_MAIN(TestStatusReport)
#include "tst_statusreport.moc"
