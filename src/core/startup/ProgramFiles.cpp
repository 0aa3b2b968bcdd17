#include "core/startup/ProgramFiles.h"

#include "core/platform/clsRegistry.h"

#include <QDir>
#include <QFileInfo>

namespace kestrava {

QString Database_File_Path(const QString& programFilePath) {
    const QFileInfo program(programFilePath);
    const QFileInfo database(program.dir().filePath(program.completeBaseName() + QStringLiteral(".tlmr")));
    // A link stands for a database kept elsewhere (the package's /var/lib/kestrava): its side files,
    // compacted copies and permissions belong there.
    return database.isSymLink() ? database.symLinkTarget() : database.filePath();
}

QString Get_Short_Path(const QString& path) {
    return path;
}

bool Record_Install_Path(clsRegistry& registry, const QString& programFilePath) {
    const QString folder = QDir::toNativeSeparators(QFileInfo(programFilePath).absolutePath());
    return registry.RegSetKeyValue(HKEY_LOCAL_MACHINE, QLatin1String(kServerKeyPath),
                                   QLatin1String(kInstallPathValue), Get_Short_Path(folder));
}

} // namespace kestrava
