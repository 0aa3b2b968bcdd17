#pragma once

#include <QString>
#include <QStringView>
#include <array>
#include <optional>

namespace kestrava {

// Every kind of message between the console and a client service. A message is its letter followed
// by its payload; there is no length and no terminator.
enum class MessageKind {
    // console to client service
    Schedule,
    Settings,
    WhiteList,
    BlockList,
    Flag,
    BlankScreen,
    MakeVisible,
    MakeInvisible,
    Terminate,
    Uninstall,
    // client service to console
    Identification,
    StatusReport,
    AskSchedule,
    AskSettings,
    AskWhiteList,
    AskBlockList,
};

enum class MessageSender { Console, Client };

struct MessageKindInfo {
    MessageKind kind;
    MessageSender sender;
    char16_t letter;
};

// The letters of the kinds; each kind's value and its encoder and decoder are in a file of their own.
namespace Messages {

inline constexpr int kKindCount = 16;
const std::array<MessageKindInfo, kKindCount>& kinds();

QChar letterOf(MessageKind kind);
// The kind of a message from sender by its first character; "D" is an identification as well as "d".
std::optional<MessageKind> kindOf(MessageSender sender, QStringView message);
// The message without its letter.
QString payloadOf(QStringView message);

// The version that client services must identify with, compared in single precision.
inline constexpr float kClientVersion = 1.4f;
// "3": after identification and on synchronise; "7": after a move to another group.
inline constexpr int kFlagSynchronized = 3;
inline constexpr int kFlagMoved = 7;

// The leading number of a text as client services' versions are read: blanks skipped, then digits
// with at most one decimal point and an exponent; 0 when there is none.
double leadingNumber(QStringView text);

} // namespace Messages

} // namespace kestrava
