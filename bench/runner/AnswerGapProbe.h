#pragma once

#include <QtGlobal>
#include <atomic>
#include <thread>
#include <vector>

namespace kestrava::bench {

// A few identified connections that ask "s" in turn every 10 ms, each at most every 80 ms (above the
// console's 50 ms spacing per connection), and note the longest time without any answer: how long the
// target's event loop was held.
class AnswerGapProbe {
public:
    ~AnswerGapProbe();
    bool start(quint16 port, int connections = 8);
    // The longest gap since start or the last reset, in ms.
    double longestGapMs() const { return static_cast<double>(m_longestNs.load()) / 1e6; }
    void resetLongest() { m_longestNs = 0; }
    void stop();

private:
    void run();

    std::vector<int> m_sockets;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_longestNs{0};
};

} // namespace kestrava::bench
