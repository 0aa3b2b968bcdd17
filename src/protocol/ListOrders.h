#pragma once

#include "protocol/Decoded.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace kestrava {

// The white list ("P": host names and URLs) and the block list ("B": program names), entries as
// stored, untrimmed. Without a list the letter goes alone, as to a key that owns none.
QString encodeWhiteList(const std::optional<QStringList>& entries);
QString encodeBlockList(const std::optional<QStringList>& entries);
// Either list's entries.
Decoded<QStringList> decodeList(const QString& message);

} // namespace kestrava
