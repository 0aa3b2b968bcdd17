#include "KeyValueLine.h"

#include <QStringList>

namespace kestrava::bench {

KeyValueLine KeyValueLine::parse(const QString& line) {
    KeyValueLine parsed;
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return parsed;
    parsed.verb = words.first();
    for (qsizetype i = 1; i < words.size(); ++i) {
        const qsizetype equals = words[i].indexOf(QLatin1Char('='));
        if (equals > 0)
            parsed.values.insert(words[i].left(equals), words[i].mid(equals + 1));
    }
    return parsed;
}

} // namespace kestrava::bench
