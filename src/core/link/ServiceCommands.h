#pragma once

#include <QObject>
#include <QString>
#include <chrono>

namespace kestrava {

class ConnectionManager;
class Database;
class Messenger;

// The orders to client services, each for the key of the chosen node: a system, the connected members
// of a group, or (for the root) every connected system. The caller asks its questions first.
class ServiceCommands : public QObject {
    Q_OBJECT
public:
    // The pauses of synchronising a group: before the "F" messages, and after them.
    static constexpr std::chrono::milliseconds kScheduleSettle{700};
    static constexpr std::chrono::milliseconds kFlagSettle{1700};

    ServiceCommands(Database& db, ConnectionManager& connections, Messenger& messenger,
                    QObject* parent = nullptr);

    void setPauses(std::chrono::milliseconds scheduleSettle, std::chrono::milliseconds flagSettle);

    // Stores the flag (a group and all its systems; or one system, clearing its group's flag) in one
    // transaction, then sends "L". Throws DatabaseError before anything is sent.
    void blankScreen(const QString& key, bool blank);
    void makeVisible(const QString& key);
    void makeInvisible(const QString& key);
    void terminate(const QString& key);
    void uninstall(const QString& key);

    // "Are you sure you want to terminate all client(s) under the group 'x'?" and the like.
    static QString terminateQuestion(const QString& key, const QString& text);
    static QString uninstallQuestion(const QString& key, const QString& text);

    // A system gets "F" 3 and its schedule; a group's connected members their schedules, then after a
    // pause "F" 3, then a second pause. Busy until it is over; the root is ignored. Failures are
    // reported through errorOccurred and end the run. Returns false when a run is already busy.
    bool synchronize(const QString& key);
    bool isBusy() const { return m_busy; }

signals:
    // True while synchronising: the window shows "Please Wait..." and takes no input.
    void busyChanged(bool busy);
    // "number: description".
    void errorOccurred(const QString& message);

private:
    void setBusy(bool busy);
    // Runs one step of a synchronise run; a failure ends the run.
    template <typename Step> bool runStep(Step step);

    Database& m_db;
    ConnectionManager& m_connections;
    Messenger& m_messenger;
    std::chrono::milliseconds m_scheduleSettle = kScheduleSettle;
    std::chrono::milliseconds m_flagSettle = kFlagSettle;
    bool m_busy = false;
};

} // namespace kestrava
