#include "console/Keys.h"

#include "protocol/Fields.h"

namespace kestrava::Keys {

QString rootKey() { return QStringLiteral("rComputers"); }
QString rootText() { return QStringLiteral("Computers"); }

bool isRootKey(const QString& key) { return key.startsWith(QLatin1Char('r')); }
bool isGroupKey(const QString& key) { return key.startsWith(QLatin1Char('g')); }
bool isSystemKey(const QString& key) { return key.startsWith(QLatin1Char('c')); }

QString makeGroupKey(const QString& groupName) {
    return QStringLiteral("g") + kFieldSeparator + groupName.toUpper();
}

QString makeSystemKey(const QString& identifier, const QString& computerName) {
    const QString key = QStringLiteral("c") + kFieldSeparator + identifier + kFieldSeparator + computerName +
                        kFieldSeparator;
    return key.left(kMaxSystemKeyLength);
}

QString systemFieldFromKey(const QString& key) { return getField(key, 2); }

} // namespace kestrava::Keys
