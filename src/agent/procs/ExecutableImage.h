#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>
#include <optional>

namespace kestrava::agent {

// What the kernel loads of an executable file: an ELF's loadable segments (PT_LOAD, their file
// parts), or the whole file of anything else (a script). Bytes outside them, such as bytes
// appended to a copy, are not part of the program's identity.
class ExecutableImage {
public:
    // Over this many bytes of segments a file is not hashed.
    static constexpr qint64 kSizeLimit = qint64(512) * 1024 * 1024;

    enum class Problem { None, Malformed, TooLarge, Unreadable };

    // Reads the layout from an open file; a truncated or malformed ELF, or one over the limit, gives
    // no image and says why.
    static std::optional<ExecutableImage> read(int fd, Problem& problem, qint64 limit = kSizeLimit);

    // Bytes the kernel loads from the file: what two files must share to be the same program.
    qint64 loadSize() const { return m_loadSize; }
    // SHA-256 of the segments, each preceded by its size; empty when the file cannot be read or has
    // changed size meanwhile.
    QByteArray sha256(int fd) const;

private:
    struct Segment {
        qint64 offset = 0;
        qint64 size = 0;
    };
    QList<Segment> m_segments;
    qint64 m_loadSize = 0;
};

} // namespace kestrava::agent
