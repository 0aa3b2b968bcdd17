#include "LoadWorker.h"

#include "BenchClock.h"
#include "KeyValueLine.h"
#include "SimulatedClient.h"
#include "protocol/Fields.h"
#include "tls/TlsContext.h"
#include "tls/TlsIdentity.h"

#include <algorithm>

namespace kestrava::bench {

namespace {

// Clients per source address: far below the ephemeral ports of one address.
constexpr int kClientsPerAddress = 50;
// Answers still on their way when a mix ends are waited for this long.
constexpr qint64 kMixGraceNs = 2'000'000'000;

QString flagMessage() {
    return QStringLiteral("F") + kFieldSeparator + QStringLiteral("3") + kFieldSeparator;
}

QChar answerLetterOf(int step) {
    static const char16_t letters[] = {u'S', u'O', u'P', u'B'};
    return step < 4 ? QChar(letters[step]) : QChar();
}

} // namespace

LoadWorker::LoadWorker(const Options& options, QObject* parent)
    : QObject(parent)
    , m_options(options) {
    m_clients.resize(static_cast<std::size_t>(options.count));
    for (int i = 0; i < options.count; ++i) {
        Client& c = m_clients[static_cast<std::size_t>(i)];
        c.number = options.first + i;
        if (options.tls) {
            c.tls = std::make_shared<TlsContext>(TlsContext::Side::Client,
                                                 TlsIdentity::generate(QStringLiteral("PC%1").arg(c.number)));
        }
    }
    m_thinkTick.setTimerType(Qt::PreciseTimer);
    m_thinkTick.setInterval(1);
    connect(&m_thinkTick, &QTimer::timeout, this, &LoadWorker::onThinkTick);
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &LoadWorker::finish);
}

LoadWorker::~LoadWorker() = default;

QHostAddress LoadWorker::sourceOf(int index) const {
    const int address = index / kClientsPerAddress;
    return QHostAddress((127u << 24) | (quint32(m_options.sourceNet) << 16) | (quint32(address / 250) << 8) |
                        quint32(address % 250 + 1));
}

void LoadWorker::command(const QString& line) {
    const KeyValueLine parsed = KeyValueLine::parse(line);
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (m_phase != Phase::Idle) {
        emit reply(QStringLiteral("busy"));
        return;
    }
    if (parsed.verb == QLatin1String("storm"))
        startStorm();
    else if (parsed.verb == QLatin1String("drop"))
        drop();
    else if (parsed.verb == QLatin1String("exchange"))
        startRequests(Phase::Exchange, 0, m_options.thinkMs);
    else if (parsed.verb == QLatin1String("mix") && (words.size() == 2 || words.size() == 3))
        startRequests(Phase::Mix, words[1].toInt(), words.size() == 3 ? words[2].toInt() : m_options.thinkMs);
    else if (parsed.verb == QLatin1String("watch") && words.size() == 3 && words[1].size() == 1)
        startWatch(words[1][0], words[2].toInt());
    else
        emit reply(QStringLiteral("unknown"));
}

void LoadWorker::startStorm() {
    m_phase = Phase::Storm;
    m_connected = m_done = m_separate = m_wrong = m_resumed = 0;
    m_lastConnected = m_lastDone = 0;
    m_startedAt = nowNs();
    for (int i = 0; i < m_options.count; ++i) {
        Client& c = m_clients[static_cast<std::size_t>(i)];
        c.sim = std::make_unique<SimulatedClient>();
        c.arrivals = 0;
        c.done = c.separate = false;
        connect(c.sim.get(), &SimulatedClient::connected, this, [this, i] { onConnected(i); });
        connect(c.sim.get(), &SimulatedClient::arrived, this,
                [this, i](const QString& message) { onArrival(i, message); });
        if (m_options.tls)
            c.sim->useTls(c.tls, c.sessionTicket);
        c.sim->bindTo(sourceOf(i));
        c.sim->connectTo(m_options.host, m_options.port);
    }
    m_deadline.start(m_options.timeoutMs);
}

void LoadWorker::onConnected(int index) {
    Client& c = m_clients[static_cast<std::size_t>(index)];
    c.connectedAt = nowNs();
    m_lastConnected = std::max(m_lastConnected, c.connectedAt);
    ++m_connected;
    m_resumed += c.sim->resumedSession() ? 1 : 0;
    if (m_phase == Phase::Storm)
        c.sim->identify(QStringLiteral("B%1").arg(c.number), QStringLiteral("PC%1").arg(c.number));
}

void LoadWorker::onArrival(int index, const QString& message) {
    Client& c = m_clients[static_cast<std::size_t>(index)];
    c.sim->clearArrivals();
    const qint64 now = nowNs();
    ++c.arrivals;
    switch (m_phase) {
    case Phase::Storm: {
        if (c.done)
            return;
        if (c.arrivals == 1) {
            c.separate = message == flagMessage();
            if (c.separate || !message.startsWith(flagMessage() + QLatin1Char('S')))
                return;
        } else if (!message.startsWith(QLatin1Char('S'))) {
            ++m_wrong;
            return;
        }
        c.done = true;
        m_separate += c.separate ? 1 : 0;
        m_lastDone = now;
        if (++m_done == m_options.count)
            finish();
        return;
    }
    case Phase::Exchange:
    case Phase::Mix:
        if (c.expected.isNull())
            return;
        if (c.owed) {
            c.owed = false;
            c.expected = QChar();
            m_thinking.emplace_back(now, index);
            if (!m_thinkTick.isActive())
                m_thinkTick.start();
            return;
        }
        if (!message.isEmpty() && message[0] == c.expected) {
            m_latency.add(now - c.sentAt);
            // Throughput counts what arrived inside the measured time.
            if (m_phase == Phase::Exchange || now < m_mixEnd)
                ++m_answers;
        } else {
            ++m_wrong;
        }
        c.expected = QChar();
        c.step = (c.step + 1) % 5;
        if (m_phase == Phase::Exchange && c.step == 4) {
            c.done = true;
            if (++m_done == m_options.count)
                finish();
            return;
        }
        m_thinking.emplace_back(now + m_thinkNs, index);
        if (!m_thinkTick.isActive())
            m_thinkTick.start();
        return;
    case Phase::Watch:
        if (c.done || !message.startsWith(m_watchLetter))
            return;
        c.done = true;
        m_lastDone = now;
        if (++m_done == m_options.count)
            finish();
        return;
    case Phase::Idle:
        return;
    }
}

void LoadWorker::drop() {
    for (Client& c : m_clients) {
        if (c.sim)
            c.sessionTicket = c.sim->sessionTicket();
        c.sim.reset();
    }
    m_connected = 0;
    emit reply(QStringLiteral("dropped"));
}

void LoadWorker::startRequests(Phase phase, int durationMs, int thinkMs) {
    m_phase = phase;
    m_done = m_wrong = 0;
    m_answers = 0;
    m_latency = LatencyHistogram();
    m_thinking.clear();
    m_startedAt = nowNs();
    m_mixEnd = m_startedAt + qint64(durationMs) * 1'000'000;
    m_thinkNs = qint64(thinkMs) * 1'000'000;
    const qint64 spread = m_thinkNs;
    for (int i = 0; i < m_options.count; ++i) {
        Client& c = m_clients[static_cast<std::size_t>(i)];
        c.step = 0;
        c.done = false;
        // A late answer of the saturated mix would otherwise be taken for the answer to a new request.
        c.owed = !c.expected.isNull();
        if (c.owed)
            continue;
        // Spread the first requests over one think time instead of sending them all at once.
        m_thinking.emplace_back(m_startedAt + spread * i / std::max(1, m_options.count), i);
    }
    m_thinkTick.start();
    m_deadline.start(phase == Phase::Mix ? durationMs + static_cast<int>(kMixGraceNs / 1'000'000)
                                         : m_options.timeoutMs);
}

void LoadWorker::sendNext(int index) {
    Client& c = m_clients[static_cast<std::size_t>(index)];
    if (!c.sim || !c.sim->isConnected() || c.done)
        return;
    const qint64 now = nowNs();
    if (m_phase == Phase::Mix && now >= m_mixEnd) {
        c.done = true;
        if (++m_done == m_options.count)
            finish();
        return;
    }
    c.sentAt = now;
    switch (c.step) {
    case 0:
        c.sim->askSchedule();
        break;
    case 1:
        c.sim->askSettings();
        break;
    case 2:
        c.sim->askWhiteList();
        break;
    case 3:
        c.sim->askBlockList();
        break;
    default:
        // A status report has no answer: the next request follows after the think time.
        c.sim->reportStatus(QStringLiteral("IN"));
        c.step = 0;
        m_thinking.emplace_back(now + m_thinkNs, index);
        return;
    }
    c.expected = answerLetterOf(c.step);
}

void LoadWorker::onThinkTick() {
    const qint64 now = nowNs();
    while (!m_thinking.empty() && m_thinking.front().first <= now) {
        const int index = m_thinking.front().second;
        m_thinking.pop_front();
        sendNext(index);
        if (m_phase == Phase::Idle)
            return;
    }
    if (m_thinking.empty())
        m_thinkTick.stop();
}

void LoadWorker::startWatch(QChar letter, int timeoutMs) {
    m_phase = Phase::Watch;
    m_watchLetter = letter;
    m_done = 0;
    m_lastDone = 0;
    for (Client& c : m_clients)
        c.done = false;
    m_deadline.start(timeoutMs);
    emit reply(QStringLiteral("watching"));
}

void LoadWorker::finish() {
    const Phase phase = m_phase;
    m_phase = Phase::Idle;
    m_deadline.stop();
    m_thinkTick.stop();
    m_thinking.clear();
    const qint64 now = nowNs();
    switch (phase) {
    case Phase::Storm:
        emit reply(QStringLiteral("storm clients=%1 connected=%2 done=%3 separate=%4 wrong=%5 start=%6 "
                                  "connect_last=%7 done_last=%8 resumed=%9")
                       .arg(m_options.count)
                       .arg(m_connected)
                       .arg(m_done)
                       .arg(m_separate)
                       .arg(m_wrong)
                       .arg(m_startedAt)
                       .arg(m_lastConnected)
                       .arg(m_lastDone)
                       .arg(m_resumed));
        return;
    case Phase::Exchange:
        emit reply(QStringLiteral("exchange clients=%1 done=%2 answers=%3 wrong=%4")
                       .arg(m_options.count)
                       .arg(m_done)
                       .arg(m_answers)
                       .arg(m_wrong));
        return;
    case Phase::Mix:
        emit reply(QStringLiteral("mix clients=%1 answers=%2 wrong=%3 start=%4 end=%5 hist=%6")
                       .arg(m_options.count)
                       .arg(m_answers)
                       .arg(m_wrong)
                       .arg(m_startedAt)
                       .arg(std::min(now, m_mixEnd))
                       .arg(m_latency.toText()));
        return;
    case Phase::Watch:
        emit reply(QStringLiteral("watch clients=%1 done=%2 done_last=%3")
                       .arg(m_options.count)
                       .arg(m_done)
                       .arg(m_lastDone));
        return;
    case Phase::Idle:
        return;
    }
}

} // namespace kestrava::bench
