#include "WebServe.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <cstdio>

namespace WebServe {

namespace {

void answer(QTcpSocket* socket) {
    static const QRegularExpression hostLine(QStringLiteral("\\r\\nHost: *([^\\r:]+)"),
                                             QRegularExpression::CaseInsensitiveOption);
    const QString request = QString::fromLatin1(socket->readAll());
    const QString host = hostLine.match(request).captured(1).toHtmlEscaped();
    const QByteArray page =
        QStringLiteral("<html><body><h1>%1</h1><p>A page of the lab's internet.</p></body></html>\n")
            .arg(host.isEmpty() ? QStringLiteral("The lab's internet") : host)
            .toUtf8();
    socket->write("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                  QByteArray::number(page.size()) + "\r\n\r\n" + page);
    socket->disconnectFromHost();
}

} // namespace

int run(const QList<quint16>& ports) {
    for (quint16 port : ports) {
        auto* server = new QTcpServer(QCoreApplication::instance());
        if (!server->listen(QHostAddress::Any, port)) {
            std::fprintf(stderr, "kestrava-lab: the lab's web server cannot listen on port %u: %s\n", port,
                         qPrintable(server->errorString()));
            return 3;
        }
        QObject::connect(server, &QTcpServer::newConnection, server, [server] {
            while (QTcpSocket* socket = server->nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] { answer(socket); });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    std::puts("serving");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

} // namespace WebServe
