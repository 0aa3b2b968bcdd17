#pragma once

#include <QString>

// The folder of the running test program, where the build also puts the console and its helpers.
QString programFolder();
// programFolder()/name
QString programInFolder(const QString& name);
