#include "protocol/Messages.h"

#include "protocol/Fields.h"

namespace kestrava::Messages {

namespace {

constexpr std::array<MessageKindInfo, kKindCount> kKinds = {{
    {MessageKind::Schedule, MessageSender::Console, u'S'},
    {MessageKind::Settings, MessageSender::Console, u'O'},
    {MessageKind::WhiteList, MessageSender::Console, u'P'},
    {MessageKind::BlockList, MessageSender::Console, u'B'},
    {MessageKind::Flag, MessageSender::Console, u'F'},
    {MessageKind::BlankScreen, MessageSender::Console, u'L'},
    {MessageKind::MakeVisible, MessageSender::Console, u'V'},
    {MessageKind::MakeInvisible, MessageSender::Console, u'I'},
    {MessageKind::Terminate, MessageSender::Console, u'T'},
    {MessageKind::Uninstall, MessageSender::Console, u'U'},
    {MessageKind::Identification, MessageSender::Client, u'd'},
    {MessageKind::StatusReport, MessageSender::Client, u'h'},
    {MessageKind::AskSchedule, MessageSender::Client, u's'},
    {MessageKind::AskSettings, MessageSender::Client, u'o'},
    {MessageKind::AskWhiteList, MessageSender::Client, u'r'},
    {MessageKind::AskBlockList, MessageSender::Client, u'b'},
}};

QString letter(MessageKind kind) {
    return QString(letterOf(kind));
}

// Letter, SEP, then each field followed by SEP.
QString withFields(MessageKind kind, const QStringList& fields) {
    QString message = letter(kind) + kFieldSeparator;
    for (const QString& field : fields)
        message += field + kFieldSeparator;
    return message;
}

// Field 0 (before the first separator) is empty by layout, and what follows the last separator is no field.
QStringList fieldsAfterLetter(const QString& message) {
    const QStringList parts = payloadOf(message).split(kFieldSeparator);
    if (parts.size() < 2)
        return {};
    return parts.mid(1, parts.size() - 2);
}

QStringList countedItems(const QString& message) {
    const QString payload = payloadOf(message);
    const int count = Get_Field(payload, 1).toInt();
    QStringList items;
    for (int i = 0; i < count; ++i)
        items << Get_Field(payload, 2 + i);
    return items;
}

MessageSender senderOf(MessageKind kind) {
    for (const MessageKindInfo& info : kKinds) {
        if (info.kind == kind)
            return info.sender;
    }
    return MessageSender::Console;
}

bool startsWith(const QString& message, MessageKind kind) {
    return kindOf(senderOf(kind), message) == kind;
}

} // namespace

const std::array<MessageKindInfo, kKindCount>& kinds() {
    return kKinds;
}

QChar letterOf(MessageKind kind) {
    for (const MessageKindInfo& info : kKinds) {
        if (info.kind == kind)
            return QChar(info.letter);
    }
    return {};
}

std::optional<MessageKind> kindOf(MessageSender sender, QStringView message) {
    if (message.isEmpty())
        return std::nullopt;
    QChar first = message.front();
    if (sender == MessageSender::Client && first == QLatin1Char('D'))
        first = QLatin1Char('d');
    for (const MessageKindInfo& info : kKinds) {
        if (info.sender == sender && info.letter == first.unicode())
            return info.kind;
    }
    return std::nullopt;
}

QString payloadOf(QStringView message) {
    return message.mid(1).toString();
}

bool isStatusCode(QStringView code) {
    if (code.size() != 2)
        return false;
    const QChar what = code[0];
    const QChar state = code[1];
    const bool knownWhat = what == QLatin1Char('I') || what == QLatin1Char('S') || what == QLatin1Char('T');
    const bool knownState = state == QLatin1Char('N') || state == QLatin1Char('F');
    return knownWhat && knownState;
}

QString buildSchedule(const QString& payload) {
    return letter(MessageKind::Schedule) + payload;
}
QString buildSettings(const QString& payload) {
    return letter(MessageKind::Settings) + payload;
}
QString buildWhiteList(const QString& payload) {
    return letter(MessageKind::WhiteList) + payload;
}
QString buildBlockList(const QString& payload) {
    return letter(MessageKind::BlockList) + payload;
}
QString buildFlag(int code) {
    return withFields(MessageKind::Flag, {QString::number(code)});
}
QString buildBlankScreen(bool blank) {
    return withFields(MessageKind::BlankScreen, {blank ? QStringLiteral("True") : QStringLiteral("False")});
}
QString buildMakeVisible() {
    return letter(MessageKind::MakeVisible);
}
QString buildMakeInvisible() {
    return letter(MessageKind::MakeInvisible);
}
QString buildTerminate() {
    return letter(MessageKind::Terminate);
}
QString buildUninstall() {
    return letter(MessageKind::Uninstall);
}

QStringList parseSchedule(const QString& message) {
    return fieldsAfterLetter(message);
}
QStringList parseSettings(const QString& message) {
    return fieldsAfterLetter(message);
}
QStringList parseWhiteList(const QString& message) {
    return countedItems(message);
}
QStringList parseBlockList(const QString& message) {
    return countedItems(message);
}
int parseFlag(const QString& message) {
    return Get_Field(payloadOf(message), 1).toInt();
}
bool parseBlankScreen(const QString& message) {
    return Get_Field(payloadOf(message), 1) == QLatin1String("True");
}
bool parseMakeVisible(const QString& message) {
    return startsWith(message, MessageKind::MakeVisible);
}
bool parseMakeInvisible(const QString& message) {
    return startsWith(message, MessageKind::MakeInvisible);
}
bool parseTerminate(const QString& message) {
    return startsWith(message, MessageKind::Terminate);
}
bool parseUninstall(const QString& message) {
    return startsWith(message, MessageKind::Uninstall);
}

QString buildIdentification(const QString& identifier, const QString& computerName, const QString& version) {
    return withFields(MessageKind::Identification, {identifier, computerName, version});
}
QString buildStatusReport(const QString& code) {
    return letter(MessageKind::StatusReport) + code;
}
QString buildAskSchedule() {
    return letter(MessageKind::AskSchedule);
}
QString buildAskSettings() {
    return letter(MessageKind::AskSettings);
}
QString buildAskWhiteList() {
    return letter(MessageKind::AskWhiteList);
}
QString buildAskBlockList() {
    return letter(MessageKind::AskBlockList);
}

Identification parseIdentification(const QString& message) {
    const QString payload = payloadOf(message);
    Identification id;
    id.identifier = Get_Field(payload, 1);
    id.computerName = Get_Field(payload, 2);
    id.version = static_cast<float>(leadingNumber(Get_Field(payload, 3)));
    return id;
}
QString parseStatusReport(const QString& message) {
    return payloadOf(message).left(2);
}
bool parseAskSchedule(const QString& message) {
    return startsWith(message, MessageKind::AskSchedule);
}
bool parseAskSettings(const QString& message) {
    return startsWith(message, MessageKind::AskSettings);
}
bool parseAskWhiteList(const QString& message) {
    return startsWith(message, MessageKind::AskWhiteList);
}
bool parseAskBlockList(const QString& message) {
    return startsWith(message, MessageKind::AskBlockList);
}

double leadingNumber(QStringView text) {
    QString number;
    bool point = false;
    bool digits = false;
    qsizetype i = 0;
    auto skipBlanks = [&] {
        while (i < text.size() && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t') ||
                                   text[i] == QLatin1Char('\n') || text[i] == QLatin1Char('\r')))
            ++i;
    };
    skipBlanks();
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        number += text[i++];
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isDigit() && c.unicode() < 0x80) {
            number += c;
            digits = true;
        } else if (c == QLatin1Char('.') && !point) {
            number += c;
            point = true;
        } else {
            break;
        }
    }
    if (!digits)
        return 0.0;
    if (i + 1 < text.size() && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        qsizetype j = i + 1;
        QString exponent = QStringLiteral("e");
        if (text[j] == QLatin1Char('+') || text[j] == QLatin1Char('-'))
            exponent += text[j++];
        const qsizetype firstDigit = j;
        while (j < text.size() && text[j].isDigit() && text[j].unicode() < 0x80)
            exponent += text[j++];
        if (j > firstDigit)
            number += exponent;
    }
    return number.toDouble();
}

} // namespace kestrava::Messages
