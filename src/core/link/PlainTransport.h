#pragma once

#include "tls/Transport.h"

namespace kestrava {

// The kernel's socket as it is: one receive is one arrival, one send goes straight to the kernel.
class PlainTransport : public Transport {
public:
    // The descriptor stays the caller's.
    explicit PlainTransport(int descriptor)
        : m_descriptor(descriptor) {}

    Result receive(char* data, qsizetype size) override;
    Result send(const char* data, qsizetype size) override;

private:
    int m_descriptor;
};

} // namespace kestrava
