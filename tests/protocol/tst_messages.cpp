#include "protocol/Messages.h"

#include <QTest>

using namespace kestrava;

Q_DECLARE_METATYPE(kestrava::MessageKind)

class TestMessages : public QObject {
    Q_OBJECT
private slots:
    void everyKind_data();
    void everyKind();
    void kindOf();
    void leadingNumber_data();
    void leadingNumber();
};

void TestMessages::everyKind_data() {
    QTest::addColumn<MessageKind>("kind");
    QTest::addColumn<int>("sender");
    QTest::addColumn<QChar>("letter");
    const QString letters = QStringLiteral("SOPBFLVITUdhsorb");
    QCOMPARE(Messages::kinds().size(), std::size_t(letters.size()));
    for (qsizetype i = 0; i < letters.size(); ++i) {
        const MessageKindInfo& info = Messages::kinds()[std::size_t(i)];
        QTest::newRow(qPrintable(QString(letters[i])))
            << info.kind << static_cast<int>(info.sender) << letters[i];
    }
}

void TestMessages::everyKind() {
    QFETCH(MessageKind, kind);
    QFETCH(int, sender);
    QFETCH(QChar, letter);
    QCOMPARE(Messages::letterOf(kind), letter);
    QCOMPARE(Messages::kindOf(static_cast<MessageSender>(sender), QString(letter) + QStringLiteral("x")),
             kind);
    QCOMPARE(sender == int(MessageSender::Console), kind < MessageKind::Identification);
}

void TestMessages::kindOf() {
    // The client's "D" is an identification too; the console's letters are not the client's.
    QCOMPARE(Messages::kindOf(MessageSender::Client, QStringLiteral("D")), MessageKind::Identification);
    QCOMPARE(Messages::kindOf(MessageSender::Console, QStringLiteral("D")), std::nullopt);
    QCOMPARE(Messages::kindOf(MessageSender::Client, QStringLiteral("S")), std::nullopt);
    QCOMPARE(Messages::kindOf(MessageSender::Client, QString()), std::nullopt);
    QCOMPARE(Messages::payloadOf(QStringLiteral("hIN")), QStringLiteral("IN"));
}

void TestMessages::leadingNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("empty") << QString() << 0.0;
    QTest::newRow("stops at text") << QStringLiteral("12ab3") << 12.0;
    QTest::newRow("second point ends") << QStringLiteral("1.4.1") << 1.4;
    QTest::newRow("exponent") << QStringLiteral("14e-1") << 1.4;
    QTest::newRow("exponent without digits") << QStringLiteral("3e") << 3.0;
    QTest::newRow("leading point") << QStringLiteral(".5") << 0.5;
}

void TestMessages::leadingNumber() {
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(Messages::leadingNumber(text), value);
}

QTEST_GUILESS_MAIN(TestMessages)
#include "tst_messages.moc"
