#pragma once

#include <QObject>
#include <QString>

namespace kestrava {

class Clock;
class Database;

// Names the application for its settings and standard folders.
void Init_Globals();
// Opens the one connection to the policy database. Throws DatabaseError.
bool Open_Database(Database& db, const QString& path);

// The database part of start-up, one step per turn of the event loop so that the splash window can
// paint between them: globals, Friday compaction, opening, version check. Progress runs 1 to kSteps.
class StartupSequence : public QObject {
    Q_OBJECT
public:
    static constexpr int kSteps = 5;

    StartupSequence(Database& db, QString databasePath, const Clock& clock, QObject* parent = nullptr);

    void start();

signals:
    void progressed(int value);
    // The database carries another version mark; start-up ends.
    void incompatibleVersion();
    // "number: description" of the error that ended start-up.
    void failed(const QString& message);
    // Every step passed: the main window may be loaded.
    void ready();

private:
    void runStep(int step);

    Database& m_db;
    QString m_databasePath;
    const Clock& m_clock;
};

} // namespace kestrava
