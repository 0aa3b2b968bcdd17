// Texts the database cannot give back unchanged (U+FFFF, a lone or cut surrogate) once kept a restarted
// console from recognising a computer; the fuzz targets keep the identifications and names that found it.

#include "TempDatabase.h"
#include "core/store/StorableText.h"

#include <QTest>

using namespace kestrava;

class TestStorableText : public QObject {
    Q_OBJECT
private slots:
    void storable_data();
    void storable();
};

namespace {

QString units(std::initializer_list<char16_t> codes) {
    QString text;
    for (const char16_t c : codes)
        text += QChar(c);
    return text;
}

} // namespace

void TestStorableText::storable_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("pair") << units({u'a', 0xD83D, 0xDE00}) << units({u'a', 0xD83D, 0xDE00});
    QTest::newRow("lone high at the end") << units({u'a', 0xD83D}) << units({u'a', 0xFFFD});
    QTest::newRow("lone low") << units({u'x', 0xDC00, u'y'}) << units({u'x', 0xFFFD, u'y'});
    QTest::newRow("two highs then a low")
        << units({0xD800, 0xD801, 0xDC01}) << units({0xFFFD, 0xD801, 0xDC01});
    QTest::newRow("U+FFFF") << units({0xFFFF}) << units({0xFFFD});
    QTest::newRow("other non-character") << units({0xFDD0}) << units({0xFDD0});
    QTest::newRow("NUL") << units({u'a', 0, u'z'}) << units({u'a', 0xFFFD, u'z'});
}

// Whatever of() gives is what the database gives back.
void TestStorableText::storable() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    const QString storable = StorableText::of(text);
    QCOMPARE(storable, expected);
    QVERIFY(StorableText::isStorable(storable));
    QCOMPARE(StorableText::isStorable(text), text == expected);
    TempDatabase temp;
    temp.db().exec(QStringLiteral("INSERT INTO Program_Table(Program) VALUES(?)"), {storable});
    QCOMPARE(temp.db().scalar(QStringLiteral("SELECT Program FROM Program_Table")).toString(), storable);
}

QTEST_GUILESS_MAIN(TestStorableText)
#include "tst_storabletext.moc"
