#include "agent/procs/ProgramIdentities.h"

#include "agent/procs/ExecutableImage.h"
#include "agent/procs/ProcsLog.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace kestrava::agent {

namespace {

// Memfds and fresh copies each make a new file version; the cache starts over past this.
constexpr qsizetype kCacheLimit = 16384;

qint64 nanoseconds(const timespec& time) {
    return qint64(time.tv_sec) * 1000000000 + time.tv_nsec;
}

QString errnoText() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool isExecutableFile(const struct stat& info) {
    return S_ISREG(info.st_mode) && (info.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
}

} // namespace

QStringList ProgramIdentities::systemFolders() {
    return {QStringLiteral("/usr/local/sbin"), QStringLiteral("/usr/local/bin"),  QStringLiteral("/usr/sbin"),
            QStringLiteral("/usr/bin"),        QStringLiteral("/sbin"),           QStringLiteral("/bin"),
            QStringLiteral("/usr/games"),      QStringLiteral("/usr/local/games")};
}

ProgramIdentities::ProgramIdentities(QStringList folders)
    : m_folders(std::move(folders)) {}

void ProgramIdentities::setPrograms(const ProcessMatcher& matcher) {
    m_blocked.clear();
    m_loadSizes.clear();
    if (matcher.isEmpty())
        return;

    struct Candidate {
        QString path;
        QString entry;
        off_t size = 0;
    };
    QHash<QPair<dev_t, ino_t>, Candidate> candidates;
    QHash<QPair<dev_t, ino_t>, QString> unblockedNames;
    // Unblocked files by size: a plain copy of a blocked file under another name has the same size.
    QMultiHash<off_t, QString> unblockedBySize;
    for (const QString& folder : std::as_const(m_folders)) {
        DIR* dir = ::opendir(QFile::encodeName(folder).constData());
        if (!dir)
            continue;
        while (const dirent* file = ::readdir(dir)) {
            if (file->d_name[0] == '.' && (file->d_name[1] == '\0' || std::strcmp(file->d_name, "..") == 0))
                continue;
            struct stat info {};
            // Links followed: a link under another name to a blocked file is that file's other name.
            if (::fstatat(::dirfd(dir), file->d_name, &info, 0) != 0 || !isExecutableFile(info))
                continue;
            const QString name = QFile::decodeName(file->d_name);
            const QPair<dev_t, ino_t> key(info.st_dev, info.st_ino);
            const QString entry = matcher.matchName(name);
            if (entry.isEmpty()) {
                unblockedNames.insert(key, name);
                unblockedBySize.insert(info.st_size, folder + QLatin1Char('/') + name);
            } else if (!candidates.contains(key)) {
                candidates.insert(key, {folder + QLatin1Char('/') + name, entry, info.st_size});
            }
        }
        ::closedir(dir);
    }

    for (auto it = candidates.cbegin(); it != candidates.cend(); ++it) {
        const auto other = unblockedNames.constFind(it.key());
        if (other != unblockedNames.cend()) {
            qCInfo(lcAgentProcs).noquote()
                << QStringLiteral(
                       "%1 is also installed as \"%2\", which is not blocked: it is blocked by name only")
                       .arg(it->path, *other);
            continue;
        }
        QString problem;
        int openError = 0;
        const Known known = identify(it->path, true, problem, openError);
        if (known.sha256.isEmpty()) {
            qCWarning(lcAgentProcs).noquote()
                << QStringLiteral("%1 is blocked by name only: %2").arg(it->path, problem);
            continue;
        }
        const QString copy = unblockedCopy(known.sha256, unblockedBySize.values(it->size));
        if (!copy.isEmpty()) {
            qCInfo(lcAgentProcs).noquote()
                << QStringLiteral(
                       "%1 has the same content as %2, which is not blocked: it is blocked by name only")
                       .arg(it->path, copy);
            continue;
        }
        m_blocked.insert(known.sha256, it->entry);
        m_loadSizes.insert(known.loadSize);
    }
    qCInfo(lcAgentProcs).noquote()
        << QStringLiteral("Blocked programs known by content: %1 installed files").arg(m_blocked.size());
}

QString ProgramIdentities::unblockedCopy(const QByteArray& sha256, const QStringList& sameSized) {
    for (const QString& path : sameSized) {
        QString problem;
        int openError = 0;
        if (identify(path, true, problem, openError).sha256 == sha256)
            return path;
    }
    return {};
}

ProgramIdentities::Known ProgramIdentities::identify(const QString& path, bool hashAlways, QString& problem,
                                                     int& openError) {
    openError = 0;
    // Non-blocking: a path a user controls may have become a FIFO since it was looked at.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        openError = errno;
        problem = errnoText();
        if (fd >= 0)
            ::close(fd);
        return {};
    }
    const FileKey key{info.st_dev, info.st_ino, info.st_size, nanoseconds(info.st_mtim),
                      nanoseconds(info.st_ctim)};
    Known known = m_cache.value(key);
    const bool cached = m_cache.contains(key);
    if (!cached) {
        ExecutableImage::Problem imageProblem = ExecutableImage::Problem::None;
        const std::optional<ExecutableImage> image = ExecutableImage::read(fd, imageProblem);
        if (image) {
            known.loadSize = image->loadSize();
            if (hashAlways || m_loadSizes.contains(known.loadSize))
                known.sha256 = image->sha256(fd);
        } else if (imageProblem == ExecutableImage::Problem::TooLarge) {
            problem = QStringLiteral("its loadable segments exceed %1 MiB and are not hashed")
                          .arg(ExecutableImage::kSizeLimit / (1024 * 1024));
        } else if (imageProblem == ExecutableImage::Problem::Malformed) {
            problem = QStringLiteral("truncated or malformed ELF file");
        } else {
            problem = QStringLiteral("unreadable");
        }
    } else if (known.sha256.isEmpty() && known.loadSize >= 0 &&
               (hashAlways || m_loadSizes.contains(known.loadSize))) {
        ExecutableImage::Problem imageProblem = ExecutableImage::Problem::None;
        if (const std::optional<ExecutableImage> image = ExecutableImage::read(fd, imageProblem))
            known.sha256 = image->sha256(fd);
    }
    ::close(fd);
    if (m_cache.size() >= kCacheLimit && !cached)
        m_cache.clear();
    m_cache.insert(key, known);
    return known;
}

ProgramIdentities::Result ProgramIdentities::match(const QString& path) {
    if (m_blocked.isEmpty())
        return {};
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        if (errno == ENOENT || errno == ESRCH)
            return {Outcome::Gone, {}, {}};
        return {Outcome::Unreadable, {}, errnoText()};
    }
    if (!S_ISREG(info.st_mode))
        return {};
    // The common case: a file already seen, and of no blocked program's size.
    const FileKey key{info.st_dev, info.st_ino, info.st_size, nanoseconds(info.st_mtim),
                      nanoseconds(info.st_ctim)};
    const auto known = m_cache.constFind(key);
    if (known != m_cache.cend() && !m_loadSizes.contains(known->loadSize))
        return {};
    QString entry;
    if (known != m_cache.cend() && !known->sha256.isEmpty()) {
        entry = m_blocked.value(known->sha256);
    } else {
        // A malformed or oversized file of a user is simply no blocked program.
        QString problem;
        int openError = 0;
        const Known identity = identify(path, false, problem, openError);
        if (openError == ENOENT || openError == ESRCH)
            return {Outcome::Gone, {}, {}};
        if (openError != 0)
            return {Outcome::Unreadable, {}, problem};
        entry = m_blocked.value(identity.sha256);
    }
    if (entry.isEmpty())
        return {};
    return {Outcome::Matched, entry, {}};
}

} // namespace kestrava::agent
