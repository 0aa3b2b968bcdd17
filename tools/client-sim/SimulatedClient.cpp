#include "SimulatedClient.h"

#include "protocol/Fields.h"
#include "protocol/Identification.h"
#include "protocol/Messages.h"
#include "protocol/Requests.h"
#include "protocol/WireCodec.h"
#include "tls/TlsClientStream.h"

#include <QHostAddress>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <sys/socket.h>

namespace kestrava {

SimulatedClient::SimulatedClient(QObject* parent)
    : QObject(parent)
    , m_socket(new QTcpSocket(this)) {
    // The console is reached directly; asking the system for a proxy costs a thread's work per connection.
    m_socket->setProxy(QNetworkProxy::NoProxy);
    connect(m_socket, &QTcpSocket::connected, this, [this] {
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        if (!m_tlsContext) {
            emit connected();
            return;
        }
        m_tls = std::make_unique<TlsClientStream>(*m_tlsContext, m_offeredSession);
        flushTls();
    });
    connect(m_socket, &QTcpSocket::disconnected, this, &SimulatedClient::disconnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &SimulatedClient::onReadyRead);
}

void SimulatedClient::useTls(std::shared_ptr<const TlsContext> context, const QByteArray& sessionTicket) {
    m_tlsContext = std::move(context);
    m_offeredSession = sessionTicket;
}

SimulatedClient::~SimulatedClient() = default;

bool SimulatedClient::resumedSession() const {
    return m_tls && m_tls->isEncrypted() && m_tls->resumed();
}

QByteArray SimulatedClient::sessionTicket() const {
    return m_tls ? m_tls->session() : QByteArray();
}

void SimulatedClient::flushTls() {
    if (const QByteArray records = m_tls->takeOutgoing(); !records.isEmpty()) {
        m_socket->write(records);
        m_socket->flush();
    }
    if (!m_tls->failure().isEmpty())
        m_socket->abort();
}

bool SimulatedClient::bindTo(const QHostAddress& local) {
    return m_socket->bind(local);
}

void SimulatedClient::connectTo(const QString& host, quint16 port) {
    m_tls.reset();
    m_socket->connectToHost(host, port);
}

bool SimulatedClient::isConnected() const {
    return m_socket->state() == QAbstractSocket::ConnectedState &&
           (!m_tlsContext || (m_tls && m_tls->isEncrypted()));
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
    if (m_tls) {
        m_tls->write(bytes);
        flushTls();
        return;
    }
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
    QByteArray bytes = m_socket->readAll();
    if (m_tls) {
        const bool wasEncrypted = m_tls->isEncrypted();
        bytes = m_tls->feed(bytes);
        flushTls();
        if (!wasEncrypted && m_tls && m_tls->isEncrypted())
            emit connected();
    }
    if (bytes.isEmpty())
        return;
    const QString message = WireCodec::decodeSingleByte(bytes);
    m_rawArrivals << bytes;
    m_arrivals << message;
    emit arrived(message);
}

} // namespace kestrava
