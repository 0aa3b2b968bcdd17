#include "core/console/Keys.h"

#include "protocol/Fields.h"

namespace kestrava::Keys {

QString rootKey() {
    return QStringLiteral("rComputers");
}
QString rootText() {
    return QStringLiteral("Computers");
}

bool Is_Root_Key(const QString& key) {
    return key.startsWith(QLatin1Char('r'));
}
bool Is_Group_Key(const QString& key) {
    return key.startsWith(QLatin1Char('g'));
}
bool Is_System_Key(const QString& key) {
    return key.startsWith(QLatin1Char('c'));
}

QString Make_Group_Key(const QString& groupName) {
    return QStringLiteral("g") + kFieldSeparator + groupName.toUpper();
}

QString Make_System_Key(const QString& identifier, const QString& computerName) {
    const QString key =
        QStringLiteral("c") + kFieldSeparator + identifier + kFieldSeparator + computerName + kFieldSeparator;
    return key.left(kMaxSystemKeyLength);
}

QString Get_System_Field_From_Key(const QString& key) {
    return Get_Field(key, 2);
}

} // namespace kestrava::Keys
