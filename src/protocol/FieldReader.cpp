#include "protocol/FieldReader.h"

#include "protocol/ConsoleTimeText.h"
#include "protocol/Fields.h"

namespace kestrava {

namespace {

// At most nine digits, so that the value fits an int.
std::optional<int> decimal(QStringView text, int max) {
    const std::optional<int> value = decimalDigits(text, 1, 9);
    return value && *value <= max ? value : std::nullopt;
}

} // namespace

void FieldReader::fail(const QString& why) {
    if (ok())
        m_error = why;
}

QString FieldReader::quoted(QStringView text) {
    constexpr qsizetype kShown = 40;
    return QLatin1Char('"') + text.first(qMin(kShown, text.size())).toString() +
           (text.size() > kShown ? QStringLiteral("...\"") : QStringLiteral("\""));
}

QStringList FieldReader::fields(const QString& payload) {
    if (!payload.startsWith(kFieldSeparator) || !payload.endsWith(kFieldSeparator) || payload.size() < 2) {
        fail(QStringLiteral("the fields are not framed by separators"));
        return {};
    }
    return payload.sliced(1, payload.size() - 2).split(kFieldSeparator);
}

void FieldReader::fieldCount(const QStringList& fields, qsizetype expected) {
    if (fields.size() != expected)
        fail(QStringLiteral("%1 fields where %2 belong").arg(fields.size()).arg(expected));
}

QString FieldReader::oneField(const QString& payload) {
    const QStringList f = fields(payload);
    if (ok())
        fieldCount(f, 1);
    return ok() ? f[0] : QString();
}

int FieldReader::number(QStringView text, int max, const QString& what) {
    const std::optional<int> value = decimal(text, max);
    if (!value)
        fail(QStringLiteral("%1 %2 is not a number from 0 to %3").arg(what, quoted(text)).arg(max));
    return value.value_or(0);
}

bool FieldReader::boolean(QStringView text, const QString& what) {
    if (text != u"True" && text != u"False")
        fail(QStringLiteral("%1 %2 is neither True nor False").arg(what, quoted(text)));
    return text == u"True";
}

QDateTime FieldReader::dateTime(QStringView text, const QString& what) {
    const std::optional<QDateTime> value = ConsoleTimeText::parseDateTime(text);
    if (!value)
        fail(QStringLiteral("%1 %2 is not a date and time").arg(what, quoted(text)));
    return value.value_or(QDateTime());
}

QTime FieldReader::rangeTime(QStringView text, const QString& what) {
    const std::optional<QTime> value = ConsoleTimeText::parseRangeTime(text);
    if (!value)
        fail(QStringLiteral("%1 %2 is not a time like 08:30 AM").arg(what, quoted(text)));
    return value.value_or(QTime());
}

} // namespace kestrava
