#pragma once

#include <QString>

namespace kestrava {

// Text as the policy database gives it back and tells apart. SQLite reads a lone half of a surrogate
// pair, U+FFFE and U+FFFF as U+FFFD (and pairs a lone half with the character after it), so a key that
// holds one would no longer match its own row after the next start; and its case-blind comparisons stop
// at a NUL, so two keys that differ only after one would collide. Text from outside is made storable
// before it becomes a key, a name or a password.
namespace StorableText {

bool isStorable(const QString& text);
// text with every NUL and every character that the database cannot give back replaced by U+FFFD.
QString of(const QString& text);

} // namespace StorableText

} // namespace kestrava
