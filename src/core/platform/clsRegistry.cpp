#include "core/platform/clsRegistry.h"

#include <QSettings>
#include <QStandardPaths>
#include <QtEndian>
#include <cmath>
#include <limits>
#include <optional>

namespace kestrava {

namespace {

std::optional<QString> rootName(quint32 root) {
    switch (root) {
    case HKEY_CLASSES_ROOT:
        return QStringLiteral("HKEY_CLASSES_ROOT");
    case HKEY_CURRENT_USER:
        return QStringLiteral("HKEY_CURRENT_USER");
    case HKEY_LOCAL_MACHINE:
        return QStringLiteral("HKEY_LOCAL_MACHINE");
    case HKEY_USERS:
        return QStringLiteral("HKEY_USERS");
    default:
        return std::nullopt;
    }
}

bool isValidName(const QString& name) {
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'));
}

QString matchIgnoringCase(const QStringList& candidates, const QString& name) {
    for (const QString& candidate : candidates)
        if (candidate.compare(name, Qt::CaseInsensitive) == 0)
            return candidate;
    return name;
}

// One open INI file with a key path resolved to the spelling already stored.
class KeyAccess {
public:
    KeyAccess(const QString& file, quint32 root, const QString& path)
        : m_settings(file, QSettings::IniFormat) {
        const std::optional<QString> name = rootName(root);
        if (!name)
            return;
        m_settings.beginGroup(*name);
        for (const QString& part : path.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
            if (part.contains(QLatin1Char('/')))
                return;
            const QString stored = matchIgnoringCase(m_settings.childGroups(), part);
            m_settings.beginGroup(stored);
        }
        m_valid = true;
    }

    bool valid() const { return m_valid; }
    QSettings& settings() { return m_settings; }
    QString valueName(const QString& name) const { return matchIgnoringCase(m_settings.childKeys(), name); }
    bool save() {
        m_settings.sync();
        return m_settings.status() == QSettings::NoError;
    }

private:
    QSettings m_settings;
    bool m_valid = false;
};

std::optional<qint32> asRegistryNumber(const QVariant& data) {
    double number = 0;
    switch (data.typeId()) {
    case QMetaType::Bool:
        return data.toBool() ? -1 : 0;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float:
        number = data.toDouble();
        break;
    case QMetaType::QString: {
        bool ok = false;
        number = data.toString().trimmed().toDouble(&ok);
        if (!ok)
            return std::nullopt;
        break;
    }
    default:
        return std::nullopt;
    }
    if (!std::isfinite(number))
        return std::nullopt;
    // Rounds half to even, as the numeric conversion of the registry's callers does.
    const double rounded = std::nearbyint(number);
    if (rounded < std::numeric_limits<qint32>::min() || rounded > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return static_cast<qint32>(rounded);
}

QString trimBlanks(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' '))
        ++first;
    while (last > first && text.at(last - 1) == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

} // namespace

clsRegistry::clsRegistry()
    : m_storeFile(defaultStoreFile()) {}

clsRegistry::clsRegistry(QString storeFile)
    : m_storeFile(std::move(storeFile)) {}

QString clsRegistry::defaultStoreFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/kestrava/registry.ini");
}

bool clsRegistry::RegSetKeyValue(quint32 lngRootKey, const QString& strRegKeyPath,
                                 const QString& strRegKeyName, const QVariant& varRegData) {
    if (!isValidName(strRegKeyName))
        return false;
    KeyAccess key(m_storeFile, lngRootKey, strRegKeyPath);
    if (!key.valid())
        return false;
    const QString name = key.valueName(strRegKeyName);
    if (const std::optional<qint32> number = asRegistryNumber(varRegData)) {
        QByteArray bytes(sizeof(qint32), '\0');
        qToLittleEndian(*number, bytes.data());
        key.settings().setValue(name, bytes);
    } else {
        key.settings().setValue(name, trimBlanks(varRegData.toString()));
    }
    return key.save();
}

} // namespace kestrava
