#include "protocol/WireCodec.h"

#include <QTest>

using namespace kestrava;

class TestWireCodec : public QObject {
    Q_OBJECT
private slots:
    void encode_data();
    void encode();
    void decode_data();
    void decode();
    void roundTripOfEveryWindows1252Byte();
};

void TestWireCodec::encode_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("encodable");
    QTest::newRow("empty") << QString() << QByteArray() << true;
    QTest::newRow("S alone") << QStringLiteral("S") << QByteArray("S") << true;
    QTest::newRow("separator is 0xC7")
        << (QStringLiteral("F") + QChar(0xC7) + QStringLiteral("3") + QChar(0xC7))
        << QByteArray("F\xC7"
                      "3\xC7")
        << true;
    QTest::newRow("euro sign") << QString(QChar(0x20AC)) << QByteArray("\x80") << true;
    QTest::newRow("latin-1 letter") << QString(QChar(0xE9)) << QByteArray("\xE9") << true;
    QTest::newRow("no byte for it") << QString(QChar(0x4E2D)) << QByteArray("?") << false;
    QTest::newRow("undefined 0x81 position") << QString(QChar(0x81)) << QByteArray("?") << false;
}

void TestWireCodec::encode() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, encodable);
    QCOMPARE(WireCodec::encode(text), bytes);
    QCOMPARE(WireCodec::isEncodable(text), encodable);
}

void TestWireCodec::decode_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("d") << QByteArray("d\0", 2) << QStringLiteral("d");
    QTest::newRow("separator") << QByteArray("\xC7\0", 2) << QString(QChar(0xC7));
    QTest::newRow("odd trailing byte ignored") << QByteArray("s\0o", 3) << QStringLiteral("s");
    QTest::newRow("one byte") << QByteArray("s") << QString();
    QTest::newRow("high byte") << QByteArray("\x2D\x4E", 2) << QString(QChar(0x4E2D));
}

void TestWireCodec::decode() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(WireCodec::decode(bytes), text);
    if (bytes.size() % 2 == 0)
        QCOMPARE(WireCodec::encodeUtf16(text), bytes);
}

void TestWireCodec::roundTripOfEveryWindows1252Byte() {
    for (int b = 0; b < 256; ++b) {
        const QByteArray byte(1, static_cast<char>(b));
        const QString text = WireCodec::decodeSingleByte(byte);
        const bool undefined = b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
        if (undefined)
            continue;
        QVERIFY2(WireCodec::isEncodable(text), qPrintable(QString::number(b)));
        QCOMPARE(WireCodec::encode(text), byte);
    }
}

QTEST_GUILESS_MAIN(TestWireCodec)
#include "tst_wirecodec.moc"
