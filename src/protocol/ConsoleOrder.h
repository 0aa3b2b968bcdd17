#pragma once

#include "protocol/Messages.h"
#include "protocol/ScheduleOrder.h"
#include "protocol/SettingsOrder.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace kestrava {

// What one console message orders, read into types. Only the members of its kind are set.
struct ConsoleOrder {
    MessageKind kind = MessageKind::Schedule;
    Schedule schedule;   // "S"
    Settings settings;   // "O"
    QStringList entries; // "P", "B": as sent, untrimmed
    int flagCode = 0;    // "F"
    bool blank = false;  // "L"

    bool operator==(const ConsoleOrder&) const = default;
};

struct OrderParse {
    std::optional<ConsoleOrder> order; // empty when the message is refused
    QString error;                     // why it was refused
};

// Reads one complete console message (letter included) with its kind's decoder, refusing what is
// malformed.
OrderParse parseOrder(const QString& message);

} // namespace kestrava
