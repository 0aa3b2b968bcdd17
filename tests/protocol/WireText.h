#pragma once

#include "protocol/Fields.h"

#include <QString>

// Wire text in test rows, with '|' standing for the separator.
inline QString wire(const char* text) {
    return QString::fromUtf8(text).replace(QLatin1Char('|'), kestrava::kFieldSeparator);
}
