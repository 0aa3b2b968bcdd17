#pragma once

#include <QString>
#include <QStringView>
#include <optional>

namespace kestrava {

// What an "h" reports: its two letters, what changed ("I" internet, "S" schedule, "T" timer) and
// how ("N" on or started, "F" off or stopped).
enum class StatusReport { InternetOn, InternetOff, ScheduleOn, ScheduleOff, TimerOn, TimerOff };

QString encodeStatusReport(StatusReport report);
// The report of a message, from the two characters after its letter; what follows them is not read.
std::optional<StatusReport> decodeStatusReport(QStringView message);

} // namespace kestrava
