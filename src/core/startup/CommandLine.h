#pragma once

#include <QString>
#include <QStringList>

namespace kestrava {

// The longest command line that a second start hands to the running console.
inline constexpr qsizetype kMaxCommandLineLength = 254;

// The program's arguments (without the program itself) joined by single blanks, cut to
// kMaxCommandLineLength characters without splitting a character in two.
QString Make_Command_Line(const QStringList& arguments);

// Cuts text to at most kMaxCommandLineLength characters, never between the halves of a surrogate pair.
QString Cut_Command_Line(const QString& text);

// True when the arguments ask for --help or --version, which are answered without touching a console.
// A call-up line ("-v" and the password) never counts, whatever the password looks like.
bool Is_Command_Line_Query(const QStringList& arguments);

} // namespace kestrava
