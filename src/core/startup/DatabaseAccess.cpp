#include "core/startup/DatabaseAccess.h"

#include <QDir>
#include <QFileInfo>

namespace kestrava {

QString databaseAccessProblem(const QString& path) {
    const QFileInfo file(path);
    const QFileInfo folder(file.absolutePath());
    // A folder closed to this user hides the file as well; a missing file is reported when it is opened.
    const bool reachable = folder.isExecutable();
    if (!folder.exists() ||
        (reachable && (!file.exists() || (file.isReadable() && file.isWritable() && folder.isWritable()))))
        return {};
    const QString where = QDir::toNativeSeparators(file.absoluteFilePath());
    const QString group = reachable ? file.group() : folder.group();
    if (group.isEmpty() || group == QLatin1String("root"))
        return QStringLiteral("You may not change the policy database '%1'. Ask an administrator to give you "
                              "write access to it and to its folder.")
            .arg(where);
    const QString user = qEnvironmentVariable("USER", QStringLiteral("USER"));
    return QStringLiteral("You may not change the policy database '%1': only the members of the group '%2' "
                          "may. Ask an administrator to run \"adduser %3 %2\", then log out and in again.")
        .arg(where, group, user);
}

} // namespace kestrava
