#pragma once

#include "agent/policy/Policy.h"

#include <QDateTime>
#include <QString>
#include <optional>

namespace kestrava::agent {

// What the agent last knew, for --status.
struct LinkStatus {
    bool connected = false;
    QString console;       // host:port
    QDateTime lastContact; // local time of the last message from the console
};

struct SavedState {
    Orders orders;
    LinkStatus link;
};

// The fail-closed memory of the agent: written whole to a temporary file, synced, then renamed over
// the old one, so a crash or power cut leaves either the old or the new state, never a torn one.
class StateFile {
public:
    explicit StateFile(QString directory);

    QString path() const;
    bool save(const SavedState& state, QString* error) const;
    // Nothing when there is no file; error is set when there is one that cannot be read, and then
    // the previous state is tried.
    std::optional<SavedState> load(QString* error) const;
    // Removes the state folder and everything in it (uninstall).
    bool removeAll() const;

private:
    static std::optional<SavedState> loadFile(const QString& filePath, QString* error);

    QString m_directory;
};

} // namespace kestrava::agent
