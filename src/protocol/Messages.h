#pragma once

#include <QString>
#include <QStringList>
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

// What an identification carries, field by field as it arrived.
struct Identification {
    QString identifier;
    QString computerName;
    float version = 0.0f;
};

// One builder and one parser per kind. Builders return the whole message; parsers take a whole
// message of their kind and read what its fields carry.
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

// The six status codes of "h": I/S/T followed by N/F.
bool isStatusCode(QStringView code);

// Console to client service.
QString buildSchedule(const QString& payload);
QString buildSettings(const QString& payload);
QString buildWhiteList(const QString& payload);
QString buildBlockList(const QString& payload);
QString buildFlag(int code);
QString buildBlankScreen(bool blank);
QString buildMakeVisible();
QString buildMakeInvisible();
QString buildTerminate();
QString buildUninstall();

QStringList parseSchedule(const QString& message);  // the fields after the letter
QStringList parseSettings(const QString& message);  // the fields after the letter
QStringList parseWhiteList(const QString& message); // the URLs; the count field decides how many
QStringList parseBlockList(const QString& message); // the program names
int parseFlag(const QString& message);
bool parseBlankScreen(const QString& message);
bool parseMakeVisible(const QString& message);
bool parseMakeInvisible(const QString& message);
bool parseTerminate(const QString& message);
bool parseUninstall(const QString& message);

// Client service to console.
QString buildIdentification(const QString& identifier, const QString& computerName, const QString& version);
QString buildStatusReport(const QString& code);
QString buildAskSchedule();
QString buildAskSettings();
QString buildAskWhiteList();
QString buildAskBlockList();

Identification parseIdentification(const QString& message);
QString parseStatusReport(const QString& message); // the code: the two characters after "h"
bool parseAskSchedule(const QString& message);
bool parseAskSettings(const QString& message);
bool parseAskWhiteList(const QString& message);
bool parseAskBlockList(const QString& message);

// The leading number of a text as client services' versions are read: blanks skipped, then digits
// with at most one decimal point and an exponent; 0 when there is none.
double leadingNumber(QStringView text);

} // namespace Messages

} // namespace kestrava
