#pragma once

#include <QByteArray>
#include <QString>
#include <sys/types.h>

namespace kestrava::agent {

// The first uid of ordinary users, as the system's account tools see it.
class LoginDefs {
public:
    static constexpr uid_t kDefaultUidMin = 1000;

    // UID_MIN from the text of login.defs; the default when it is missing or not a number above 0.
    static uid_t uidMinFromText(const QByteArray& text);
    // The same from a file; the default when the file cannot be read.
    static uid_t uidMin(const QString& path = QStringLiteral("/etc/login.defs"));
};

} // namespace kestrava::agent
