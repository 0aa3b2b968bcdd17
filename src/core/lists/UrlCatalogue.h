#pragma once

#include "core/lists/Catalogue.h"

namespace kestrava {

// The URL catalogue (DNS_Lookup_Table) as the catalogue window edits it.
class UrlCatalogue final : public Catalogue {
public:
    static constexpr int kMaxLength = 50;

    explicit UrlCatalogue(Database& db);

    // Replaces url by its trimmed lower-case form; when it is refused and message is given, the
    // refusal is put there.
    static bool Is_Valid_URL(QString& url, QString* message = nullptr);
    // Whether the loaded list holds url exactly.
    bool Is_URL_Listed(const QString& url) const;

protected:
    bool validate(QString& text, QString& message) const override;
    bool isListed(const QString& text) const override { return Is_URL_Listed(text); }
    QString alreadyAddedMessage() const override;
};

} // namespace kestrava
