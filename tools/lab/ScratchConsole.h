#pragma once

#include <QObject>
#include <QProcess>
#include <QString>

// The real console, copied into a program folder of the lab's own beside a fresh database (the group
// "Classroom" that new computers join, school.example on its white list, the lab's game on its block
// list), run in the LAN namespace with a scratch HOME and XDG folders, its window on the user's display.
class ScratchConsole : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kGroup = "Classroom";
    static constexpr const char* kAllowedSite = "school.example";
    static constexpr const char* kGame = "labgame";

    // folder is the lab's scratch folder for the console; consoleProgram the one to copy.
    ScratchConsole(QString folder, QString consoleProgram, QObject* parent = nullptr);
    ~ScratchConsole() override;

    // Copies the program, writes the database, starts the console and waits until it listens and its
    // certificate is made; why it failed, or empty.
    QString start();
    // Calls the console's window up, as a second start with the password does.
    void showWindow();
    void stop();
    // The SHA-256 fingerprint of the console's certificate, which the agents pin.
    const QString& fingerprint() const { return m_fingerprint; }
    // Copies the database, the console's key and certificate into folder; why it failed, or empty.
    QString keepIn(const QString& folder) const;

signals:
    // The console ended while the lab ran: closed by its user, or crashed.
    void ended(const QString& why, bool failed);

private:
    QString copyProgram();
    QString writeDatabase() const;
    QProcessEnvironment environment() const;
    bool isListening() const;
    QString databasePath() const;

    QString m_folder;
    QString m_consoleProgram;
    QString m_program;
    QProcess m_console;
    QString m_fingerprint;
    QByteArray m_output;
    bool m_stopping = false;
};
