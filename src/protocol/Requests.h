#pragma once

#include <QString>
#include <QStringView>
#include <optional>

namespace kestrava {

// What a client service asks for, each its letter alone: "s", "o", "r", "b".
enum class Request { Schedule, Settings, WhiteList, BlockList };

QString encodeRequest(Request request);
// The request a message starts with; what follows the letter is not read.
std::optional<Request> decodeRequest(QStringView message);

} // namespace kestrava
