#include "tls/TlsErrors.h"

#include <array>
#include <openssl/err.h>

namespace kestrava::TlsErrors {

QString take() {
    QString text;
    std::array<char, 256> line{};
    for (unsigned long error = ERR_get_error(); error != 0; error = ERR_get_error()) {
        ERR_error_string_n(error, line.data(), line.size());
        if (!text.isEmpty())
            text += QLatin1String(", ");
        text += QString::fromLatin1(line.data());
    }
    return text;
}

} // namespace kestrava::TlsErrors
