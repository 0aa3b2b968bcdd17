#pragma once

#include <QString>
#include <optional>

namespace kestrava::agent {

// The one place that talks to nftables (libnftables). Needs CAP_NET_ADMIN in the network namespace
// it runs in, also for check().
class Nftables {
public:
    // Runs script as one transaction: all of it or nothing. On failure, error gets nft's message.
    static bool run(const QString& script, QString* error = nullptr);
    // Parses and validates script against the kernel without changing anything.
    static bool check(const QString& script, QString* error = nullptr);
    // The table as nft lists it, without the elements of its sets (which DNS answers fill); nothing
    // when it does not exist.
    static std::optional<QString> listTable(const QString& table);

private:
    static bool execute(const QString& script, bool dryRun, QString* error, QString* output = nullptr,
                        unsigned outputFlags = 0);
};

} // namespace kestrava::agent
