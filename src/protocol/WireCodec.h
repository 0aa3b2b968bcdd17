#pragma once

#include <QByteArray>
#include <QString>

namespace kestrava {

// Byte forms of wire text: Windows-1252 towards client services, UTF-16LE from them.
namespace WireCodec {

// True when every character has a Windows-1252 byte.
bool isEncodable(const QString& text);
// One byte per character; characters without a Windows-1252 byte become '?'.
QByteArray encode(const QString& text);
// Two bytes per character, little-endian; a trailing odd byte is ignored.
QString decode(const QByteArray& bytes);
// The UTF-16LE bytes of text, as client services send it.
QByteArray encodeUtf16(const QString& text);
// The Windows-1252 bytes read back as text, as client services read them.
QString decodeSingleByte(const QByteArray& bytes);

} // namespace WireCodec

} // namespace kestrava
