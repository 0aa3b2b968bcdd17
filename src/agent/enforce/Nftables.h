#pragma once

#include <QString>

namespace kestrava::agent {

// The one place that talks to nftables (libnftables). Needs CAP_NET_ADMIN in the network namespace
// it runs in, also for check().
class Nftables {
public:
    // Runs script as one transaction: all of it or nothing. On failure, error gets nft's message.
    static bool run(const QString& script, QString* error = nullptr);
    // Parses and validates script against the kernel without changing anything.
    static bool check(const QString& script, QString* error = nullptr);

private:
    static bool execute(const QString& script, bool dryRun, QString* error);
};

} // namespace kestrava::agent
