#include "protocol/ConsoleOrder.h"

#include "protocol/FieldReader.h"
#include "protocol/ListOrders.h"
#include "protocol/ShortOrders.h"

namespace kestrava {

namespace {

// Sets member from a decoded value; keeps the reason otherwise.
template <typename T, typename M> void take(const Decoded<T>& decoded, M& member, QString& error) {
    if (decoded.value)
        member = *decoded.value;
    else
        error = decoded.error;
}

} // namespace

OrderParse parseOrder(const QString& message) {
    const std::optional<MessageKind> kind = Messages::kindOf(MessageSender::Console, message);
    if (!kind)
        return {std::nullopt, QStringLiteral("not a console message: %1").arg(FieldReader::quoted(message))};
    ConsoleOrder order;
    order.kind = *kind;
    QString error;
    switch (*kind) {
    case MessageKind::Schedule:
        take(decodeSchedule(message), order.schedule, error);
        break;
    case MessageKind::Settings:
        take(decodeSettings(message), order.settings, error);
        break;
    case MessageKind::WhiteList:
    case MessageKind::BlockList:
        take(decodeList(message), order.entries, error);
        break;
    case MessageKind::Flag:
        take(decodeFlag(message), order.flagCode, error);
        break;
    case MessageKind::BlankScreen:
        take(decodeBlankScreen(message), order.blank, error);
        break;
    default: {
        MessageKind bare = *kind;
        take(decodeBareOrder(message), bare, error);
        break;
    }
    }
    if (!error.isEmpty())
        return {std::nullopt, QStringLiteral("\"%1\": %2").arg(message.left(1), error)};
    return {order, {}};
}

} // namespace kestrava
