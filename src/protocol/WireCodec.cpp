#include "protocol/WireCodec.h"

#include <array>

namespace kestrava::WireCodec {

namespace {

// Windows-1252 bytes 0x80 to 0x9F; 0 marks the five bytes that the code page leaves undefined.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

int byteFor(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] != 0 && kHighControls[i] == c)
            return static_cast<int>(0x80 + i);
    }
    return -1;
}

} // namespace

bool isEncodable(const QString& text) {
    for (const QChar c : text) {
        if (byteFor(c.unicode()) < 0)
            return false;
    }
    return true;
}

QByteArray encode(const QString& text) {
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar c : text) {
        const int b = byteFor(c.unicode());
        bytes.append(b < 0 ? '?' : static_cast<char>(b));
    }
    return bytes;
}

QString decode(const QByteArray& bytes) {
    const qsizetype count = bytes.size() / 2;
    QString text(count, Qt::Uninitialized);
    const auto* raw = reinterpret_cast<const unsigned char*>(bytes.constData());
    for (qsizetype i = 0; i < count; ++i)
        text[i] = QChar(static_cast<char16_t>(raw[2 * i] | (raw[2 * i + 1] << 8)));
    return text;
}

QByteArray encodeUtf16(const QString& text) {
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (const QChar c : text) {
        bytes.append(static_cast<char>(c.unicode() & 0xFF));
        bytes.append(static_cast<char>(c.unicode() >> 8));
    }
    return bytes;
}

QString decodeSingleByte(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    for (const char b : bytes) {
        const auto u = static_cast<unsigned char>(b);
        const char16_t high = (u >= 0x80 && u < 0xA0) ? kHighControls[u - 0x80] : 0;
        text.append(QChar(high != 0 ? high : static_cast<char16_t>(u)));
    }
    return text;
}

} // namespace kestrava::WireCodec
