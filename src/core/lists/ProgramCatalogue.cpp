#include "core/lists/ProgramCatalogue.h"

#include "core/protocol/SendableText.h"

namespace kestrava {

ProgramCatalogue::ProgramCatalogue(Database& db)
    : Catalogue(db, QStringLiteral("Program_Table"), QStringLiteral("Program")) {}

bool ProgramCatalogue::Is_Valid_Program(const QString& name, QString* message) {
    const QString invalid = QStringLiteral("Not a valid Program!");
    QString refusal;
    if (name.isEmpty() || name.contains(QLatin1Char('\'')) || name.size() > kMaxLength)
        refusal = invalid;
    else if (const QString reason = SendableText::unsendableReason(name); !reason.isEmpty())
        refusal = invalid + reason;
    if (message)
        *message = refusal;
    return refusal.isEmpty();
}

bool ProgramCatalogue::Is_Program_Listed(const QString& name) const {
    const QString wanted = name.trimmed();
    for (const QString& entry : entries()) {
        if (entry.trimmed().compare(wanted, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool ProgramCatalogue::validate(QString& text, QString& message) const {
    return Is_Valid_Program(text, &message);
}

QString ProgramCatalogue::alreadyAddedMessage() const {
    return QStringLiteral("Program already added!");
}

} // namespace kestrava
