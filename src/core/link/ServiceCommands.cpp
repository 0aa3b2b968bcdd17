#include "core/link/ServiceCommands.h"

#include "core/console/Keys.h"
#include "core/link/ConnectionManager.h"
#include "core/link/Messenger.h"
#include "core/store/Database.h"
#include "protocol/ShortOrders.h"

#include <QTimer>

namespace kestrava {

namespace {

QString question(const QString& prefix, const QString& key, const QString& text) {
    if (Keys::Is_Group_Key(key))
        return prefix + QStringLiteral("all client(s) under the group '") + text + QStringLiteral("'?");
    if (Keys::Is_System_Key(key))
        return prefix + QStringLiteral("the client in the system '") + text + QStringLiteral("'?");
    return prefix;
}

} // namespace

ServiceCommands::ServiceCommands(Database& db, ConnectionManager& connections, Messenger& messenger,
                                 QObject* parent)
    : QObject(parent)
    , m_db(db)
    , m_connections(connections)
    , m_messenger(messenger) {}

void ServiceCommands::setPauses(std::chrono::milliseconds scheduleSettle,
                                std::chrono::milliseconds flagSettle) {
    m_scheduleSettle = scheduleSettle;
    m_flagSettle = flagSettle;
}

void ServiceCommands::blankScreen(const QString& key, bool blank) {
    const int flag = blank ? 1 : 0;
    m_db.transaction([&] {
        if (Keys::Is_Group_Key(key)) {
            m_db.exec(QStringLiteral("UPDATE Group_Table SET Blank_Screen=? WHERE Group_Key=?"), {flag, key});
            m_db.exec(QStringLiteral("UPDATE System_Table SET Blank_Screen=? WHERE "
                                     "Group_ID=(SELECT Group_ID FROM Group_Table WHERE Group_Key=?)"),
                      {flag, key});
        } else if (Keys::Is_System_Key(key)) {
            // A system's own choice clears its group's flag.
            m_db.exec(QStringLiteral("UPDATE Group_Table SET Blank_Screen=0 WHERE "
                                     "Group_ID=(SELECT Group_ID FROM System_Table WHERE System_Key=?)"),
                      {key});
            m_db.exec(QStringLiteral("UPDATE System_Table SET Blank_Screen=? WHERE System_Key=?"),
                      {flag, key});
        }
    });
    m_messenger.Enumerate_Childs_And_Send_Message(key, encodeBlankScreen(blank));
}

void ServiceCommands::makeVisible(const QString& key) {
    m_messenger.Enumerate_Childs_And_Send_Message(key, encodeBareOrder(MessageKind::MakeVisible));
}

void ServiceCommands::makeInvisible(const QString& key) {
    m_messenger.Enumerate_Childs_And_Send_Message(key, encodeBareOrder(MessageKind::MakeInvisible));
}

void ServiceCommands::terminate(const QString& key) {
    m_messenger.Enumerate_Childs_And_Send_Message(key, encodeBareOrder(MessageKind::Terminate));
}

void ServiceCommands::uninstall(const QString& key) {
    m_messenger.Enumerate_Childs_And_Send_Message(key, encodeBareOrder(MessageKind::Uninstall));
}

QString ServiceCommands::terminateQuestion(const QString& key, const QString& text) {
    return question(QStringLiteral("Are you sure you want to terminate "), key, text);
}

QString ServiceCommands::uninstallQuestion(const QString& key, const QString& text) {
    return question(QStringLiteral("Are you sure you want to Un-install "), key, text);
}

void ServiceCommands::setBusy(bool busy) {
    if (m_busy == busy)
        return;
    m_busy = busy;
    emit busyChanged(busy);
}

template <typename Step> bool ServiceCommands::runStep(Step step) {
    try {
        step();
        return true;
    } catch (const DatabaseError& error) {
        setBusy(false);
        emit errorOccurred(error.toMessage());
        return false;
    }
}

bool ServiceCommands::synchronize(const QString& key) {
    if (m_busy)
        return false;
    setBusy(true);
    const QString flag = encodeFlag(Messages::kFlagSynchronized);
    if (Keys::Is_System_Key(key)) {
        if (runStep([&] {
                m_connections.Send_Data_To_System(key, flag);
                m_messenger.sendScheduleToSystem(key);
            }))
            setBusy(false);
        return true;
    }
    if (!Keys::Is_Group_Key(key)) {
        setBusy(false);
        return true;
    }
    if (!runStep([&] { m_messenger.Enumerate_Childs_And_Send_Scheduler(key); }))
        return true;
    QTimer::singleShot(m_scheduleSettle, this, [this, key, flag] {
        m_messenger.Enumerate_Childs_And_Send_Message(key, flag);
        QTimer::singleShot(m_flagSettle, this, [this] { setBusy(false); });
    });
    return true;
}

} // namespace kestrava
