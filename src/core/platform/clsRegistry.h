#pragma once

#include <QString>
#include <QVariant>

namespace kestrava {

// Registry roots, as the operating system's predefined handle values.
inline constexpr quint32 HKEY_CLASSES_ROOT = 0x80000000;
inline constexpr quint32 HKEY_CURRENT_USER = 0x80000001;
inline constexpr quint32 HKEY_LOCAL_MACHINE = 0x80000002;
inline constexpr quint32 HKEY_USERS = 0x80000003;

// Named values under registry-style key paths ("SOFTWARE\Talmerin\Kestrava\Server"), kept in an INI file.
// Key paths and value names match regardless of letter case, as in the registry. No method throws:
// a failure gives false.
class clsRegistry {
public:
    // The store of this user: <config>/kestrava/registry.ini.
    clsRegistry();
    explicit clsRegistry(QString storeFile);

    static QString defaultStoreFile();
    QString storeFile() const { return m_storeFile; }

    // Numbers (and texts that read as numbers) are stored as 32-bit numbers, everything else as trimmed text.
    bool RegSetKeyValue(quint32 lngRootKey, const QString& strRegKeyPath, const QString& strRegKeyName,
                        const QVariant& varRegData);

private:
    QString m_storeFile;
};

} // namespace kestrava
