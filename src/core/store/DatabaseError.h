#pragma once

#include <QString>
#include <stdexcept>

namespace kestrava {

// A failed statement. Carries the number and description that the console shows as "number: description".
class DatabaseError : public std::runtime_error {
public:
    DatabaseError(QString number, QString description);

    const QString& number() const { return m_number; }
    const QString& description() const { return m_description; }
    QString toMessage() const { return m_number + QStringLiteral(": ") + m_description; }

private:
    QString m_number;
    QString m_description;
};

} // namespace kestrava
