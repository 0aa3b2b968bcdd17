#pragma once

#include <QChar>
#include <QString>
#include <QStringView>
#include <optional>

namespace kestrava {

// Closes every field of keys and wire messages (code 199, "Ç"; byte 0xC7 on the wire).
inline constexpr QChar kFieldSeparator{0xC7};

// Field n (from 0) of text: the characters after the n-th separator and before the next one.
// A field without a closing separator does not exist and reads as the empty text.
QString Get_Field(const QString& text, QChar separator, int n);
inline QString Get_Field(const QString& text, int n) {
    return Get_Field(text, kFieldSeparator, n);
}

// Decimal digits only (no sign, no blanks), between minDigits and maxDigits of them.
std::optional<int> decimalDigits(QStringView text, int minDigits, int maxDigits);

} // namespace kestrava
