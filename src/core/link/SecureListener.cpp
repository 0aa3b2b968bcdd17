#include "core/link/SecureListener.h"

#include "core/link/ClientConnection.h"
#include "core/link/ConnectionManager.h"
#include "core/link/SocketErrors.h"
#include "core/options/SecureLinkSettings.h"
#include "core/store/DatabaseError.h"
#include "tls/PeerCheck.h"
#include "tls/TlsContext.h"
#include "tls/TlsTransport.h"

#include <QDateTime>
#include <QDebug>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <unistd.h>
#include <utility>

using namespace Qt::StringLiterals;

namespace kestrava {

namespace {

QString shown(const QHostAddress& address) {
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    return mapped ? QHostAddress(v4).toString() : address.toString();
}

} // namespace

SecureListener::SecureListener(ConnectionManager& connections, QObject* parent)
    : DescriptorServer(parent)
    , m_connections(connections) {
    setListenBacklogSize(ConnectionManager::kListenBacklog);
    connect(this, &QTcpServer::newConnection, this, &SecureListener::startHandshakes);
    connect(this, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError) {
        QTimer::singleShot(ConnectionManager::kAcceptRetry, this, [this] { resumeAccepting(); });
    });
    m_stallCheck.setSingleShot(true);
    connect(&m_stallCheck, &QTimer::timeout, this, &SecureListener::closeStalled);
}

SecureListener::~SecureListener() {
    for (const Waiting& waiting : m_waiting)
        ::close(waiting.descriptor);
    for (const std::deque<int>& held : std::as_const(m_heldBack))
        for (const int descriptor : held)
            ::close(descriptor);
    for (auto& [id, handshake] : m_handshaking) {
        handshake->readable.reset();
        handshake->writable.reset();
        handshake->tls.reset();
        ::close(handshake->descriptor);
    }
}

void SecureListener::setIdentity(const TlsIdentity& identity) {
    m_identity = identity;
    m_context = identity.isValid() && !identity.certificate.isNull()
                    ? std::make_unique<TlsContext>(TlsContext::Side::Server, identity)
                    : nullptr;
}

bool SecureListener::listen(int port) {
    m_listenError.clear();
    if (!m_identity.isValid() || m_identity.certificate.isNull()) {
        m_listenError = m_identity.error.isEmpty() ? u"The console has no key for the authenticated port."_s
                                                   : m_identity.error;
    } else if (!m_context || !m_context->error().isEmpty()) {
        m_listenError =
            m_context ? m_context->error() : u"The console has no key for the authenticated port."_s;
    } else if (port < 0 || port > 65535) {
        m_listenError = QString::number(SocketErrors::kOverflow) + u": Overflow"_s;
    } else if (!QTcpServer::listen(QHostAddress::Any, static_cast<quint16>(port))) {
        m_listenError = QString::number(SocketErrors::numberOf(serverError())) + u": "_s + errorString();
    }
    return m_listenError.isEmpty();
}

QStringList SecureListener::openPorts(Database& db) {
    QStringList failures;
    bool secureOnly = false;
    try {
        secureOnly = SecureLinkSettings::secureOnly(db);
        if (!listen(SecureLinkSettings::securePort(db)))
            failures << m_listenError;
    } catch (const DatabaseError& error) {
        failures << error.toMessage();
    }
    if (const QString failure = setSecureOnly(secureOnly); !failure.isEmpty())
        failures << failure;
    return failures;
}

QString SecureListener::setSecureOnly(bool on) {
    if (on) {
        m_connections.stopListening();
        return {};
    }
    if (m_connections.isListening() || m_connections.Start_Listening())
        return {};
    return m_connections.listenError();
}

void SecureListener::startHandshakes() {
    // Not entered again from inside: a refusal's signal reaches code outside this class.
    if (m_starting)
        return;
    m_starting = true;
    // Every connection leaves the kernel's queue at once: a full queue drops the packets of clients that
    // take themselves for connected, and their retransmissions come seconds later, after the deadline.
    for (qintptr descriptor = takeDescriptor(); descriptor >= 0; descriptor = takeDescriptor())
        arrive(static_cast<int>(descriptor));
    while (static_cast<int>(m_handshaking.size()) < kMaxHandshakes && !m_waiting.empty()) {
        const Waiting next = m_waiting.front();
        m_waiting.pop_front();
        if (m_startedFrom.value(next.address) < kMaxHandshakesPerAddress)
            begin(next);
        else
            m_heldBack[next.address].push_back(next.descriptor);
    }
    m_starting = false;
    if (static_cast<int>(m_waiting.size()) < kMaxWaiting)
        resumeAccepting();
    else
        pauseAccepting();
}

void SecureListener::arrive(int descriptor) {
    const QHostAddress address = ClientConnection::peerAddressOf(descriptor);
    if (m_handshakeCount.value(address) + 1 + m_connections.unidentifiedFrom(address) >
        m_connections.maxUnidentifiedPerAddress()) {
        report(address, u"too many unidentified connections from this address"_s);
        ::close(descriptor);
        return;
    }
    ++m_handshakeCount[address];
    m_waiting.push_back({descriptor, address});
}

void SecureListener::begin(const Waiting& arrival) {
    const int descriptor = arrival.descriptor;
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) | O_NONBLOCK);
    const int on = 1;
    ::setsockopt(descriptor, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const quint64 id = m_nextId++;
    auto handshake = std::make_unique<Handshake>();
    handshake->id = id;
    handshake->descriptor = descriptor;
    handshake->address = arrival.address;
    ++m_startedFrom[arrival.address];
    handshake->tls = std::make_unique<TlsTransport>(*m_context, descriptor);
    handshake->readable = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
    connect(handshake->readable.get(), &QSocketNotifier::activated, this, [this, id] { advance(id); });
    m_handshaking.emplace(id, std::move(handshake));
    m_deadlines.emplace_back(id, QDeadlineTimer(m_handshakeTimeout));
    if (!m_stallCheck.isActive())
        m_stallCheck.start(m_handshakeTimeout);
}

void SecureListener::advance(quint64 id) {
    const auto it = m_handshaking.find(id);
    if (it == m_handshaking.end())
        return;
    Handshake& handshake = *it->second;
    const Transport::Result result = handshake.tls->handshake();
    switch (result.status) {
    case Transport::Status::Done:
        finish(id);
        return;
    case Transport::Status::WantsRead:
        if (handshake.writable)
            handshake.writable->setEnabled(false);
        return;
    case Transport::Status::WouldBlock:
        if (!handshake.writable) {
            handshake.writable =
                std::make_unique<QSocketNotifier>(handshake.descriptor, QSocketNotifier::Write);
            connect(handshake.writable.get(), &QSocketNotifier::activated, this, [this, id] { advance(id); });
        }
        handshake.writable->setEnabled(true);
        return;
    case Transport::Status::Closed:
        refuse(id, u"the connection ended during its handshake"_s);
        return;
    case Transport::Status::Failed:
        refuse(id,
               result.error != 0 ? QString::fromLocal8Bit(strerror(result.error)) : handshake.tls->failure());
        return;
    }
}

void SecureListener::finish(quint64 id) {
    std::unique_ptr<Handshake> handshake = take(id);
    const PeerCheck::Facts certificate = handshake->tls->peerCertificate();
    const QString refusal = PeerCheck::refusal(certificate, {}, QDateTime::currentDateTimeUtc());
    if (!refusal.isEmpty()) {
        report(handshake->address, refusal);
        handshake->tls.reset();
        ::close(handshake->descriptor);
    } else {
        ++m_handshakesDone;
        if (handshake->tls->resumed())
            ++m_handshakesResumed;
        m_connections.accept(handshake->descriptor, std::move(handshake->tls), certificate.digest);
    }
    startHandshakes();
}

void SecureListener::refuse(quint64 id, const QString& why) {
    std::unique_ptr<Handshake> handshake = take(id);
    if (!handshake)
        return;
    report(handshake->address, why);
    handshake->tls.reset();
    ::close(handshake->descriptor);
    startHandshakes();
}

void SecureListener::report(const QHostAddress& address, const QString& why) {
    const QString line =
        u"kestrava: authenticated port: connection from %1 refused: %2"_s.arg(shown(address), why);
    qWarning().noquote() << line;
    emit refused(line);
}

std::unique_ptr<SecureListener::Handshake> SecureListener::take(quint64 id) {
    const auto it = m_handshaking.find(id);
    if (it == m_handshaking.end())
        return nullptr;
    std::unique_ptr<Handshake> handshake = std::move(it->second);
    m_handshaking.erase(it);
    if (--m_handshakeCount[handshake->address] <= 0)
        m_handshakeCount.remove(handshake->address);
    if (--m_startedFrom[handshake->address] <= 0)
        m_startedFrom.remove(handshake->address);
    // The address's longest waiting connection goes first when a turn comes.
    if (const auto held = m_heldBack.find(handshake->address); held != m_heldBack.end()) {
        m_waiting.push_front({held->front(), handshake->address});
        held->pop_front();
        if (held->empty())
            m_heldBack.erase(held);
    }
    for (std::unique_ptr<QSocketNotifier>* notifier : {&handshake->readable, &handshake->writable}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            notifier->release()->deleteLater();
        }
    }
    while (!m_deadlines.empty() && m_handshaking.count(m_deadlines.front().first) == 0)
        m_deadlines.pop_front();
    return handshake;
}

void SecureListener::closeStalled() {
    while (!m_deadlines.empty() && m_deadlines.front().second.hasExpired()) {
        const quint64 id = m_deadlines.front().first;
        m_deadlines.pop_front();
        refuse(id, u"no handshake within %1 s"_s.arg(double(m_handshakeTimeout.count()) / 1000.0));
    }
    if (!m_deadlines.empty())
        m_stallCheck.start(std::chrono::milliseconds(m_deadlines.front().second.remainingTime()));
}

} // namespace kestrava
