#include "protocol/ListOrders.h"

#include "protocol/ConsoleSplitter.h"
#include "protocol/FieldReader.h"
#include "protocol/Fields.h"
#include "protocol/Messages.h"

namespace kestrava {

namespace {

QString encodeList(MessageKind kind, const std::optional<QStringList>& entries) {
    QString text(Messages::letterOf(kind));
    if (!entries)
        return text;
    text += kFieldSeparator + QString::number(entries->size()) + kFieldSeparator;
    for (const QString& entry : *entries)
        text += entry + kFieldSeparator;
    return text;
}

} // namespace

QString encodeWhiteList(const std::optional<QStringList>& entries) {
    return encodeList(MessageKind::WhiteList, entries);
}

QString encodeBlockList(const std::optional<QStringList>& entries) {
    return encodeList(MessageKind::BlockList, entries);
}

Decoded<QStringList> decodeList(const QString& message) {
    FieldReader r;
    const QStringList f = r.fields(Messages::payloadOf(message));
    if (!r.ok())
        return r.result(QStringList());
    const int n = r.number(f[0], kMaxConsoleCount, QStringLiteral("the entry count"));
    if (r.ok() && f.size() != n + 1)
        r.fail(QStringLiteral("%1 entries where the count says %2").arg(f.size() - 1).arg(n));
    return r.result(f.mid(1));
}

} // namespace kestrava
