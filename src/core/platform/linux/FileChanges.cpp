#include "core/platform/FileChanges.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

namespace kestrava {

FileChanges::FileChanges(const QString& path)
    : m_name(QFile::encodeName(QFileInfo(path).fileName())) {
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0)
        return;
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const uint32_t mask = IN_MODIFY | IN_ATTRIB | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                          IN_DELETE_SELF | IN_MOVE_SELF;
    if (inotify_add_watch(m_fd, folder.constData(), mask) < 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

FileChanges::~FileChanges() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool FileChanges::take() {
    if (m_fd < 0)
        return true;
    bool changed = false;
    alignas(inotify_event) char buffer[8192];
    for (;;) {
        const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
        if (length < 0) {
            if (errno == EINTR)
                continue;
            // Nothing more to read; anything else leaves the answer unknown.
            return changed || errno != EAGAIN;
        }
        if (length == 0)
            return true;
        for (ssize_t at = 0; at < length;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            const char* name = buffer + at + sizeof event;
            // Events on the folder itself (no name), a lost queue or the watch's end count as a change.
            if (event.len == 0 || std::strncmp(name, m_name.constData(), m_name.size()) == 0)
                changed = true;
            at += static_cast<ssize_t>(sizeof event + event.len);
            if (event.mask & IN_IGNORED) {
                // The folder is gone: from now on nothing tells, so every call is a change.
                ::close(m_fd);
                m_fd = -1;
                return true;
            }
        }
    }
}

} // namespace kestrava
