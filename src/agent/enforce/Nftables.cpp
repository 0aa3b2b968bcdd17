#include "agent/enforce/Nftables.h"

#include <memory>
#include <nftables/libnftables.h>

namespace kestrava::agent {

bool Nftables::run(const QString& script, QString* error) {
    return execute(script, false, error);
}

bool Nftables::check(const QString& script, QString* error) {
    return execute(script, true, error);
}

std::optional<QString> Nftables::listTable(const QString& table) {
    QString output;
    if (!execute(QStringLiteral("list table ") + table, false, nullptr, &output, NFT_CTX_OUTPUT_TERSE))
        return std::nullopt;
    return output;
}

bool Nftables::execute(const QString& script, bool dryRun, QString* error, QString* output,
                       unsigned outputFlags) {
    const std::unique_ptr<nft_ctx, decltype(&nft_ctx_free)> context(nft_ctx_new(NFT_CTX_DEFAULT),
                                                                    &nft_ctx_free);
    if (!context) {
        if (error)
            *error = QStringLiteral("nftables could not be initialised");
        return false;
    }
    // Buffered, so that nothing reaches standard output and the message can be returned.
    nft_ctx_buffer_output(context.get());
    nft_ctx_buffer_error(context.get());
    nft_ctx_set_dry_run(context.get(), dryRun);
    nft_ctx_output_set_flags(context.get(), outputFlags);
    const int result = nft_run_cmd_from_buffer(context.get(), script.toUtf8().constData());
    if (result == 0 && output) {
        const char* text = nft_ctx_get_output_buffer(context.get());
        *output = QString::fromUtf8(text ? text : "");
    }
    if (result != 0 && error) {
        const char* message = nft_ctx_get_error_buffer(context.get());
        *error = QString::fromUtf8(message ? message : "").trimmed();
        if (error->isEmpty())
            *error = QStringLiteral("nftables refused the ruleset");
    }
    return result == 0;
}

} // namespace kestrava::agent
