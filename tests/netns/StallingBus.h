#pragma once

#include <QSocketNotifier>
#include <QString>
#include <memory>
#include <sys/types.h>
#include <vector>

// What a user can put at their session bus's path: a listening socket that accepts whoever connects and
// never answers.
class StallingBus {
public:
    // Closes everything, which releases whoever waits, and removes the socket file.
    ~StallingBus();

    // Listens at path (as the test process reaches it), owned by user; what failed, or empty.
    QString listen(const QString& path, uid_t user);
    // Connections taken so far.
    int accepted() const { return int(m_peers.size()); }

private:
    void accept();

    QString m_path;
    int m_listener = -1;
    std::vector<int> m_peers;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
