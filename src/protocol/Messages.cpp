#include "protocol/Messages.h"

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
