#include "protocol/ShortOrders.h"

#include "protocol/FieldReader.h"
#include "protocol/Fields.h"

namespace kestrava {

namespace {

constexpr int kMaxFlagCode = 999999;

QString withField(MessageKind kind, const QString& field) {
    return QString(Messages::letterOf(kind)) + kFieldSeparator + field + kFieldSeparator;
}

bool isBare(MessageKind kind) {
    return kind == MessageKind::MakeVisible || kind == MessageKind::MakeInvisible ||
           kind == MessageKind::Terminate || kind == MessageKind::Uninstall;
}

} // namespace

QString encodeFlag(int code) {
    return withField(MessageKind::Flag, QString::number(code));
}

Decoded<int> decodeFlag(const QString& message) {
    FieldReader r;
    const int code =
        r.number(r.oneField(Messages::payloadOf(message)), kMaxFlagCode, QStringLiteral("the code"));
    return r.result(code);
}

QString encodeBlankScreen(bool blank) {
    return withField(MessageKind::BlankScreen, blank ? QStringLiteral("True") : QStringLiteral("False"));
}

Decoded<bool> decodeBlankScreen(const QString& message) {
    FieldReader r;
    const bool blank =
        r.boolean(r.oneField(Messages::payloadOf(message)), QStringLiteral("the blank-screen flag"));
    return r.result(blank);
}

QString encodeBareOrder(MessageKind kind) {
    return isBare(kind) ? QString(Messages::letterOf(kind)) : QString();
}

Decoded<MessageKind> decodeBareOrder(const QString& message) {
    FieldReader r;
    const std::optional<MessageKind> kind = Messages::kindOf(MessageSender::Console, message);
    if (!kind || !isBare(*kind))
        r.fail(QStringLiteral("not an order of one letter: %1").arg(FieldReader::quoted(message)));
    else if (message.size() > 1)
        r.fail(QStringLiteral("the one-letter order carries %1").arg(FieldReader::quoted(message.mid(1))));
    return r.result(kind.value_or(MessageKind::Terminate));
}

} // namespace kestrava
