#include "ProgramFolder.h"

#include <QCoreApplication>

QString programFolder() {
    return QCoreApplication::applicationDirPath();
}

QString programInFolder(const QString& name) {
    return programFolder() + QLatin1Char('/') + name;
}
