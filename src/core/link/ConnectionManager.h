#pragma once

#include "core/link/ClientConnection.h"
#include "core/link/DescriptorServer.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace kestrava {

class Database;
class SystemTree;

// sckServer: the listening socket (index 0) and one slot per accepted connection, indexes 1 to 32767,
// lowest free or dead slot first. A slot's tag is the key of the system identified on it; a system is
// connected exactly while a slot holds its key, and its tree node then shows image 5.
class ConnectionManager : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxSocketIndex = 32767;
    // Reconnect storms overflow a short accept queue.
    static constexpr int kListenBacklog = 4096;
    static constexpr int kMaxPendingConnections = 1 << 16;
    static constexpr std::chrono::milliseconds kSendSpacing{50};
    // After the process ran out of descriptors, accepting starts again after this pause.
    static constexpr std::chrono::milliseconds kAcceptRetry{1000};
    // The longest a write pass keeps the event loop.
    static constexpr std::chrono::milliseconds kWriteSlice{10};
    // The longest a pass that closes released connections keeps the event loop.
    static constexpr std::chrono::milliseconds kCloseSlice{4};
    // A connection that has not identified itself by then is closed: silent peers do not keep slots.
    static constexpr std::chrono::milliseconds kUnidentifiedTimeout{60000};
    // Further connections from an address that holds this many unidentified ones are closed at once,
    // so that one peer cannot take the slots that the systems need.
    static constexpr int kMaxUnidentifiedPerAddress = 256;

    ConnectionManager(Database& db, SystemTree& tree, QObject* parent = nullptr);
    ~ConnectionManager() override;

    // For connections accepted from now on.
    void setSendSpacing(std::chrono::milliseconds spacing) { m_timing.sendSpacing = spacing; }
    void setIdentificationWait(std::chrono::milliseconds wait) { m_timing.identificationWait = wait; }
    void setUnidentifiedTimeout(std::chrono::milliseconds timeout) { m_unidentifiedTimeout = timeout; }
    void setMaxUnidentifiedPerAddress(int count) { m_maxUnidentifiedPerAddress = count; }
    int maxUnidentifiedPerAddress() const { return m_maxUnidentifiedPerAddress; }
    // The highest slot index; lowered only to try a full table.
    void setMaxSocketIndex(int index) { m_maxSocketIndex = std::min(index, kMaxSocketIndex); }
    // Unidentified connections now held from address.
    int unidentifiedFrom(const QHostAddress& address) const { return m_unidentifiedCount.value(address); }

    // Listens on Get_Local_Port. On failure the console goes on without listening: returns false,
    // keeps "number: description" in listenError() and emits errorOccurred with it.
    bool Start_Listening();
    QString listenError() const { return m_listenError; }
    bool isListening() const { return m_server.isListening(); }
    // Closes the plain port only; the connections stay.
    void stopListening() { m_server.close(); }
    // A connection of the authenticated port after its handshake, over transport, whose peer proved the
    // certificate with the SHA-256 presentedKey: takes a slot, or is closed when the address holds too
    // many unidentified connections or no slot is free.
    void accept(qintptr descriptor, std::unique_ptr<Transport> transport, const QByteArray& presentedKey);
    quint16 listeningPort() const { return m_server.serverPort(); }

    // Settings_Table.LocalPort of the first row, 8999 when there is none or it is empty or not a number
    // (said once on standard error). Throws DatabaseError.
    int Get_Local_Port();
    // The lowest gap or dead slot (a dead one is cleaned up first), else one above the highest;
    // 0 when every index up to 32767 is taken.
    int Get_Free_Socket_Index();

    // With index 0 the slot is looked up by a system key; nothing is sent when there is none. A slot
    // that is not connected is cleaned up instead of sent to.
    void Send_Data_To_System(const QString& key, const QString& data, int index = 0);
    // The same with the message already in its wire bytes, for walks that send one message to many.
    void sendEncoded(const QString& key, const QByteArray& bytes, int index = 0);
    // For walks over many systems: the message joins the system's queue at once, in order with
    // everything else for it, and the write pass hands it to the kernel in slices, giving the event loop
    // back between them, so that a broadcast to thousands never holds the console for long.
    void sendEncodedLater(const QString& key, const QByteArray& bytes);
    // Every tree node after the root that shows a connected system.
    void Send_Data_To_All_Connected_Systems(const QString& data);
    // The slot tied to the key, ignoring letter case; 0 when none.
    int Find_Socket_Of_System(const QString& key) const;
    // Drops the slot; its system's node turns to image 4 and loses its status text.
    void Handle_Socket_Close(int index);
    // A socket error by its Windows Sockets number: network down or dropped, aborted, reset, refused
    // and name-service failures close the slot; any other leaves it failed until it is cleaned up.
    void Handle_Socket_Error(int index, int number);
    // Every slot and the listening socket; the tree is left as it is.
    void Close_All_Sockets();
    // Tells the list that the row of this key needs its connection and status columns again.
    void Refresh_List_Item(const QString& key);

    QString tagOf(int index) const;
    void setTag(int index, const QString& key);
    bool isConnected(int index) const;
    // The peer's IP address of the slot tied to the key; nullopt when none is.
    std::optional<QString> remoteAddress(const QString& key) const;
    // The slots in use, ascending.
    std::vector<int> socketIndexes() const;
    ClientConnection* connectionAt(int index) const;
    // Released connections whose descriptors are not closed yet.
    std::size_t closingCount() const { return m_closing.size(); }

signals:
    void connectionAccepted(int index);
    void connectionClosed(int index);
    void messageReceived(int index, const QString& message);
    // A system's connection state or status text changed (Refresh_List_Item).
    void listItemChanged(const QString& key);
    // "number: description" of a failure the administrator should see.
    void errorOccurred(const QString& message);

private:
    void onNewConnection();
    // The slot for a new connection from address, or 0 when the address holds too many unidentified
    // connections or no slot is free.
    int admit(const QHostAddress& address);
    void install(std::unique_ptr<ClientConnection> connection, const QHostAddress& address);
    void release(int index);
    void markNotConnected(const QString& key);
    void writePass();
    void closePass();
    void watchUnidentified(int index, const QHostAddress& address);
    void forgetUnidentified(int index);
    void closeSilentConnections();
    static QString hashKey(const QString& key) { return key.toUpper(); }

    Database& m_db;
    SystemTree& m_tree;
    DescriptorServer m_server;
    QString m_listenError;
    bool m_warnedLocalPort = false;
    ClientConnection::Timing m_timing{kSendSpacing, InboundSplitter::kIdentificationWait};
    // Index 0 stands for the listening socket and is never a slot. The table owns its connections
    // itself: as children of this object, the removal of each from the child list made a mass drop
    // quadratic.
    std::vector<std::unique_ptr<ClientConnection>> m_slots =
        std::vector<std::unique_ptr<ClientConnection>>(1);
    // Released connections, destroyed (their descriptors closed) in slices by the close pass: a close
    // costs as much as everything else of a dropped connection together.
    std::deque<std::unique_ptr<ClientConnection>> m_closing;
    QTimer m_closePass;
    std::set<int> m_gaps;
    std::set<int> m_dead;
    QHash<QString, int> m_slotOfKey;
    std::deque<QPointer<ClientConnection>> m_toWrite;
    QTimer m_writePass;
    std::chrono::milliseconds m_unidentifiedTimeout{kUnidentifiedTimeout};
    int m_maxUnidentifiedPerAddress = kMaxUnidentifiedPerAddress;
    int m_maxSocketIndex = kMaxSocketIndex;
    // Slot -> peer address, and address -> count, of the connections not yet identified.
    QHash<int, QHostAddress> m_unidentifiedAddress;
    QHash<QHostAddress, int> m_unidentifiedCount;
    // Accepted connections in the order of their deadlines to identify.
    struct Accepted {
        int index;
        QPointer<ClientConnection> connection;
        QDeadlineTimer deadline;
    };
    std::deque<Accepted> m_silenceChecks;
    QTimer m_silenceCheck;
};

} // namespace kestrava
