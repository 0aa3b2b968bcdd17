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
    void initTestCase();
    void parse_data();
    void parse();
    void brokenFiles_data();
    void brokenFiles();
    void peerCheck_data();
    void peerCheck();

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    TlsIdentity m_own;
};

// A made identity is owner-only and lasts ten years; the next start loads it instead of making another.
void TestTlsIdentity::initTestCase() {
    for (const QString& name : {u"a"_s, u"b"_s})
        QVERIFY(TlsIdentity::loadOrCreate(path(name + u".key"_s), path(name + u".crt"_s), name).created);
    QVERIFY(!(QFile::permissions(path(u"a.key"_s)) & (QFile::ReadGroup | QFile::ReadOther)));
    m_own = TlsIdentity::loadOrCreate(path(u"a.key"_s), path(u"a.crt"_s), u"ignored"_s);
    QVERIFY2(m_own.isValid() && !m_own.created, qPrintable(m_own.error));
    QCOMPARE(m_own.certificate.subjectInfo(QSslCertificate::CommonName), QStringList{u"a"_s});
    QVERIFY(m_own.certificate.expiryDate() > QDateTime::currentDateTimeUtc().addYears(9));
    QFile garbage(path(u"garbage"_s));
    QVERIFY(garbage.open(QIODevice::WriteOnly) && garbage.write("-----BEGIN nonsense\n") > 0);
}

// A pin one digit short is the agent configuration's row.
void TestTlsIdentity::parse_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    const QString plain = u"00112233445566778899aabbccddeeff00112233445566778899AABBCCDDEEFF"_s;
    QString colons;
    for (int i = 0; i < plain.size(); i += 2)
        colons += (i ? u":"_s : QString()) + plain.mid(i, 2);
    QTest::newRow("plain, mixed case") << plain << true;
    QTest::newRow("colons, blanks around") << u"  "_s + colons + u"\n"_s << true;
    QTest::newRow("not hex") << plain.chopped(1) + u"g"_s << false;
}

void TestTlsIdentity::parse() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    const QByteArray digest = Fingerprint::parse(text);
    QCOMPARE(digest.size(), valid ? 32 : 0);
    if (valid)
        QCOMPARE(Fingerprint::parse(Fingerprint::text(digest)), digest);
}

void TestTlsIdentity::brokenFiles_data() {
    QTest::addColumn<QString>("keySource");
    QTest::addColumn<QString>("certificateSource");
    QTest::addColumn<QString>("errorPart");
    QTest::newRow("key without certificate") << u"a.key"_s << QString() << u"is missing"_s;
    QTest::newRow("another computer's key") << u"b.key"_s << u"a.crt"_s << u"does not belong"_s;
    QTest::newRow("garbage key") << u"garbage"_s << u"a.crt"_s << u"no EC private key"_s;
    QTest::newRow("garbage certificate") << u"a.key"_s << u"garbage"_s << u"no certificate"_s;
}

void TestTlsIdentity::brokenFiles() {
    QFETCH(QString, keySource);
    QFETCH(QString, certificateSource);
    QFETCH(QString, errorPart);
    QTemporaryDir dir;
    const QString key = dir.filePath(u"own.key"_s);
    const QString certificate = dir.filePath(u"own.crt"_s);
    QVERIFY(QFile::copy(path(keySource), key));
    QVERIFY(certificateSource.isEmpty() || QFile::copy(path(certificateSource), certificate));
    const TlsIdentity identity = TlsIdentity::loadOrCreate(key, certificate, u"x"_s);
    QVERIFY2(identity.error.contains(errorPart), qPrintable(identity.error));
    QVERIFY(!identity.created);
}

// A missing certificate and the unpinned case are the secure listener's rows.
void TestTlsIdentity::peerCheck_data() {
    QTest::addColumn<int>("daysFromNow");
    QTest::addColumn<QByteArray>("pinned");
    QTest::addColumn<QString>("errorPart");
    const QByteArray own = Fingerprint::of(m_own.certificate);
    QTest::newRow("pinned, same") << 0 << own << QString();
    QTest::newRow("pinned, other") << 0 << QByteArray(32, 'x') << u"is not the expected"_s;
    QTest::newRow("before its validity") << -2 << QByteArray() << u"not valid before"_s;
    QTest::newRow("after its validity") << 3700 << own << u"expired"_s;
}

void TestTlsIdentity::peerCheck() {
    QFETCH(int, daysFromNow);
    QFETCH(QByteArray, pinned);
    QFETCH(QString, errorPart);
    const QString refusal =
        PeerCheck::refusal(m_own.certificate, pinned, QDateTime::currentDateTimeUtc().addDays(daysFromNow));
    QVERIFY2(errorPart.isEmpty() ? refusal.isEmpty() : refusal.contains(errorPart), qPrintable(refusal));
}

QTEST_GUILESS_MAIN(TestTlsIdentity)
#include "tst_tlsidentity.moc"
