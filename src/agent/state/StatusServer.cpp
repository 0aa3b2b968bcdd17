#include "agent/state/StatusServer.h"

#include <QLocalSocket>

namespace kestrava::agent {

StatusServer::StatusServer(QString directory, std::function<QString()> text, QObject* parent)
    : QObject(parent)
    , m_directory(std::move(directory))
    , m_text(std::move(text)) {
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &StatusServer::answer);
}

QString StatusServer::socketPath(const QString& directory) {
    return directory + QStringLiteral("/status.socket");
}

bool StatusServer::listen(QString* error) {
    const QString path = socketPath(m_directory);
    // A socket left by an agent that was killed would refuse the new one.
    QLocalServer::removeServer(path);
    if (m_server.listen(path))
        return true;
    *error = QStringLiteral("cannot answer --status at %1: %2").arg(path, m_server.errorString());
    return false;
}

void StatusServer::answer() {
    while (QLocalSocket* client = m_server.nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        // Nothing is read: the answer is written and the connection closed once it has left.
        client->write(m_text().toUtf8());
        client->disconnectFromServer();
    }
}

std::optional<QString> StatusServer::ask(const QString& directory) {
    QLocalSocket socket;
    socket.connectToServer(socketPath(directory), QIODevice::ReadOnly);
    if (!socket.waitForConnected(kAskTimeoutMs))
        return std::nullopt;
    QByteArray answer;
    while (socket.state() == QLocalSocket::ConnectedState && socket.waitForReadyRead(kAskTimeoutMs))
        answer += socket.readAll();
    answer += socket.readAll();
    if (answer.isEmpty())
        return std::nullopt;
    return QString::fromUtf8(answer);
}

} // namespace kestrava::agent
