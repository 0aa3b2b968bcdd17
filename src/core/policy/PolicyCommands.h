#pragma once

#include <QString>
#include <QVariant>

namespace kestrava {

class Database;
class ScheduleSender;

// The direct policy commands, given the key of the chosen group or system. Each stores its change in
// one transaction and then sends the schedule message to whoever it reaches. Questions are the
// caller's. Throws DatabaseError; a failure leaves the database as before.
class PolicyCommands {
public:
    enum class Outcome {
        Done,
        NotApplicable, // the key is not of a kind the command works on: nothing happens
        OwnerMissing,  // the group or system is not in the database: nothing written or sent
    };

    PolicyCommands(Database& db, ScheduleSender& messenger);

    Outcome setInternet(const QString& key, bool on);
    Outcome clearInternetSettings(const QString& key);
    // A system follows its group again.
    Outcome inheritGroupInternetSettings(const QString& key);
    // Every member of a group follows the group.
    Outcome setInternetSettingsToClients(const QString& key);

    static QString clearGroupQuestion(const QString& groupText);
    static QString clearSystemQuestion(const QString& systemText);
    static QString inheritQuestion(const QString& systemText);
    static QString setToClientsQuestion();

private:
    Outcome changeGroup(const QString& key, const QString& groupUpdate, const QVariantList& values);
    Outcome changeSystem(const QString& key, const QString& systemUpdate, const QVariantList& values);

    Database& m_db;
    ScheduleSender& m_messenger;
};

} // namespace kestrava
