#pragma once

#include <QSocketNotifier>
#include <QString>
#include <QTimer>
#include <memory>
#include <sys/types.h>
#include <vector>

// What a user can put at their session bus's path: a listening socket that holds up whoever connects.
// Silent accepts and never answers, FullBacklog never accepts and keeps its one-place queue full, so
// that a connect() waits, Trickle accepts and sends a byte now and then, never a whole line.
class StallingBus {
public:
    enum class Mode { Silent, FullBacklog, Trickle };

    explicit StallingBus(Mode mode);
    // Closes everything, which releases whoever waits, and removes the socket file.
    ~StallingBus();

    // Listens at path (as the test process reaches it), owned by user; what failed, or empty.
    QString listen(const QString& path, uid_t user);
    // Connections taken so far.
    int accepted() const { return int(m_peers.size()); }

private:
    void accept();
    void trickle();

    Mode m_mode;
    QString m_path;
    int m_listener = -1;
    std::vector<int> m_peers;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_trickle;
    qsizetype m_sent = 0;
};
