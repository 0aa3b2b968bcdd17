#pragma once

#include <QString>

namespace kestrava {

// Texts that travel to client services inside a message field.
namespace SendableText {

// The position of the first character that would split the field (the separator), cut it short (NUL)
// or that has no Windows-1252 byte; -1 when the whole text can travel.
qsizetype firstUnsendable(const QString& text);

// " The character 'x' cannot be sent to the client services." for that first character, or an
// empty text when there is none. Callers put it after their own refusal.
QString unsendableReason(const QString& text);

} // namespace SendableText

} // namespace kestrava
