#include "core/platform/clsRegistry.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace kestrava;

namespace {
const QString kServerKey = QStringLiteral("SOFTWARE\\Talmerin\\Kestrava\\Server");
const QString kServerGroup = QStringLiteral("HKEY_LOCAL_MACHINE/SOFTWARE/Talmerin/Kestrava/Server");
} // namespace

class TestRegistry : public QObject {
    Q_OBJECT
private slots:
    void init();
    void storedValue_data();
    void storedValue();
    void namesMatchRegardlessOfCase();
    void refusedWrites_data();
    void refusedWrites();

private:
    QVariant stored(const QString& name) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<clsRegistry> m_registry;
};

void TestRegistry::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    m_registry = std::make_unique<clsRegistry>(m_dir->filePath(QStringLiteral("registry.ini")));
}

QVariant TestRegistry::stored(const QString& name) const {
    QSettings raw(m_registry->storeFile(), QSettings::IniFormat);
    return raw.value(kServerGroup + u'/' + name);
}

// Text is kept trimmed; numbers (and texts of digits) as four little-endian bytes.
void TestRegistry::storedValue_data() {
    QTest::addColumn<QVariant>("written");
    QTest::addColumn<QVariant>("kept");
    QTest::newRow("path") << QVariant(QStringLiteral("/opt/kestrava"))
                          << QVariant(QStringLiteral("/opt/kestrava"));
    QTest::newRow("blanks trimmed") << QVariant(QStringLiteral("  /opt/a b  "))
                                    << QVariant(QStringLiteral("/opt/a b"));
    QTest::newRow("not a number") << QVariant(QStringLiteral("12ab")) << QVariant(QStringLiteral("12ab"));
    QTest::newRow("non-latin") << QVariant(QStringLiteral("/home/zoë/Kestrava"))
                               << QVariant(QStringLiteral("/home/zoë/Kestrava"));
    QTest::newRow("digit-only text") << QVariant(QStringLiteral(" 12345 "))
                                     << QVariant(QByteArray("\x39\x30\0\0", 4));
    QTest::newRow("int") << QVariant(0x44434241) << QVariant(QByteArray("ABCD"));
    QTest::newRow("rounds half to even") << QVariant(66.5) << QVariant(QByteArray("B\0\0\0", 4));
    QTest::newRow("negative") << QVariant(-1) << QVariant(QByteArray("\xff\xff\xff\xff", 4));
}

void TestRegistry::storedValue() {
    QFETCH(QVariant, written);
    QFETCH(QVariant, kept);
    QVERIFY(m_registry->RegSetKeyValue(HKEY_LOCAL_MACHINE, kServerKey, QStringLiteral("Path"), written));
    QCOMPARE(stored(QStringLiteral("Path")), kept);
}

void TestRegistry::namesMatchRegardlessOfCase() {
    QVERIFY(m_registry->RegSetKeyValue(HKEY_LOCAL_MACHINE, kServerKey, QStringLiteral("Path"),
                                       QStringLiteral("/a")));
    QVERIFY(m_registry->RegSetKeyValue(HKEY_LOCAL_MACHINE, kServerKey.toLower(), QStringLiteral("PATH"),
                                       QStringLiteral("/b")));
    QSettings raw(m_registry->storeFile(), QSettings::IniFormat);
    raw.beginGroup(kServerGroup);
    QCOMPARE(raw.childKeys(), QStringList{QStringLiteral("Path")});
    QCOMPARE(raw.value(QStringLiteral("Path")).toString(), QStringLiteral("/b"));
}

void TestRegistry::refusedWrites_data() {
    QTest::addColumn<quint32>("root");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::newRow("unknown root") << quint32(0x12345678) << kServerKey << QStringLiteral("Path");
    QTest::newRow("slash in name") << HKEY_LOCAL_MACHINE << kServerKey << QStringLiteral("a/b");
    QTest::newRow("slash in path") << HKEY_LOCAL_MACHINE << QStringLiteral("SOFT/WARE")
                                   << QStringLiteral("a");
    QTest::newRow("empty name") << HKEY_LOCAL_MACHINE << kServerKey << QString();
}

void TestRegistry::refusedWrites() {
    QFETCH(quint32, root);
    QFETCH(QString, path);
    QFETCH(QString, name);
    QVERIFY(!m_registry->RegSetKeyValue(root, path, name, QStringLiteral("x")));
    QVERIFY(!QFile::exists(m_registry->storeFile()));
}

QTEST_GUILESS_MAIN(TestRegistry)
#include "tst_registry.moc"
