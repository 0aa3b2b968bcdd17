#include "core/store/DatabaseError.h"

namespace kestrava {

DatabaseError::DatabaseError(QString number, QString description)
    : std::runtime_error((number + QStringLiteral(": ") + description).toStdString())
    , m_number(std::move(number))
    , m_description(std::move(description)) {}

} // namespace kestrava
