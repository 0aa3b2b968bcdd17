#pragma once

#include "agent/desktop/UserAccount.h"

#include <QObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTimer>
#include <chrono>

namespace kestrava::agent {

// One run of a helper program as a user, for work towards what that user controls (their session
// bus). The program is exec'd in a session of its own with the user's identity, a clean environment
// and no descriptor beyond the standard ones, standard input and output null; after the time limit
// its whole process group is killed. The agent's loop never waits for it.
class UserHelper : public QObject {
    Q_OBJECT

public:
    enum class End { Exited, TimedOut, FailedToStart };
    Q_ENUM(End)
    static constexpr std::chrono::seconds kTimeLimit{5};
    // The exit code of a child that could not take the user's identity.
    static constexpr int kIdentityFailed = 125;

    // runtimeDir: the user's XDG runtime folder, whose "bus" is their session bus.
    UserHelper(QString program, QStringList arguments, UserAccount account, QString runtimeDir,
               QObject* parent = nullptr);
    ~UserHelper() override;

    // Where standard output goes instead of nowhere: for tests that read what the child saw.
    void setOutputFile(const QString& path);
    void start();

    static QProcessEnvironment environment(const UserAccount& account, const QString& runtimeDir);

signals:
    // Once per run; exitCode only for End::Exited, -1 when a signal ended the child.
    void ended(kestrava::agent::UserHelper::End end, int exitCode);

private:
    void onFinished(int exitCode, QProcess::ExitStatus status);
    void onErrorOccurred(QProcess::ProcessError error);
    void onTimeLimit();
    void finish(End end, int exitCode);

    QString m_program;
    QStringList m_arguments;
    UserAccount m_account;
    QString m_runtimeDir;
    QProcess m_process;
    QTimer m_limit;
    bool m_timedOut = false;
    bool m_ended = false;
};

} // namespace kestrava::agent
