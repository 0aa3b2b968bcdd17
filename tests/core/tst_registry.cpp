#include "platform/clsRegistry.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace kestrava;

namespace {
const QString kServerKey = QStringLiteral("SOFTWARE\\Talmerin\\Kestrava\\Server");
const QString kRunKey = QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
} // namespace

class TestRegistry : public QObject {
    Q_OBJECT
private slots:
    void init();
    void storedTextComesBack_data();
    void storedTextComesBack();
    void digitsAreStoredAsNumber_data();
    void digitsAreStoredAsNumber();
    void deleteValueResults();
    void deleteValueFromMissingKeyChangesNothing();
    void keyResults();
    void deleteKeyResults();
    void namesMatchRegardlessOfCase();
    void unknownRootFails();
    void unreadableValueIsEmpty();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<clsRegistry> m_registry;
};

void TestRegistry::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    m_registry = std::make_unique<clsRegistry>(m_dir->filePath(QStringLiteral("registry.ini")));
}

void TestRegistry::storedTextComesBack_data() {
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("read");
    QTest::newRow("path") << QStringLiteral("/opt/kestrava") << QStringLiteral("/opt/kestrava");
    QTest::newRow("blanks trimmed") << QStringLiteral("  /opt/a b  ") << QStringLiteral("/opt/a b");
    QTest::newRow("cut at zero") << (QStringLiteral("abc") + QChar(0) + QStringLiteral("def"))
                                 << QStringLiteral("abc");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("not a number") << QStringLiteral("12ab") << QStringLiteral("12ab");
    QTest::newRow("non-latin") << QStringLiteral("/home/zoë/Kestrava")
                               << QStringLiteral("/home/zoë/Kestrava");
}

void TestRegistry::storedTextComesBack() {
    QFETCH(QString, written);
    QFETCH(QString, read);
    QVERIFY(m_registry->RegSetKeyValue(HKEY_LOCAL_MACHINE, kServerKey, QStringLiteral("Path"), written));
    QCOMPARE(m_registry->RegQueryKeyValue(HKEY_LOCAL_MACHINE, kServerKey, QStringLiteral("Path")), read);
    // A second instance over the same file sees it too.
    clsRegistry other(m_registry->storeFile());
    QCOMPARE(other.RegQueryKeyValue(HKEY_LOCAL_MACHINE, kServerKey, QStringLiteral("Path")), read);
}

void TestRegistry::digitsAreStoredAsNumber_data() {
    QTest::addColumn<QVariant>("written");
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("read");
    QTest::newRow("digit-only text") << QVariant(QStringLiteral("12345")) << QByteArray("\x39\x30\0\0", 4)
                                     << QStringLiteral("90");
    QTest::newRow("blanks around digits")
        << QVariant(QStringLiteral(" 65 ")) << QByteArray("A\0\0\0", 4) << QStringLiteral("A");
    QTest::newRow("int") << QVariant(0x44434241) << QByteArray("ABCD") << QStringLiteral("ABCD");
    QTest::newRow("rounds half to even") << QVariant(66.5) << QByteArray("B\0\0\0", 4) << QStringLiteral("B");
    QTest::newRow("negative") << QVariant(-1) << QByteArray("\xff\xff\xff\xff", 4)
                              << QString::fromLatin1("\xff\xff\xff\xff", 4);
}

void TestRegistry::digitsAreStoredAsNumber() {
    QFETCH(QVariant, written);
    QFETCH(QByteArray, stored);
    QFETCH(QString, read);
    QVERIFY(m_registry->RegSetKeyValue(HKEY_LOCAL_MACHINE, kRunKey, QStringLiteral("Kv"), written));
    QSettings raw(m_registry->storeFile(), QSettings::IniFormat);
    const QVariant value =
        raw.value(QStringLiteral("HKEY_LOCAL_MACHINE/SOFTWARE/Microsoft/Windows/CurrentVersion/Run/Kv"));
    QCOMPARE(value.typeId(), int(QMetaType::QByteArray));
    QCOMPARE(value.toByteArray(), stored);
    QCOMPARE(m_registry->RegQueryKeyValue(HKEY_LOCAL_MACHINE, kRunKey, QStringLiteral("Kv")), read);
}

void TestRegistry::deleteValueResults() {
    QVERIFY(
        m_registry->RegSetKeyValue(HKEY_LOCAL_MACHINE, kRunKey, QStringLiteral("Kv"), QStringLiteral("/a")));
    QVERIFY(m_registry->RegDeleteKeyValue(HKEY_LOCAL_MACHINE, kRunKey, QStringLiteral("Kv")));
    QCOMPARE(m_registry->RegQueryKeyValue(HKEY_LOCAL_MACHINE, kRunKey, QStringLiteral("Kv")), QString());
    // The key outlives its last value; the value is gone, so a second delete fails.
    QVERIFY(m_registry->RegKeyExists(HKEY_LOCAL_MACHINE, kRunKey));
    QVERIFY(!m_registry->RegDeleteKeyValue(HKEY_LOCAL_MACHINE, kRunKey, QStringLiteral("Kv")));
}

void TestRegistry::deleteValueFromMissingKeyChangesNothing() {
    QVERIFY(m_registry->RegSetKeyValue(HKEY_LOCAL_MACHINE, kServerKey, QStringLiteral("Path"),
                                       QStringLiteral("/p")));
    QFile file(m_registry->storeFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    QVERIFY(!m_registry->RegDeleteKeyValue(HKEY_LOCAL_MACHINE, kRunKey, QStringLiteral("Kv")));
    QVERIFY(!m_registry->RegKeyExists(HKEY_LOCAL_MACHINE, kRunKey));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
}

void TestRegistry::keyResults() {
    QVERIFY(!m_registry->RegKeyExists(HKEY_LOCAL_MACHINE, kServerKey));
    QVERIFY(m_registry->CreateKey(HKEY_LOCAL_MACHINE, kServerKey));
    QVERIFY(m_registry->RegKeyExists(HKEY_LOCAL_MACHINE, kServerKey));
    QVERIFY(m_registry->RegKeyExists(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\Talmerin")));
    QVERIFY(m_registry->RegKeyExists(HKEY_LOCAL_MACHINE, QString()));
    QVERIFY(!m_registry->RegKeyExists(HKEY_CURRENT_USER, kServerKey));
    QCOMPARE(m_registry->RegQueryKeyValue(HKEY_LOCAL_MACHINE, kServerKey, QStringLiteral("Path")), QString());
    // Creating an existing key opens it.
    QVERIFY(m_registry->CreateKey(HKEY_LOCAL_MACHINE, kServerKey));
}

void TestRegistry::deleteKeyResults() {
    const QString parent = QStringLiteral("SOFTWARE\\Talmerin");
    QVERIFY(!m_registry->DeleteKey(HKEY_LOCAL_MACHINE, parent, QStringLiteral("Kestrava")));
    QVERIFY(m_registry->CreateKey(HKEY_LOCAL_MACHINE, kServerKey));
    // A key with subkeys of its own stays.
    QVERIFY(!m_registry->DeleteKey(HKEY_LOCAL_MACHINE, parent, QStringLiteral("Kestrava")));
    QVERIFY(m_registry->DeleteKey(HKEY_LOCAL_MACHINE, parent + QStringLiteral("\\Kestrava"),
                                  QStringLiteral("Server")));
    QVERIFY(!m_registry->RegKeyExists(HKEY_LOCAL_MACHINE, kServerKey));
    QVERIFY(m_registry->RegKeyExists(HKEY_LOCAL_MACHINE, parent + QStringLiteral("\\Kestrava")));
    QVERIFY(!m_registry->DeleteKey(HKEY_LOCAL_MACHINE, parent + QStringLiteral("\\Kestrava"),
                                   QStringLiteral("Server")));
}

void TestRegistry::namesMatchRegardlessOfCase() {
    QVERIFY(m_registry->RegSetKeyValue(HKEY_LOCAL_MACHINE, kServerKey, QStringLiteral("Path"),
                                       QStringLiteral("/a")));
    const QString lower = kServerKey.toLower();
    QCOMPARE(m_registry->RegQueryKeyValue(HKEY_LOCAL_MACHINE, lower, QStringLiteral("PATH")),
             QStringLiteral("/a"));
    QVERIFY(
        m_registry->RegSetKeyValue(HKEY_LOCAL_MACHINE, lower, QStringLiteral("path"), QStringLiteral("/b")));
    QCOMPARE(m_registry->RegQueryKeyValue(HKEY_LOCAL_MACHINE, kServerKey, QStringLiteral("Path")),
             QStringLiteral("/b"));
    QSettings raw(m_registry->storeFile(), QSettings::IniFormat);
    raw.beginGroup(QStringLiteral("HKEY_LOCAL_MACHINE/SOFTWARE/Talmerin/Kestrava/Server"));
    QCOMPARE(raw.childKeys().filter(QStringLiteral("ath"), Qt::CaseInsensitive),
             QStringList{QStringLiteral("Path")});
}

void TestRegistry::unknownRootFails() {
    QVERIFY(
        !m_registry->RegSetKeyValue(0x12345678, kServerKey, QStringLiteral("Path"), QStringLiteral("/a")));
    QVERIFY(!m_registry->CreateKey(0x12345678, kServerKey));
    QVERIFY(!m_registry->RegKeyExists(0x12345678, QString()));
    QCOMPARE(m_registry->RegQueryKeyValue(0x12345678, kServerKey, QStringLiteral("Path")), QString());
}

void TestRegistry::unreadableValueIsEmpty() {
    QCOMPARE(m_registry->RegQueryKeyValue(HKEY_LOCAL_MACHINE,
                                          QStringLiteral("SOFTWARE\\Microsoft\\DataAccess"),
                                          QStringLiteral("FullInstallVer")),
             QString());
    QVERIFY(!m_registry->RegSetKeyValue(HKEY_LOCAL_MACHINE, kServerKey, QStringLiteral("a/b"),
                                        QStringLiteral("x")));
    QVERIFY(!m_registry->RegSetKeyValue(HKEY_LOCAL_MACHINE, QStringLiteral("SOFT/WARE"), QStringLiteral("a"),
                                        QStringLiteral("x")));
}

QTEST_GUILESS_MAIN(TestRegistry)
#include "tst_registry.moc"
