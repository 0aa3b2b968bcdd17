#include "core/link/ConnectionManager.h"

#include "core/console/Keys.h"
#include "core/console/SystemTree.h"
#include "core/link/SocketErrors.h"
#include "core/store/Database.h"
#include "core/store/Schema.h"
#include "protocol/WireCodec.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTimer>
#include <unistd.h>

namespace kestrava {

ConnectionManager::ConnectionManager(Database& db, SystemTree& tree, QObject* parent)
    : QObject(parent)
    , m_db(db)
    , m_tree(tree) {
    m_server.setListenBacklogSize(kListenBacklog);
    m_server.setMaxPendingConnections(kMaxPendingConnections);
    connect(&m_server, &QTcpServer::newConnection, this, &ConnectionManager::onNewConnection);
    m_writePass.setSingleShot(true);
    connect(&m_writePass, &QTimer::timeout, this, &ConnectionManager::writePass);
    m_closePass.setSingleShot(true);
    connect(&m_closePass, &QTimer::timeout, this, &ConnectionManager::closePass);
    m_silenceCheck.setSingleShot(true);
    connect(&m_silenceCheck, &QTimer::timeout, this, &ConnectionManager::closeSilentConnections);
    connect(&m_server, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError) {
        // Qt stops accepting when the process is out of descriptors; connections that end free some.
        QTimer::singleShot(kAcceptRetry, this, [this] { m_server.resumeAccepting(); });
    });
}

ConnectionManager::~ConnectionManager() {
    Close_All_Sockets();
}

int ConnectionManager::Get_Local_Port() {
    QSqlQuery query = m_db.exec(QStringLiteral("SELECT ID, LocalPort FROM Settings_Table"));
    if (!query.next())
        return Schema::kFactoryLocalPort;
    bool number = false;
    const int port = query.value(1).toInt(&number);
    if (number)
        return port;
    // Port 0 would mean any free port, which no client service could find.
    if (!m_warnedLocalPort)
        qWarning("kestrava: Settings_Table.LocalPort is empty or not a number; listening on port %d.",
                 Schema::kFactoryLocalPort);
    m_warnedLocalPort = true;
    return Schema::kFactoryLocalPort;
}

bool ConnectionManager::Start_Listening() {
    m_listenError.clear();
    try {
        const int port = Get_Local_Port();
        if (port < 0 || port > kMaxSocketIndex) {
            m_listenError = QString::number(SocketErrors::kOverflow) + QStringLiteral(": Overflow");
        } else if (!m_server.listen(QHostAddress::Any, static_cast<quint16>(port))) {
            m_listenError = QString::number(SocketErrors::numberOf(m_server.serverError())) +
                            QStringLiteral(": ") + m_server.errorString();
        }
    } catch (const DatabaseError& error) {
        m_listenError = error.toMessage();
    }
    if (m_listenError.isEmpty())
        return true;
    emit errorOccurred(m_listenError);
    return false;
}

int ConnectionManager::Get_Free_Socket_Index() {
    const int gap = m_gaps.empty() ? static_cast<int>(m_slots.size()) : *m_gaps.begin();
    if (!m_dead.empty() && *m_dead.begin() < gap) {
        const int dead = *m_dead.begin();
        Handle_Socket_Close(dead);
        return dead;
    }
    return gap <= m_maxSocketIndex ? gap : 0;
}

void ConnectionManager::onNewConnection() {
    for (qintptr descriptor = m_server.takeDescriptor(); descriptor >= 0;
         descriptor = m_server.takeDescriptor()) {
        const QHostAddress address = ClientConnection::peerAddressOf(descriptor);
        const int index = admit(address);
        if (index == 0) {
            ::close(static_cast<int>(descriptor));
            continue;
        }
        install(std::make_unique<ClientConnection>(index, descriptor, m_timing), address);
    }
}

void ConnectionManager::accept(qintptr descriptor, std::unique_ptr<Transport> transport,
                               const QByteArray& presentedKey) {
    const QHostAddress address = ClientConnection::peerAddressOf(descriptor);
    const int index = admit(address);
    if (index == 0) {
        transport.reset();
        ::close(static_cast<int>(descriptor));
        return;
    }
    install(
        std::make_unique<ClientConnection>(index, descriptor, std::move(transport), presentedKey, m_timing),
        address);
}

int ConnectionManager::admit(const QHostAddress& address) {
    return m_unidentifiedCount.value(address) < m_maxUnidentifiedPerAddress ? Get_Free_Socket_Index() : 0;
}

void ConnectionManager::install(std::unique_ptr<ClientConnection> connection, const QHostAddress& address) {
    const int index = connection->index();
    if (index >= static_cast<int>(m_slots.size())) {
        for (int i = static_cast<int>(m_slots.size()); i < index; ++i)
            m_gaps.insert(i);
        m_slots.resize(static_cast<std::size_t>(index) + 1);
    }
    m_gaps.erase(index);
    connect(connection.get(), &ClientConnection::messageReceived, this, &ConnectionManager::messageReceived);
    connect(connection.get(), &ClientConnection::closed, this, &ConnectionManager::Handle_Socket_Close);
    connect(connection.get(), &ClientConnection::failed, this, &ConnectionManager::Handle_Socket_Error);
    m_slots[static_cast<std::size_t>(index)] = std::move(connection);
    watchUnidentified(index, address);
    emit connectionAccepted(index);
}

ClientConnection* ConnectionManager::connectionAt(int index) const {
    if (index <= 0 || index >= static_cast<int>(m_slots.size()))
        return nullptr;
    return m_slots[static_cast<std::size_t>(index)].get();
}

void ConnectionManager::watchUnidentified(int index, const QHostAddress& address) {
    m_unidentifiedAddress.insert(index, address);
    ++m_unidentifiedCount[address];
    m_silenceChecks.push_back({index, connectionAt(index), QDeadlineTimer(m_unidentifiedTimeout)});
    if (!m_silenceCheck.isActive())
        m_silenceCheck.start(std::chrono::milliseconds(m_silenceChecks.front().deadline.remainingTime()));
}

void ConnectionManager::forgetUnidentified(int index) {
    const auto it = m_unidentifiedAddress.constFind(index);
    if (it == m_unidentifiedAddress.cend())
        return;
    if (--m_unidentifiedCount[*it] <= 0)
        m_unidentifiedCount.remove(*it);
    m_unidentifiedAddress.erase(it);
}

void ConnectionManager::closeSilentConnections() {
    while (!m_silenceChecks.empty() && m_silenceChecks.front().deadline.hasExpired()) {
        const Accepted accepted = m_silenceChecks.front();
        m_silenceChecks.pop_front();
        const ClientConnection* connection = connectionAt(accepted.index);
        if (connection && connection == accepted.connection && connection->tag().isEmpty())
            Handle_Socket_Close(accepted.index);
    }
    if (!m_silenceChecks.empty())
        m_silenceCheck.start(std::chrono::milliseconds(m_silenceChecks.front().deadline.remainingTime()));
}

void ConnectionManager::release(int index) {
    ClientConnection* connection = connectionAt(index);
    if (!connection)
        return;
    forgetUnidentified(index);
    const QString hash = hashKey(connection->tag());
    if (!connection->tag().isEmpty() && m_slotOfKey.value(hash) == index)
        m_slotOfKey.remove(hash);
    m_dead.erase(index);
    connection->disconnect(this);
    connection->shutDown();
    m_closing.push_back(std::move(m_slots[static_cast<std::size_t>(index)]));
    if (!m_closePass.isActive())
        m_closePass.start(0);
    if (index == static_cast<int>(m_slots.size()) - 1) {
        while (m_slots.size() > 1 && m_slots.back() == nullptr) {
            m_slots.pop_back();
            m_gaps.erase(static_cast<int>(m_slots.size()));
        }
    } else {
        m_gaps.insert(index);
    }
}

void ConnectionManager::closePass() {
    QElapsedTimer slice;
    slice.start();
    while (!m_closing.empty() && slice.elapsed() < kCloseSlice.count())
        m_closing.pop_front();
    if (!m_closing.empty())
        m_closePass.start(0);
}

void ConnectionManager::Handle_Socket_Close(int index) {
    ClientConnection* connection = connectionAt(index);
    if (!connection)
        return;
    const QString key = connection->tag();
    release(index);
    emit connectionClosed(index);
    if (!key.isEmpty())
        markNotConnected(key);
}

void ConnectionManager::markNotConnected(const QString& key) {
    if (Find_Socket_Of_System(key) != 0)
        return;
    TreeNode* node = m_tree.Get_Node_Index_From_Key(key);
    if (!node)
        return;
    m_tree.setImages(node, NodeImage::SystemOffline, NodeImage::SystemOffline);
    m_tree.setTag(node, QString());
    Refresh_List_Item(node->key);
}

void ConnectionManager::Handle_Socket_Error(int index, int number) {
    ClientConnection* connection = connectionAt(index);
    if (!connection)
        return;
    if (SocketErrors::closesConnection(number)) {
        Handle_Socket_Close(index);
        return;
    }
    connection->markFailed();
    m_dead.insert(index);
}

void ConnectionManager::Close_All_Sockets() {
    for (int index : socketIndexes())
        release(index);
    m_server.close();
}

void ConnectionManager::Refresh_List_Item(const QString& key) {
    emit listItemChanged(key);
}

QString ConnectionManager::tagOf(int index) const {
    const ClientConnection* connection = connectionAt(index);
    return connection ? connection->tag() : QString();
}

void ConnectionManager::setTag(int index, const QString& key) {
    ClientConnection* connection = connectionAt(index);
    if (!connection)
        return;
    const QString oldHash = hashKey(connection->tag());
    if (!connection->tag().isEmpty() && m_slotOfKey.value(oldHash) == index)
        m_slotOfKey.remove(oldHash);
    connection->setTag(key);
    if (!key.isEmpty()) {
        m_slotOfKey.insert(hashKey(key), index);
        forgetUnidentified(index);
    }
}

bool ConnectionManager::isConnected(int index) const {
    const ClientConnection* connection = connectionAt(index);
    return connection && connection->isConnected();
}

int ConnectionManager::Find_Socket_Of_System(const QString& key) const {
    if (key.isEmpty())
        return 0;
    return m_slotOfKey.value(hashKey(key), 0);
}

std::optional<QString> ConnectionManager::remoteAddress(const QString& key) const {
    const ClientConnection* connection = connectionAt(Find_Socket_Of_System(key));
    if (!connection)
        return std::nullopt;
    return connection->remoteAddress();
}

std::vector<int> ConnectionManager::socketIndexes() const {
    std::vector<int> indexes;
    for (std::size_t i = 1; i < m_slots.size(); ++i) {
        if (m_slots[i])
            indexes.push_back(static_cast<int>(i));
    }
    return indexes;
}

void ConnectionManager::Send_Data_To_System(const QString& key, const QString& data, int index) {
    sendEncoded(key, WireCodec::encode(data), index);
}

void ConnectionManager::sendEncoded(const QString& key, const QByteArray& bytes, int index) {
    if (index == 0) {
        if (!Keys::Is_System_Key(key))
            return;
        index = Find_Socket_Of_System(key);
        if (index == 0)
            return;
    }
    ClientConnection* connection = connectionAt(index);
    if (connection && connection->isConnected())
        connection->send(bytes);
    else
        Handle_Socket_Close(index);
}

void ConnectionManager::sendEncodedLater(const QString& key, const QByteArray& bytes) {
    if (!Keys::Is_System_Key(key))
        return;
    const int index = Find_Socket_Of_System(key);
    if (index == 0)
        return;
    ClientConnection* connection = connectionAt(index);
    if (!connection || !connection->isConnected()) {
        Handle_Socket_Close(index);
        return;
    }
    if (!connection->enqueue(bytes))
        return;
    m_toWrite.emplace_back(connection);
    if (!m_writePass.isActive())
        m_writePass.start(0);
}

void ConnectionManager::writePass() {
    QElapsedTimer slice;
    slice.start();
    while (!m_toWrite.empty() && slice.elapsed() < kWriteSlice.count()) {
        const QPointer<ClientConnection> connection = m_toWrite.front();
        m_toWrite.pop_front();
        if (connection)
            connection->writeQueued();
    }
    if (!m_toWrite.empty())
        m_writePass.start(0);
}

void ConnectionManager::Send_Data_To_All_Connected_Systems(const QString& data) {
    const QByteArray bytes = WireCodec::encode(data);
    const std::vector<TreeNode*> nodes = m_tree.nodesInOrder();
    for (std::size_t i = 1; i < nodes.size(); ++i) {
        if (nodes[i]->isConnected())
            sendEncodedLater(nodes[i]->key, bytes);
    }
}

} // namespace kestrava
