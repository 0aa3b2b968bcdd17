#include "RecordingPrompt.h"
#include "gui/shell/LinkErrorQueue.h"

#include <QTest>

using namespace kestrava;

class TestLinkErrorQueue : public QObject {
    Q_OBJECT
private slots:
    void everyErrorIsShownInTurnWithTheCountOfTheOthers();
};

void TestLinkErrorQueue::everyErrorIsShownInTurnWithTheCountOfTheOthers() {
    RecordingPrompt prompt;
    LinkErrorQueue queue(prompt);
    for (const char* message : {"10053: one", "10054: two", "10060: three"})
        queue.post(QLatin1String(message));
    // Nothing is shown inside the handler that reported it.
    QVERIFY(prompt.entries.isEmpty());
    QTRY_COMPARE(prompt.entries.size(), 3);
    QCOMPARE(prompt.texts(RecordingPrompt::Kind::Error),
             (QStringList{QStringLiteral("10053: one") + LinkErrorQueue::moreText(2),
                          QStringLiteral("10054: two") + LinkErrorQueue::moreText(1),
                          QStringLiteral("10060: three")}));
    QCOMPARE(queue.waiting(), 0);
}

QTEST_MAIN(TestLinkErrorQueue)
#include "tst_linkerrorqueue.moc"
