#include "protocol/StatusReport.h"

#include "protocol/Messages.h"

#include <array>

namespace kestrava {

namespace {

constexpr std::array<const char16_t*, 6> kCodes = {u"IN", u"IF", u"SN", u"SF", u"TN", u"TF"};

} // namespace

QString encodeStatusReport(StatusReport report) {
    return QString(Messages::letterOf(MessageKind::StatusReport)) +
           QString::fromUtf16(kCodes[static_cast<std::size_t>(report)]);
}

std::optional<StatusReport> decodeStatusReport(QStringView message) {
    if (Messages::kindOf(MessageSender::Client, message) != MessageKind::StatusReport)
        return std::nullopt;
    const QStringView code = message.sliced(1).first(qMin<qsizetype>(2, message.size() - 1));
    for (std::size_t i = 0; i < kCodes.size(); ++i) {
        if (code == QStringView(kCodes[i]))
            return static_cast<StatusReport>(i);
    }
    return std::nullopt;
}

} // namespace kestrava
