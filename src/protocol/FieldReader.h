#pragma once

#include "protocol/Decoded.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QTime>
#include <optional>

namespace kestrava {

// Reads the fields of one message and keeps the first reason to refuse it; once one is set, what
// follows reads as zero, false or empty and changes nothing.
class FieldReader {
public:
    bool ok() const { return m_error.isEmpty(); }
    const QString& error() const { return m_error; }
    void fail(const QString& why);

    // The fields of a payload laid out as SEP, then each field followed by SEP.
    QStringList fields(const QString& payload);
    void fieldCount(const QStringList& fields, qsizetype expected);
    // The one field of a payload.
    QString oneField(const QString& payload);
    // Decimal digits only, no sign, from 0 to max.
    int number(QStringView text, int max, const QString& what);
    bool boolean(QStringView text, const QString& what);
    QDateTime dateTime(QStringView text, const QString& what);
    QTime rangeTime(QStringView text, const QString& what);

    template <typename T> Decoded<T> result(const T& value) const {
        return ok() ? Decoded<T>{value, {}} : Decoded<T>{std::nullopt, m_error};
    }

    // The start of text as the reason for refusing it shows it.
    static QString quoted(QStringView text);

private:
    QString m_error;
};

} // namespace kestrava
