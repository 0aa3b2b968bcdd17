#include "agent/procs/LoginDefs.h"

#include <QTest>

using kestrava::agent::LoginDefs;

class tst_LoginDefs : public QObject {
    Q_OBJECT

private slots:
    void uidMinFromText_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<uint>("uidMin");
        QTest::newRow("plain") << QByteArray("MAIL_DIR /var/mail\nUID_MIN\t\t\t  500\nUID_MAX 60000\n")
                               << 500u;
        QTest::newRow("commented out") << QByteArray("#UID_MIN 500\n# UID_MIN 600\n") << 1000u;
        QTest::newRow("blanks and CRLF") << QByteArray("\r\n   \n  UID_MIN   2000  \r\n") << 2000u;
        QTest::newRow("not a number") << QByteArray("UID_MIN abc\n") << 1000u;
        QTest::newRow("zero") << QByteArray("UID_MIN 0\n") << 1000u;
        QTest::newRow("other key") << QByteArray("SYS_UID_MIN 100\nUID_MINIMUM 7\n") << 1000u;
        QTest::newRow("hexadecimal") << QByteArray("UID_MIN 0x5DC\n") << 1500u;
        QTest::newRow("quoted") << QByteArray("UID_MIN \"1200\"\n") << 1200u;
        QTest::newRow("last wins") << QByteArray("UID_MIN 500\nUID_MIN 700\n") << 700u;
        QTest::newRow("bad later line keeps earlier") << QByteArray("UID_MIN 500\nUID_MIN x\n") << 500u;
    }
    void uidMinFromText() {
        QFETCH(QByteArray, text);
        QFETCH(uint, uidMin);
        QCOMPARE(uint(LoginDefs::uidMinFromText(text)), uidMin);
    }

    void missingFileGivesDefault() {
        QCOMPARE(LoginDefs::uidMin(QStringLiteral("/nonexistent/login.defs")), LoginDefs::kDefaultUidMin);
    }
};

QTEST_APPLESS_MAIN(tst_LoginDefs)
#include "tst_logindefs.moc"
