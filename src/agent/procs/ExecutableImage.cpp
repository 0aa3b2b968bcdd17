#include "agent/procs/ExecutableImage.h"

#include <QtEndian>
#include <cerrno>
#include <cstring>
#include <elf.h>
#include <memory>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrava::agent {

namespace {

// Reads exactly size bytes at offset; false on an error or a short file.
bool readAt(int fd, char* buffer, qint64 size, qint64 offset) {
    qint64 done = 0;
    while (done < size) {
        const ssize_t got = ::pread(fd, buffer + done, size_t(size - done), off_t(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += got;
    }
    return true;
}

// Field readers in the file's own byte order.
struct ElfReader {
    bool bigEndian = false;
    quint16 u16(const uchar* p) const {
        return bigEndian ? qFromBigEndian<quint16>(p) : qFromLittleEndian<quint16>(p);
    }
    quint32 u32(const uchar* p) const {
        return bigEndian ? qFromBigEndian<quint32>(p) : qFromLittleEndian<quint32>(p);
    }
    quint64 u64(const uchar* p) const {
        return bigEndian ? qFromBigEndian<quint64>(p) : qFromLittleEndian<quint64>(p);
    }
};

} // namespace

std::optional<ExecutableImage> ExecutableImage::read(int fd, Problem& problem, qint64 limit) {
    problem = Problem::None;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        problem = Problem::Unreadable;
        return std::nullopt;
    }
    const qint64 fileSize = info.st_size;
    ExecutableImage image;

    uchar header[sizeof(Elf64_Ehdr)] = {};
    const bool elf = fileSize >= SELFMAG &&
                     readAt(fd, reinterpret_cast<char*>(header), qMin<qint64>(fileSize, sizeof header), 0) &&
                     std::memcmp(header, ELFMAG, SELFMAG) == 0;
    if (!elf) {
        if (fileSize > limit) {
            problem = Problem::TooLarge;
            return std::nullopt;
        }
        image.m_segments.append({0, fileSize});
        image.m_loadSize = fileSize;
        return image;
    }

    const bool wide = header[EI_CLASS] == ELFCLASS64;
    if ((!wide && header[EI_CLASS] != ELFCLASS32) ||
        (header[EI_DATA] != ELFDATA2LSB && header[EI_DATA] != ELFDATA2MSB) ||
        fileSize < qint64(wide ? sizeof(Elf64_Ehdr) : sizeof(Elf32_Ehdr))) {
        problem = Problem::Malformed;
        return std::nullopt;
    }
    const ElfReader in{header[EI_DATA] == ELFDATA2MSB};
    const quint64 tableOffset = wide ? in.u64(header + offsetof(Elf64_Ehdr, e_phoff))
                                     : in.u32(header + offsetof(Elf32_Ehdr, e_phoff));
    const quint16 entrySize =
        in.u16(header + (wide ? offsetof(Elf64_Ehdr, e_phentsize) : offsetof(Elf32_Ehdr, e_phentsize)));
    const quint16 count =
        in.u16(header + (wide ? offsetof(Elf64_Ehdr, e_phnum) : offsetof(Elf32_Ehdr, e_phnum)));
    const quint64 needed = wide ? sizeof(Elf64_Phdr) : sizeof(Elf32_Phdr);
    // PN_XNUM (more headers than fit the field) is left to real programs' loaders: none uses it.
    if (count == 0 || count == PN_XNUM || entrySize < needed || tableOffset > quint64(fileSize) ||
        quint64(entrySize) * count > quint64(fileSize) - tableOffset) {
        problem = Problem::Malformed;
        return std::nullopt;
    }
    QByteArray table(qsizetype(entrySize) * count, Qt::Uninitialized);
    if (!readAt(fd, table.data(), table.size(), qint64(tableOffset))) {
        problem = Problem::Unreadable;
        return std::nullopt;
    }
    for (int index = 0; index < count; ++index) {
        const auto* entry = reinterpret_cast<const uchar*>(table.constData()) + qsizetype(index) * entrySize;
        const quint32 type = in.u32(entry);
        if (type != PT_LOAD)
            continue;
        const quint64 offset = wide ? in.u64(entry + offsetof(Elf64_Phdr, p_offset))
                                    : in.u32(entry + offsetof(Elf32_Phdr, p_offset));
        const quint64 size = wide ? in.u64(entry + offsetof(Elf64_Phdr, p_filesz))
                                  : in.u32(entry + offsetof(Elf32_Phdr, p_filesz));
        // A segment past the end is a truncated file: the kernel would refuse it too.
        if (offset > quint64(fileSize) || size > quint64(fileSize) - offset) {
            problem = Problem::Malformed;
            return std::nullopt;
        }
        image.m_segments.append({qint64(offset), qint64(size)});
        image.m_loadSize += qint64(size);
        if (image.m_loadSize > limit) {
            problem = Problem::TooLarge;
            return std::nullopt;
        }
    }
    if (image.m_segments.isEmpty()) {
        problem = Problem::Malformed;
        return std::nullopt;
    }
    return image;
}

QByteArray ExecutableImage::sha256(int fd) const {
    // OpenSSL's, for the processor's SHA extensions: several times faster than a portable one.
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        return {};
    constexpr qint64 kChunk = 256 * 1024;
    QByteArray buffer(kChunk, Qt::Uninitialized);
    for (const Segment& segment : m_segments) {
        const quint64 size = qToLittleEndian(quint64(segment.size));
        if (EVP_DigestUpdate(context.get(), &size, sizeof size) != 1)
            return {};
        for (qint64 done = 0; done < segment.size;) {
            const qint64 part = qMin(kChunk, segment.size - done);
            if (!readAt(fd, buffer.data(), part, segment.offset + done) ||
                EVP_DigestUpdate(context.get(), buffer.constData(), size_t(part)) != 1)
                return {};
            done += part;
        }
    }
    QByteArray digest(EVP_MAX_MD_SIZE, Qt::Uninitialized);
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), reinterpret_cast<unsigned char*>(digest.data()), &length) != 1)
        return {};
    digest.truncate(length);
    return digest;
}

} // namespace kestrava::agent
