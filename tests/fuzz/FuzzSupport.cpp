#include "FuzzSupport.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

void startApplication(int* argc, char*** argv) {
    // The console never runs on the Glib dispatcher; neither do its fuzz targets.
    qputenv("QT_NO_GLIB", "1");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: the targets' own state lives until the process ends, and Qt's globals go first.
    static QCoreApplication* app = new QCoreApplication(*argc, *argv);
    Q_UNUSED(app);
}

void fail(const char* what, const QString& detail) {
    std::fprintf(stderr, "invariant broken: %s\n%s\n", what, qPrintable(visible(detail)));
    std::fflush(stderr);
    std::abort();
}

std::uint8_t Input::byte() {
    return m_pos < m_size ? m_data[m_pos++] : 0;
}

std::uint16_t Input::word() {
    const std::uint16_t high = byte();
    return static_cast<std::uint16_t>(high << 8 | byte());
}

QByteArray Input::chunk() {
    const std::size_t length = byte();
    const std::size_t available = m_pos < m_size ? m_size - m_pos : 0;
    const std::size_t taken = length < available ? length : available;
    QByteArray bytes(reinterpret_cast<const char*>(m_data + m_pos), static_cast<qsizetype>(taken));
    m_pos += taken;
    return bytes;
}

QByteArray Input::rest() {
    const std::size_t available = m_pos < m_size ? m_size - m_pos : 0;
    QByteArray bytes(reinterpret_cast<const char*>(m_data + m_pos), static_cast<qsizetype>(available));
    m_pos = m_size;
    return bytes;
}

QString visible(const QString& text) {
    QString shown;
    for (const QChar c : text) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7F)
            shown += c;
        else
            shown += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
    return shown;
}

} // namespace fuzz
