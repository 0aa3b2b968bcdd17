#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>

namespace kestrava {

class Database;

// Watches the policy database file while the console runs. A file deleted (or moved away) under the
// open connection would take every later change with it when the console ends; the connection still
// holds everything, so it is written back to the same path, owner-only, and the connection moves onto
// the new file.
class DatabaseFileWatch : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kInterval{2000};

    explicit DatabaseFileWatch(Database& db, QObject* parent = nullptr);

    void start(std::chrono::milliseconds interval = kInterval);
    // Looks now; true when the file was written again.
    bool check();

signals:
    // What the administrator should read, once per event.
    void restored(const QString& message);
    void failed(const QString& message);

private:
    Database& m_db;
    QTimer m_timer;
    bool m_failedOnce = false;
};

} // namespace kestrava
