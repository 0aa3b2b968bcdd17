#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

namespace kestrava::agent {

// Lets `kestrava-agent --status` ask the running agent for the state in force, which may differ from
// the saved one when saving failed. The socket lives in the state folder, which only root can enter.
class StatusServer : public QObject {
    Q_OBJECT

public:
    static constexpr int kAskTimeoutMs = 2000;

    StatusServer(QString directory, std::function<QString()> text, QObject* parent = nullptr);

    static QString socketPath(const QString& directory);
    bool listen(QString* error);
    // What a running agent answers; nothing when none answers within kAskTimeoutMs.
    static std::optional<QString> ask(const QString& directory);

private:
    void answer();

    QString m_directory;
    std::function<QString()> m_text;
    QLocalServer m_server;
};

} // namespace kestrava::agent
