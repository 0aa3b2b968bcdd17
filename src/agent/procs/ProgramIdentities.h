#pragma once

#include "agent/procs/ProcessMatcher.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <sys/types.h>

namespace kestrava::agent {

// Knows blocked programs by content: each entry's installed files, by the SHA-256 of what the kernel
// loads from them, and tells whether another file is one of them. Digests are kept per file version
// (device, inode, size, mtime, ctime: a user can set mtime back, not ctime), and a file is only hashed
// when it loads as many bytes as some blocked program, so most files cost one stat and a look at
// their program headers.
class ProgramIdentities {
public:
    // The system PATH's folders and the games' folders; never a user's.
    static QStringList systemFolders();

    explicit ProgramIdentities(QStringList folders = systemFolders());

    // Finds the files the entries name in the folders (not recursively). A file also reached there
    // under a name no entry blocks (a multi-call binary, a shared launcher, a plain copy of the same
    // content) is left to its names.
    void setPrograms(const ProcessMatcher& matcher);
    bool isEmpty() const { return m_blocked.isEmpty(); }

    enum class Outcome { Unmatched, Matched, Gone, Unreadable };
    struct Result {
        Outcome outcome = Outcome::Unmatched;
        QString entry; // when matched
        QString error; // when unreadable
    };
    // Looks at the file path leads to (links followed: /proc/PID/exe reaches memfds and deleted files).
    Result match(const QString& path);

    qsizetype cachedFiles() const { return m_cache.size(); }

private:
    struct FileKey {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        qint64 mtimeNs = 0;
        qint64 ctimeNs = 0;
        bool operator==(const FileKey&) const = default;
    };
    friend size_t qHash(const FileKey& key, size_t seed) {
        return qHashMulti(seed, key.device, key.inode, key.size, key.mtimeNs, key.ctimeNs);
    }
    struct Known {
        qint64 loadSize = -1; // -1: no identity (malformed, too large, unreadable)
        QByteArray sha256;    // only once needed
    };
    // The file's identity, hashed when wanted or when it could be blocked; openError is errno when
    // the file could not be opened, and problem says why there is no digest.
    Known identify(const QString& path, bool hashAlways, QString& problem, int& openError);
    // The first of the same-sized unblocked files whose content is the blocked file's, if any.
    QString unblockedCopy(const QByteArray& sha256, const QStringList& sameSized);

    QStringList m_folders;
    QHash<FileKey, Known> m_cache;
    QHash<QByteArray, QString> m_blocked; // digest -> entry
    QSet<qint64> m_loadSizes;
};

} // namespace kestrava::agent
