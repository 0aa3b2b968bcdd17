#pragma once

#include <QTcpServer>
#include <deque>

namespace kestrava {

// The listening socket handing out the descriptors it accepts, without a QTcpSocket around each: the
// connection table keeps a descriptor and one notifier per client, and closes it when it chooses.
class DescriptorServer : public QTcpServer {
    Q_OBJECT
public:
    using QTcpServer::QTcpServer;
    ~DescriptorServer() override;

    // The oldest accepted descriptor not yet taken; -1 when none waits.
    qintptr takeDescriptor();

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    std::deque<qintptr> m_accepted;
};

} // namespace kestrava
