#include "SimulatedClient.h"

#include "protocol/Fields.h"
#include "protocol/Identification.h"
#include "protocol/Messages.h"
#include "protocol/Requests.h"
#include "protocol/WireCodec.h"

#include <QHostAddress>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <sys/socket.h>

namespace kestrava {

SimulatedClient::SimulatedClient(QObject* parent)
    : QObject(parent)
    , m_socket(new QTcpSocket(this)) {
    wire();
}

void SimulatedClient::wire() {
    connect(m_socket, &QTcpSocket::connected, this, [this] {
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        if (!m_tls)
            emit connected();
    });
    if (auto* ssl = qobject_cast<QSslSocket*>(m_socket))
        connect(ssl, &QSslSocket::encrypted, this, &SimulatedClient::connected);
    connect(m_socket, &QTcpSocket::disconnected, this, &SimulatedClient::disconnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &SimulatedClient::onReadyRead);
}

void SimulatedClient::useTls(const QSslKey& key, const QSslCertificate& certificate,
                             const QByteArray& sessionTicket) {
    delete m_socket;
    auto* socket = new QSslSocket(this);
    QSslConfiguration configuration = socket->sslConfiguration();
    configuration.setPrivateKey(key);
    configuration.setLocalCertificate(certificate);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    configuration.setCaCertificates({});
    configuration.setSslOption(QSsl::SslOptionDisableSessionPersistence, false);
    configuration.setSessionTicket(sessionTicket);
    socket->setSslConfiguration(configuration);
    m_socket = socket;
    m_tls = true;
    wire();
}

SimulatedClient::~SimulatedClient() = default;

bool SimulatedClient::resumedSession() const {
    const auto* ssl = qobject_cast<const QSslSocket*>(m_socket);
    return ssl && ssl->isEncrypted() && !ssl->peerCertificate().isNull() &&
           ssl->peerCertificateChain().isEmpty();
}

QByteArray SimulatedClient::sessionTicket() const {
    const auto* ssl = qobject_cast<const QSslSocket*>(m_socket);
    return ssl ? ssl->sslConfiguration().sessionTicket() : QByteArray();
}

bool SimulatedClient::bindTo(const QHostAddress& local) {
    return m_socket->bind(local);
}

void SimulatedClient::connectTo(const QString& host, quint16 port) {
    if (auto* ssl = qobject_cast<QSslSocket*>(m_socket))
        ssl->connectToHostEncrypted(host, port);
    else
        m_socket->connectToHost(host, port);
}

bool SimulatedClient::isConnected() const {
    const auto* ssl = qobject_cast<const QSslSocket*>(m_socket);
    return m_socket->state() == QAbstractSocket::ConnectedState && (!ssl || ssl->isEncrypted());
}

void SimulatedClient::identify(const QString& identifier, const QString& computerName,
                               const QString& version) {
    sendText(encodeIdentification({identifier, computerName, version}));
}

void SimulatedClient::reportStatus(const QString& code) {
    sendText(Messages::letterOf(MessageKind::StatusReport) + code);
}

void SimulatedClient::askSchedule() {
    sendText(encodeRequest(Request::Schedule));
}

void SimulatedClient::askSettings() {
    sendText(encodeRequest(Request::Settings));
}

void SimulatedClient::askWhiteList() {
    sendText(encodeRequest(Request::WhiteList));
}

void SimulatedClient::askBlockList() {
    sendText(encodeRequest(Request::BlockList));
}

void SimulatedClient::sendText(const QString& text) {
    sendRaw(WireCodec::encodeUtf16(text));
}

void SimulatedClient::sendRaw(const QByteArray& bytes) {
    m_socket->write(bytes);
    m_socket->flush();
}

void SimulatedClient::disconnectFromConsole() {
    m_socket->disconnectFromHost();
}

void SimulatedClient::resetConnection() {
    // A zero linger time makes the close a reset.
    const linger option{1, 0};
    ::setsockopt(static_cast<int>(m_socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &option,
                 sizeof option);
    m_socket->abort();
}

void SimulatedClient::clearArrivals() {
    m_arrivals.clear();
    m_rawArrivals.clear();
}

QString SimulatedClient::displayText(const QString& message) {
    QString text = message;
    return text.replace(kFieldSeparator, QLatin1Char('|'));
}

QString SimulatedClient::fromDisplayText(const QString& text) {
    QString message = text;
    return message.replace(QLatin1Char('|'), kFieldSeparator);
}

void SimulatedClient::onReadyRead() {
    const QByteArray bytes = m_socket->readAll();
    if (bytes.isEmpty())
        return;
    const QString message = WireCodec::decodeSingleByte(bytes);
    m_rawArrivals << bytes;
    m_arrivals << message;
    emit arrived(message);
}

} // namespace kestrava
