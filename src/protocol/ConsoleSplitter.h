#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace kestrava {

// The longest console message taken, and the largest count of fields a message may announce.
inline constexpr qsizetype kMaxConsoleMessageChars = 1048576;
inline constexpr int kMaxConsoleCount = 1000;

// What the text received so far from the console holds.
struct SplitResult {
    enum class Rest {
        Empty,         // every character belongs to a complete message
        Incomplete,    // the rest is the start of a message that certainly goes on
        MaybeComplete, // the rest is a complete message that may still go on
        Bad,           // the rest cannot be read: the caller drops it
    };

    QStringList messages;   // complete messages, letter included, in order
    qsizetype consumed = 0; // characters of the buffer taken by them
    Rest rest = Rest::Empty;
    QString problem; // for Bad: why
};

// Splits console text (already decoded from Windows-1252) into messages by their structure, since
// the console writes them with neither length nor terminator. With final set nothing more is
// coming: a message that may go on is taken in its shorter form and an unfinished one is Bad.
SplitResult splitConsoleMessages(QStringView buffer, bool final);

} // namespace kestrava
