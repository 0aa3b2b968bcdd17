#include "protocol/Fields.h"

namespace kestrava {

QString Get_Field(const QString& text, QChar separator, int n) {
    if (n < 0)
        return {};
    qsizetype start = 0;
    for (int i = 0; i < n; ++i) {
        const qsizetype next = text.indexOf(separator, start);
        if (next < 0)
            return {};
        start = next + 1;
    }
    const qsizetype end = text.indexOf(separator, start);
    if (end < 0)
        return {};
    return text.mid(start, end - start);
}

std::optional<int> decimalDigits(QStringView text, int minDigits, int maxDigits) {
    if (text.size() < minDigits || text.size() > maxDigits)
        return std::nullopt;
    int value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

} // namespace kestrava
