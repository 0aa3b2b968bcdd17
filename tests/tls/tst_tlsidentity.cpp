#include "tls/Fingerprint.h"
#include "tls/PeerCheck.h"
#include "tls/TlsIdentity.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace kestrava;

class TestTlsIdentity : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void createThenLoad();
    void brokenFiles_data();
    void brokenFiles();
    void peerCheck_data();
    void peerCheck();

private:
    QTemporaryDir m_dir;
};

void TestTlsIdentity::parse_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    const QString plain = u"00112233445566778899aabbccddeeff00112233445566778899AABBCCDDEEFF"_s;
    QString colons;
    for (int i = 0; i < plain.size(); i += 2)
        colons += (i ? u":"_s : QString()) + plain.mid(i, 2);
    QTest::newRow("plain, mixed case") << plain << true;
    QTest::newRow("colons, blanks around") << u"  "_s + colons + u"\n"_s << true;
    QTest::newRow("one digit short") << plain.chopped(1) << false;
    QTest::newRow("one pair too many") << plain + u"00"_s << false;
    QTest::newRow("not hex") << plain.chopped(1) + u"g"_s << false;
    QTest::newRow("empty") << QString() << false;
}

void TestTlsIdentity::parse() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    const QByteArray digest = Fingerprint::parse(text);
    QCOMPARE(digest.size(), valid ? 32 : 0);
    if (valid)
        QCOMPARE(Fingerprint::parse(Fingerprint::text(digest)), digest);
}

void TestTlsIdentity::createThenLoad() {
    const QString key = m_dir.filePath(u"own.key"_s);
    const QString certificate = m_dir.filePath(u"own.crt"_s);
    const TlsIdentity made = TlsIdentity::loadOrCreate(key, certificate, u"lab-console"_s);
    QVERIFY2(made.isValid(), qPrintable(made.error));
    QVERIFY(made.created);
    QVERIFY(!(QFile::permissions(key) & (QFile::ReadGroup | QFile::ReadOther)));
    QCOMPARE(made.certificate.subjectInfo(QSslCertificate::CommonName), QStringList{u"lab-console"_s});
    QVERIFY(made.certificate.expiryDate() > QDateTime::currentDateTimeUtc().addYears(9));

    const TlsIdentity again = TlsIdentity::loadOrCreate(key, certificate, u"ignored"_s);
    QVERIFY2(again.isValid(), qPrintable(again.error));
    QVERIFY(!again.created);
    QCOMPARE(Fingerprint::of(again.certificate), Fingerprint::of(made.certificate));
}

void TestTlsIdentity::brokenFiles_data() {
    QTest::addColumn<QString>("keySource");
    QTest::addColumn<QString>("certificateSource");
    QTest::addColumn<QString>("errorPart");
    QTest::newRow("key without certificate") << u"a.key"_s << QString() << u"is missing"_s;
    QTest::newRow("certificate without key") << QString() << u"a.crt"_s << u"is missing"_s;
    QTest::newRow("another computer's key") << u"b.key"_s << u"a.crt"_s << u"does not belong"_s;
    QTest::newRow("garbage key") << u"garbage"_s << u"a.crt"_s << u"no EC private key"_s;
    QTest::newRow("garbage certificate") << u"a.key"_s << u"garbage"_s << u"no certificate"_s;
}

void TestTlsIdentity::brokenFiles() {
    QFETCH(QString, keySource);
    QFETCH(QString, certificateSource);
    QFETCH(QString, errorPart);
    QTemporaryDir sources;
    for (const QString& name : {u"a"_s, u"b"_s})
        QVERIFY(TlsIdentity::loadOrCreate(sources.filePath(name + u".key"_s),
                                          sources.filePath(name + u".crt"_s), name)
                    .isValid());
    QFile garbage(sources.filePath(u"garbage"_s));
    QVERIFY(garbage.open(QIODevice::WriteOnly) && garbage.write("-----BEGIN nonsense\n") > 0);
    garbage.close();
    QTemporaryDir dir;
    const QString key = dir.filePath(u"own.key"_s);
    const QString certificate = dir.filePath(u"own.crt"_s);
    if (!keySource.isEmpty())
        QVERIFY(QFile::copy(sources.filePath(keySource), key));
    if (!certificateSource.isEmpty())
        QVERIFY(QFile::copy(sources.filePath(certificateSource), certificate));
    const TlsIdentity identity = TlsIdentity::loadOrCreate(key, certificate, u"x"_s);
    QVERIFY2(identity.error.contains(errorPart), qPrintable(identity.error));
    QVERIFY(!identity.created);
}

void TestTlsIdentity::peerCheck_data() {
    QTest::addColumn<int>("daysFromNow");
    QTest::addColumn<QString>("pin");
    QTest::addColumn<QString>("errorPart");
    QTest::newRow("not pinned") << 0 << QString() << QString();
    QTest::newRow("pinned, same") << 0 << u"own"_s << QString();
    QTest::newRow("pinned, other") << 0 << u"other"_s << u"is not the expected"_s;
    QTest::newRow("before its validity") << -2 << QString() << u"not valid before"_s;
    QTest::newRow("after its validity") << 3700 << u"own"_s << u"expired"_s;
    QTest::newRow("none presented") << 0 << u"none"_s << u"no certificate"_s;
}

void TestTlsIdentity::peerCheck() {
    QFETCH(int, daysFromNow);
    QFETCH(QString, pin);
    QFETCH(QString, errorPart);
    const TlsIdentity own =
        TlsIdentity::loadOrCreate(m_dir.filePath(u"peer.key"_s), m_dir.filePath(u"peer.crt"_s), u"peer"_s);
    QVERIFY(own.isValid());
    const QByteArray pinned = pin == u"own"_s     ? Fingerprint::of(own.certificate)
                              : pin == u"other"_s ? QByteArray(32, 'x')
                                                  : QByteArray();
    const QSslCertificate peer = pin == u"none"_s ? QSslCertificate() : own.certificate;
    const QString refusal =
        PeerCheck::refusal(peer, pinned, QDateTime::currentDateTimeUtc().addDays(daysFromNow));
    if (errorPart.isEmpty())
        QVERIFY2(refusal.isEmpty(), qPrintable(refusal));
    else
        QVERIFY2(refusal.contains(errorPart), qPrintable(refusal));
}

QTEST_GUILESS_MAIN(TestTlsIdentity)
#include "tst_tlsidentity.moc"
