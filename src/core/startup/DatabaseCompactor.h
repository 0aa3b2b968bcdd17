#pragma once

#include <QString>
#include <functional>

namespace kestrava {

class Clock;

// True on Fridays, the day on which start-up compacts the database.
bool Is_Compaction_Day(const Clock& clock);

// Compacts the database file at start-up on Fridays; returns whether it did. Throws DatabaseError.
bool Compact_Database(const QString& path, const Clock& clock);

// Rewrites a database file compactly. The file is replaced only by a complete copy that passed SQLite's
// integrity check, by an atomic rename; on any failure it stays as it was and no copy is left behind.
class DatabaseCompactor {
public:
    // The points between which a compaction can fail.
    enum class Stage { Copied, Checked, Written };

    explicit DatabaseCompactor(QString path);

    // Called as each stage is reached; whatever it throws aborts the compaction there.
    void setStageHook(std::function<void(Stage)> hook) { m_stageHook = std::move(hook); }

    // Throws DatabaseError when the file is missing, is no database or cannot be replaced.
    void compact();

private:
    void reach(Stage stage);
    void checkCopy(const QString& copyPath);
    void refuseWhileInUse();
    void replaceWith(const QString& copyPath);

    QString m_path;
    std::function<void(Stage)> m_stageHook;
};

} // namespace kestrava
