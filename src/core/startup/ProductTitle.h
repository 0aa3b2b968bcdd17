#pragma once

#include "core/startup/Version.h"

#include <QString>

namespace kestrava {

// The main window's title and every message box's caption: the product name and six blanks.
inline QString productTitle() {
    return QStringLiteral("Kestrava      ");
}

// "1.4", or "1.4.2" when the revision is not 0.
inline QString versionText() {
    QString text = QString::number(version::major) + QLatin1Char('.') + QString::number(version::minor);
    if (version::revision != 0)
        text += QLatin1Char('.') + QString::number(version::revision);
    return text;
}

} // namespace kestrava
