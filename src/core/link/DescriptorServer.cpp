#include "core/link/DescriptorServer.h"

#include <unistd.h>

namespace kestrava {

DescriptorServer::~DescriptorServer() {
    for (qintptr descriptor : m_accepted)
        ::close(static_cast<int>(descriptor));
}

qintptr DescriptorServer::takeDescriptor() {
    if (m_accepted.empty())
        return -1;
    const qintptr descriptor = m_accepted.front();
    m_accepted.pop_front();
    return descriptor;
}

void DescriptorServer::incomingConnection(qintptr descriptor) {
    m_accepted.push_back(descriptor);
}

} // namespace kestrava
