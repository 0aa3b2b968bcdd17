#include "config/AgentConfig.h"

#include <QFile>
#include <QHostInfo>

namespace kestrava::agent {

QString AgentConfig::machineIdentifier(const QString& machineIdPath) {
    QFile file(machineIdPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // 16 of the 32 digits keep the key short enough to leave room for the name.
    return QString::fromLatin1(file.readLine().trimmed().left(16));
}

QString AgentConfig::shortHostName() {
    return QHostInfo::localHostName().section(QLatin1Char('.'), 0, 0);
}

} // namespace kestrava::agent
