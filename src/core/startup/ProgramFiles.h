#pragma once

#include <QString>

namespace kestrava {

class clsRegistry;

// Where the install path is recorded.
inline constexpr auto kServerKeyPath = "SOFTWARE\\Talmerin\\Kestrava\\Server";
inline constexpr auto kInstallPathValue = "Path";

// The policy database beside the program: <folder>/<program base name>.tlmr, or where that link points.
QString Database_File_Path(const QString& programFilePath);
// This platform has no short form of a path; the path itself stands for it.
QString Get_Short_Path(const QString& path);
// Writes the program's folder as "Path" under the server key; true when written.
bool Record_Install_Path(clsRegistry& registry, const QString& programFilePath);

} // namespace kestrava
