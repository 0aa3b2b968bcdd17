#pragma once

#include <QString>

namespace kestrava::TlsErrors {

// OpenSSL's queued errors of this thread as one line, oldest first; the queue is left empty.
QString take();

} // namespace kestrava::TlsErrors
