#include "agent/procs/LoginDefs.h"

#include <QFile>
#include <QList>
#include <limits>

namespace kestrava::agent {

uid_t LoginDefs::uidMinFromText(const QByteArray& text) {
    uid_t uidMin = kDefaultUidMin;
    for (const QByteArray& rawLine : text.split('\n')) {
        const QByteArray line = rawLine.simplified();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QList<QByteArray> words = line.split(' ');
        if (words.size() < 2 || words.first() != "UID_MIN")
            continue;
        QByteArray value = words.at(1);
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        // Base 0 as the account tools read it: 0x for hexadecimal, a leading 0 for octal.
        bool ok = false;
        const qulonglong number = value.toULongLong(&ok, 0);
        // 0 would make root an ordinary user; a bad line leaves what came before.
        if (ok && number > 0 && number < std::numeric_limits<uid_t>::max())
            uidMin = static_cast<uid_t>(number);
    }
    return uidMin;
}

uid_t LoginDefs::uidMin(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return kDefaultUidMin;
    return uidMinFromText(file.readAll());
}

} // namespace kestrava::agent
