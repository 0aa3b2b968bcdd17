#pragma once

#include <QByteArray>
#include <QString>

namespace kestrava {

// Tells whether a file or its side files (every name in its folder that starts with its name: a
// database's journal and write-ahead log) were written, created, removed or renamed, by this process
// or any other. Changes made before take() returns are seen by that call, not some time later.
class FileChanges {
public:
    explicit FileChanges(const QString& path);
    ~FileChanges();
    FileChanges(const FileChanges&) = delete;
    FileChanges& operator=(const FileChanges&) = delete;

    // True when something changed since the last call, and always when the system cannot tell.
    bool take();

private:
    int m_fd = -1;
    QByteArray m_name;
};

} // namespace kestrava
