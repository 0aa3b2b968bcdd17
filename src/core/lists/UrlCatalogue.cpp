#include "core/lists/UrlCatalogue.h"

#include "core/protocol/SendableText.h"

namespace kestrava {

UrlCatalogue::UrlCatalogue(Database& db)
    : Catalogue(db, QStringLiteral("DNS_Lookup_Table"), QStringLiteral("URL")) {}

bool UrlCatalogue::Is_Valid_URL(QString& url, QString* message) {
    url = url.trimmed().toLower();
    const QString invalid = QStringLiteral("Invalid URL!");
    QString refusal;
    if (url.startsWith(QLatin1String("http://"))) {
        refusal = invalid + QStringLiteral(" Please enter your URL without 'http://' as this part of the "
                                           "address is not needed.");
    } else if (url.contains(QLatin1Char(' ')) || url.contains(QLatin1Char('\'')) ||
               url.contains(QLatin1String("..")) || url.size() < 3 || url.size() > kMaxLength) {
        refusal = invalid;
    } else if (const QString reason = SendableText::unsendableReason(url); !reason.isEmpty()) {
        refusal = invalid + reason;
    }
    if (message)
        *message = refusal;
    return refusal.isEmpty();
}

bool UrlCatalogue::Is_URL_Listed(const QString& url) const {
    const QString wanted = url.trimmed().toLower();
    return entries().contains(wanted, Qt::CaseSensitive);
}

bool UrlCatalogue::validate(QString& text, QString& message) const {
    return Is_Valid_URL(text, &message);
}

QString UrlCatalogue::alreadyAddedMessage() const {
    return QStringLiteral("URL already added!");
}

} // namespace kestrava
