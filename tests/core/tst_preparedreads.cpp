// Database::firstRow and Database::rows: the prepared reads that answer client services.
#include "TempDatabase.h"

#include <QTest>

using kestrava::Database;
using kestrava::DatabaseError;

class TestPreparedReads : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_temp = std::make_unique<TempDatabase>();
        for (const char* name : {"Alpha", "Beta", "Gamma"})
            db().exec(QStringLiteral("INSERT INTO Group_Table (Group_Key, Group_Name) VALUES (?, ?)"),
                      {QStringLiteral("g|%1").arg(QLatin1String(name)), QLatin1String(name)});
    }
    void cleanup() { m_temp.reset(); }

    void theSameStatementAgainSeesNewValuesAndNewRows() {
        const QString sql = QStringLiteral("SELECT Group_Name FROM Group_Table WHERE Group_Name=?");
        QCOMPARE(db().firstRow(sql, {QStringLiteral("Alpha")})->value(0).toString(), QStringLiteral("Alpha"));
        QCOMPARE(db().firstRow(sql, {QStringLiteral("Gamma")})->value(0).toString(), QStringLiteral("Gamma"));
        QVERIFY(!db().firstRow(sql, {QStringLiteral("Delta")}));
        db().exec(
            QStringLiteral("INSERT INTO Group_Table (Group_Key, Group_Name) VALUES ('g|Delta', 'Delta')"));
        QVERIFY(db().firstRow(sql, {QStringLiteral("Delta")}));
    }

    // A read left open would hold back the commit of later writes on the same connection.
    void noReadStaysOpenSoWritesReachOtherConnectionsAtOnce() {
        QVERIFY(db().firstRow(QStringLiteral("SELECT Group_Name FROM Group_Table ORDER BY Group_ID")));
        db().exec(QStringLiteral(
            "INSERT INTO Group_Table (Group_Key, Group_Name) VALUES ('g|Epsilon', 'Epsilon')"));
        Database other;
        other.open(m_temp->path());
        QCOMPARE(other.scalar(QStringLiteral("SELECT count(*) FROM Group_Table")).toInt(), 4);
    }

    void failingStatementThrowsAndTheNextCallWorks() {
        QVERIFY_THROWS_EXCEPTION(DatabaseError, db().rows(QStringLiteral("SELECT Nothing FROM Nowhere")));
        QVERIFY_THROWS_EXCEPTION(
            DatabaseError, db().firstRow(QStringLiteral("SELECT Group_ID FROM Group_Table WHERE Group_ID=?"),
                                         {QStringLiteral("x"), 1, 2}));
        QCOMPARE(db().rows(QStringLiteral("SELECT Group_ID FROM Group_Table")).size(), 3);
    }

private:
    Database& db() { return m_temp->db(); }
    std::unique_ptr<TempDatabase> m_temp;
};

QTEST_GUILESS_MAIN(TestPreparedReads)
#include "tst_preparedreads.moc"
