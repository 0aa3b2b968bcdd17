#include "core/link/IncomingMessages.h"

#include "core/console/Keys.h"
#include "core/console/SystemTree.h"
#include "core/link/ConnectionManager.h"
#include "core/link/Messenger.h"
#include "core/lists/ProgramListPayload.h"
#include "core/options/SettingsPayload.h"
#include "core/startup/Clock.h"
#include "core/startup/TimeText.h"
#include "core/store/Database.h"
#include "core/store/DatabaseError.h"
#include "core/store/StorableText.h"
#include "protocol/Identification.h"
#include "protocol/ListOrders.h"
#include "protocol/Messages.h"
#include "protocol/ShortOrders.h"
#include "protocol/StatusReport.h"
#include "tls/Fingerprint.h"

#include <QDebug>
#include <QPointer>
#include <QSqlRecord>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace kestrava {

IncomingMessages::IncomingMessages(Database& db, SystemTree& tree, const Clock& clock,
                                   ConnectionManager& connections, Messenger& messenger, QObject* parent)
    : QObject(parent)
    , m_db(db)
    , m_tree(tree)
    , m_clock(clock)
    , m_connections(connections)
    , m_messenger(messenger)
    , m_pins(db) {}

QString IncomingMessages::statusText(QStringView code) {
    const std::optional<StatusReport> report =
        decodeStatusReport(Messages::letterOf(MessageKind::StatusReport) + code.toString());
    if (!report)
        return {};
    switch (*report) {
    case StatusReport::InternetOn:
        return QStringLiteral("Internet ON ");
    case StatusReport::InternetOff:
        return QStringLiteral("Internet OFF ");
    case StatusReport::ScheduleOn:
        return QStringLiteral("Scheduler Started ");
    case StatusReport::ScheduleOff:
        return QStringLiteral("Scheduler Stopped ");
    case StatusReport::TimerOn:
        return QStringLiteral("Timer Started ");
    case StatusReport::TimerOff:
        break;
    }
    return QStringLiteral("Timer Stopped ");
}

void IncomingMessages::handleMessage(int index, const QString& message) {
    const auto kind = Messages::kindOf(MessageSender::Client, message);
    if (!kind)
        return;
    try {
        const QString payload = Messages::payloadOf(message);
        if (*kind == MessageKind::Identification) {
            identify(index, payload, true);
            return;
        }
        if (*kind == MessageKind::StatusReport) {
            Report_Client_Status(payload, index);
            return;
        }
        // Requests of a connection that has not identified itself find no system.
        const QString key = m_connections.tagOf(index);
        if (key.isEmpty())
            return;
        switch (*kind) {
        case MessageKind::AskSchedule:
            m_messenger.sendScheduleToSystem(key);
            break;
        case MessageKind::AskSettings:
            m_connections.Send_Data_To_System(key, encodeSettings(Get_The_Settings(m_db, key)));
            break;
        case MessageKind::AskWhiteList:
            m_messenger.Send_URL_List_To_System(key);
            break;
        case MessageKind::AskBlockList:
            m_messenger.Enumerate_Childs_And_Send_Message(key, encodeBlockList(Get_Program_List(m_db, key)));
            break;
        default:
            break;
        }
    } catch (const DatabaseError& error) {
        emit errorOccurred(error.toMessage());
    }
}

void IncomingMessages::identify(int index, const QString& payload, bool mayRetry) {
    try {
        if (!Identify_Client(payload, index))
            return;
    } catch (const DatabaseError& error) {
        if (!mayRetry) {
            qWarning().noquote() << "kestrava: connection" << index
                                 << "closed, its system could not be stored:" << error.toMessage();
            m_connections.Handle_Socket_Close(index);
            return;
        }
        qWarning().noquote() << "kestrava: connection" << index
                             << "identified a system that could not be stored, trying again:"
                             << error.toMessage();
        const QPointer<ClientConnection> connection = m_connections.connectionAt(index);
        const QString before = m_connections.tagOf(index);
        QTimer::singleShot(kRecordRetry, this, [this, connection, index, payload, before] {
            if (connection && m_connections.connectionAt(index) == connection &&
                m_connections.tagOf(index) == before)
                identify(index, payload, false);
        });
        throw;
    }
    const QString key = m_connections.tagOf(index);
    m_connections.Send_Data_To_System(key, encodeFlag(Messages::kFlagSynchronized));
    m_messenger.sendScheduleToSystem(key);
}

bool IncomingMessages::Identify_Client(const QString& payload, int index) {
    const Identification id = decodeIdentification(Messages::letterOf(MessageKind::Identification) + payload);
    if (!id.hasClientVersion()) {
        m_connections.Send_Data_To_System(QString(), encodeBareOrder(MessageKind::Terminate), index);
        return false;
    }
    // The cuts may split a pair, and a peer may send any 16-bit values: key and name are taken as the
    // database will give them back, so that the system finds its row again after a restart.
    const QString name = StorableText::of(id.computerName.left(Keys::kMaxComputerNameLength));
    const QString key = StorableText::of(Keys::Make_System_Key(id.identifier, name));
    TreeNode* node = m_tree.Get_Node_Index_From_Key(key);

    const QByteArray presented = KeyPins::presentedBy(m_connections.connectionAt(index));
    const QByteArray pinned = node ? m_pins.pinOf(key) : QByteArray();
    if (const QString why = KeyPins::refusal(pinned, presented); !why.isEmpty()) {
        const QString line = u"kestrava: identification as %1 from %2 refused: %3"_s.arg(
            name, m_connections.connectionAt(index)->remoteAddress(), why);
        qWarning().noquote() << line;
        m_connections.Handle_Socket_Close(index);
        emit identificationRefused(line);
        return false;
    }
    // Stored first: a connection is tied only to a system that the tree and the database hold.
    if (!node)
        recordNewSystem(key, name, presented);
    else if (pinned.isEmpty() && !presented.isEmpty())
        m_pins.pin(key, presented);

    const int old = m_connections.Find_Socket_Of_System(key);
    if (old != 0 && old != index)
        m_connections.Handle_Socket_Close(old);

    const QString previous = m_connections.tagOf(index);
    m_connections.setTag(index, key);
    // A connection that identifies as another system no longer holds the first one.
    if (!previous.isEmpty() && previous.compare(key, Qt::CaseInsensitive) != 0) {
        if (TreeNode* previousNode = m_tree.Get_Node_Index_From_Key(previous);
            previousNode && m_connections.Find_Socket_Of_System(previous) == 0) {
            m_tree.setImages(previousNode, NodeImage::SystemOffline, NodeImage::SystemOffline);
            m_tree.setTag(previousNode, QString());
            m_connections.Refresh_List_Item(previousNode->key);
        }
    }
    if (node) {
        m_tree.setImages(node, NodeImage::SystemOnline, NodeImage::SystemOnline);
        m_connections.Refresh_List_Item(node->key);
    }
    return true;
}

void IncomingMessages::recordNewSystem(const QString& key, const QString& name, const QByteArray& digest) {
    TreeNode* parent = m_tree.root();
    int groupId = 0;
    const std::optional<QSqlRecord> group =
        m_db.firstRow(QStringLiteral("SELECT Group_Key, Group_ID FROM Group_Table WHERE Group_Name=(SELECT "
                                     "AddToGroup FROM Settings_Table)"));
    if (group) {
        // A group row without its node would leave the system out of sight; it goes under the root.
        if (TreeNode* groupNode = m_tree.Get_Node_Index_From_Key(group->value(0).toString())) {
            parent = groupNode;
            groupId = group->value(1).toInt();
        }
    }
    // A new row changes no payload but its own, whatever the payloads were kept for: thousands of new
    // systems in a storm share their group's.
    m_db.execForKey(
        key,
        QStringLiteral(
            "INSERT INTO System_Table(System_Key,System_Name,Group_ID,Key_Fingerprint) VALUES(?,?,?,?)"),
        {key, name, groupId, digest.isEmpty() ? QVariant() : QVariant(Fingerprint::text(digest))});
    m_tree.addNode(parent, key, name, NodeImage::SystemOnline, NodeImage::SystemOnline);
}

void IncomingMessages::Report_Client_Status(const QString& payload, int index) {
    const QString key = m_connections.tagOf(index);
    TreeNode* node = key.isEmpty() ? nullptr : m_tree.Get_Node_Index_From_Key(key);
    if (!node)
        return;
    const QString text = statusText(QStringView(payload).left(2));
    if (!text.isEmpty())
        m_tree.setTag(node, text + TimeText::statusStamp(m_clock.now()));
    m_connections.Refresh_List_Item(node->key);
}

} // namespace kestrava
