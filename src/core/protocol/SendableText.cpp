#include "core/protocol/SendableText.h"

#include "protocol/Fields.h"
#include "protocol/WireCodec.h"

namespace kestrava::SendableText {

qsizetype firstUnsendable(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        // A NUL ends the text for many readers, and the database's case-blind comparisons stop at it.
        if (c == kFieldSeparator || c.unicode() == 0 || !WireCodec::isEncodable(QString(c)))
            return i;
    }
    return -1;
}

QString unsendableReason(const QString& text) {
    const qsizetype at = firstUnsendable(text);
    if (at < 0)
        return {};
    // A lone surrogate is shown with its partner so that the message shows the whole character.
    qsizetype length = 1;
    if (text.at(at).isHighSurrogate() && at + 1 < text.size())
        length = 2;
    const QString shown = text.at(at).unicode() == 0 ? QStringLiteral("U+0000") : text.mid(at, length);
    return QStringLiteral(" The character '%1' cannot be sent to the client services.").arg(shown);
}

} // namespace kestrava::SendableText
