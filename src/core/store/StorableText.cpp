#include "core/store/StorableText.h"

namespace kestrava::StorableText {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// The length of the character at i when the database gives it back unchanged, else 0.
qsizetype storableAt(const QString& text, qsizetype i) {
    const char16_t c = text.at(i).unicode();
    if (QChar::isHighSurrogate(c))
        return i + 1 < text.size() && text.at(i + 1).isLowSurrogate() ? 2 : 0;
    if (c == 0 || QChar::isLowSurrogate(c) || c == 0xFFFE || c == 0xFFFF)
        return 0;
    return 1;
}

} // namespace

bool isStorable(const QString& text) {
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = storableAt(text, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

QString of(const QString& text) {
    if (isStorable(text))
        return text;
    QString storable = text;
    for (qsizetype i = 0; i < storable.size();) {
        const qsizetype length = storableAt(storable, i);
        if (length == 0) {
            storable[i] = QChar(kReplacement);
            ++i;
        } else {
            i += length;
        }
    }
    return storable;
}

} // namespace kestrava::StorableText
