#pragma once

#include <QHash>
#include <QString>

namespace kestrava::bench {

// One line between the bench processes: a verb, then key=value words.
struct KeyValueLine {
    QString verb;
    QHash<QString, QString> values;

    static KeyValueLine parse(const QString& line);
    qint64 number(const QString& key) const { return values.value(key).toLongLong(); }
};

} // namespace kestrava::bench
