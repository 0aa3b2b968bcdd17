#pragma once

#include "protocol/Fields.h"

#include <QString>
#include <QStringList>
#include <QTest>
#include <initializer_list>

// Wire text in test rows, with '|' standing for the separator.
inline QString wire(const char* text) {
    return QString::fromUtf8(text).replace(QLatin1Char('|'), kestrava::kFieldSeparator);
}

inline QStringList wire(std::initializer_list<const char*> texts) {
    QStringList out;
    for (const char* text : texts)
        out << wire(text);
    return out;
}

// Messages shown with '|' for the separator.
inline QStringList shown(QStringList messages) {
    return messages.replaceInStrings(kestrava::kFieldSeparator, QStringLiteral("|"));
}
