#include "protocol/WireCodec.h"

#include <QTest>

using namespace kestrava;

// The console's single-byte text (Windows-1252); the client's UTF-16 is read in the listeners' tables.
class TestWireCodec : public QObject {
    Q_OBJECT
private slots:
    void encode_data();
    void encode();
};

void TestWireCodec::encode_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("encodable");
    QTest::newRow("undefined 0x81 position") << QString(QChar(0x81)) << QByteArray("?") << false;
    // Every defined byte comes back as itself: the separator 0xC7 among them.
    for (int b = 0; b < 256; ++b) {
        const QByteArray byte(1, char(b));
        if (b != 0x81 && b != 0x8D && b != 0x8F && b != 0x90 && b != 0x9D)
            QTest::addRow("byte %d", b) << WireCodec::decodeSingleByte(byte) << byte << true;
    }
}

void TestWireCodec::encode() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, encodable);
    QCOMPARE(WireCodec::encode(text), bytes);
    QCOMPARE(WireCodec::isEncodable(text), encodable);
}

QTEST_GUILESS_MAIN(TestWireCodec)
#include "tst_wirecodec.moc"
