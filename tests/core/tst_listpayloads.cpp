#include "PolicyRows.h"
#include "TempDatabase.h"
#include "console/Keys.h"
#include "lists/ProgramListPayload.h"
#include "lists/UrlListPayload.h"
#include "protocol/Fields.h"

#include <QTest>

using namespace kestrava;

namespace {

QString wire(QString text) {
    return text.replace(QLatin1Char('|'), kFieldSeparator);
}

int addUrl(Database& db, const QString& url) {
    db.exec(QStringLiteral("INSERT INTO DNS_Lookup_Table (URL) VALUES (?)"), {url});
    return db.scalar(QStringLiteral("SELECT max(URL_ID) FROM DNS_Lookup_Table")).toInt();
}

int addProgram(Database& db, const QString& program) {
    db.exec(QStringLiteral("INSERT INTO Program_Table (Program) VALUES (?)"), {program});
    return db.scalar(QStringLiteral("SELECT max(Program_ID) FROM Program_Table")).toInt();
}

// Two groups with overlapping lists, a member of the first, a system under the root and one whose group
// was deleted.
struct Lists {
    TempDatabase temp;
    QString schoolKey = PolicyRows::groupKey(QStringLiteral("School"));
    QString emptyKey = PolicyRows::groupKey(QStringLiteral("Empty"));
    QString member, underRoot, orphan;

    Lists() {
        Database& db = temp.db();
        const int school = PolicyRows::addGroup(db, QStringLiteral("School"));
        const int empty = PolicyRows::addGroup(db, QStringLiteral("Empty"));
        const int gone = PolicyRows::addGroup(db, QStringLiteral("Gone"));
        member = PolicyRows::addSystem(db, QStringLiteral("ID1"), QStringLiteral("PC1"), school);
        underRoot = PolicyRows::addSystem(db, QStringLiteral("ID2"), QStringLiteral("PC2"), 0);
        orphan = PolicyRows::addSystem(db, QStringLiteral("ID3"), QStringLiteral("PC3"), gone);

        const int wiki = addUrl(db, QStringLiteral("wikipedia.org"));
        const int deleted = addUrl(db, QStringLiteral("old.example.com"));
        const int news = addUrl(db, QStringLiteral("news.example.com"));
        for (int url : {wiki, deleted, news, wiki})
            db.exec(QStringLiteral("INSERT INTO Group_URL_Table (Group_ID, URL_ID) VALUES (?, ?)"),
                    {school, url});
        db.exec(QStringLiteral("INSERT INTO Group_URL_Table (Group_ID, URL_ID) VALUES (?, ?)"), {gone, news});
        db.exec(QStringLiteral("DELETE FROM DNS_Lookup_Table WHERE URL_ID=?"), {deleted});

        const int game = addProgram(db, QStringLiteral("Game Launcher.exe"));
        const int chat = addProgram(db, QStringLiteral("chat.EXE"));
        for (int program : {chat, game})
            db.exec(QStringLiteral("INSERT INTO Group_Program_Table (Group_ID, Program_ID) VALUES (?, ?)"),
                    {school, program});
        db.exec(QStringLiteral("INSERT INTO Group_Program_Table (Group_ID, Program_ID) VALUES (?, ?)"),
                {gone, game});
        db.exec(QStringLiteral("DELETE FROM Group_Table WHERE Group_ID=?"), {gone});
        Q_UNUSED(empty);
    }
};

} // namespace

class TestListPayloads : public QObject {
    Q_OBJECT
private slots:
    void lists_data();
    void lists();
    void otherKeysAreEmpty_data();
    void otherKeysAreEmpty();
    void databaseErrorReachesCaller();
};

void TestListPayloads::lists_data() {
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("urls");
    QTest::addColumn<QString>("programs");
    // Entries deleted from the catalogue and repeated rows are left out.
    QTest::newRow("group") << "school"
                           << "|2|wikipedia.org|news.example.com|"
                           << "|2|Game Launcher.exe|chat.EXE|";
    QTest::newRow("member") << "member"
                            << "|2|wikipedia.org|news.example.com|"
                            << "|2|Game Launcher.exe|chat.EXE|";
    QTest::newRow("empty group") << "empty"
                                 << "|0|"
                                 << "|0|";
    QTest::newRow("under root") << "underRoot"
                                << "|0|"
                                << "|0|";
    QTest::newRow("group deleted") << "orphan"
                                   << "|0|"
                                   << "|0|";
    QTest::newRow("unknown system") << "unknown"
                                    << "|0|"
                                    << "|0|";
}

void TestListPayloads::lists() {
    QFETCH(QString, which);
    QFETCH(QString, urls);
    QFETCH(QString, programs);
    Lists lists;
    const QString key = which == QLatin1String("school")      ? lists.schoolKey
                        : which == QLatin1String("member")    ? lists.member
                        : which == QLatin1String("empty")     ? lists.emptyKey
                        : which == QLatin1String("underRoot") ? lists.underRoot
                        : which == QLatin1String("orphan")
                            ? lists.orphan
                            : Keys::Make_System_Key(QStringLiteral("nobody"), QStringLiteral("nowhere"));
    QCOMPARE(Get_URL_List(lists.temp.db(), key), wire(urls));
    QCOMPARE(Get_Program_List(lists.temp.db(), key), wire(programs));
}

void TestListPayloads::otherKeysAreEmpty_data() {
    QTest::addColumn<QString>("key");
    QTest::newRow("root") << Keys::rootKey();
    QTest::newRow("empty") << QString();
    QTest::newRow("upper-case kind letter")
        << QStringLiteral("G") + kFieldSeparator + QStringLiteral("SCHOOL");
}

void TestListPayloads::otherKeysAreEmpty() {
    QFETCH(QString, key);
    Lists lists;
    QCOMPARE(Get_URL_List(lists.temp.db(), key), QString());
    QCOMPARE(Get_Program_List(lists.temp.db(), key), QString());
}

void TestListPayloads::databaseErrorReachesCaller() {
    Lists lists;
    lists.temp.db().exec(QStringLiteral("DROP TABLE Group_URL_Table"));
    lists.temp.db().exec(QStringLiteral("DROP TABLE Group_Program_Table"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, Get_URL_List(lists.temp.db(), lists.schoolKey));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, Get_Program_List(lists.temp.db(), lists.member));
}

QTEST_GUILESS_MAIN(TestListPayloads)
#include "tst_listpayloads.moc"
