#pragma once

#include "protocol/Decoded.h"
#include "protocol/Messages.h"

#include <QString>

namespace kestrava {

// "F" and its code (Messages::kFlagSynchronized, Messages::kFlagMoved).
QString encodeFlag(int code);
Decoded<int> decodeFlag(const QString& message);

// "L": blank the screen or show it again.
QString encodeBlankScreen(bool blank);
Decoded<bool> decodeBlankScreen(const QString& message);

// The orders that are their letter alone: make visible, make invisible, terminate, uninstall.
QString encodeBareOrder(MessageKind kind);
Decoded<MessageKind> decodeBareOrder(const QString& message);

} // namespace kestrava
