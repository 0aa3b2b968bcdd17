#pragma once

#include "core/lists/Catalogue.h"

namespace kestrava {

// The program catalogue (Program_Table) as the catalogue window edits it. Names are kept as typed.
class ProgramCatalogue final : public Catalogue {
public:
    static constexpr int kMaxLength = 30;

    explicit ProgramCatalogue(Database& db);

    // At least one character, no apostrophe; nothing is trimmed. When it is refused and message is
    // given, the refusal is put there.
    static bool Is_Valid_Program(const QString& name, QString* message = nullptr);
    // Whether the loaded list holds name, ignoring case and surrounding blanks.
    bool Is_Program_Listed(const QString& name) const;

protected:
    bool validate(QString& text, QString& message) const override;
    bool isListed(const QString& text) const override { return Is_Program_Listed(text); }
    QString alreadyAddedMessage() const override;
};

} // namespace kestrava
