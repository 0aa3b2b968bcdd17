#include "enforce/Nftables.h"

#include <memory>
#include <nftables/libnftables.h>

namespace kestrava::agent {

bool Nftables::run(const QString& script, QString* error) {
    return execute(script, false, error);
}

bool Nftables::check(const QString& script, QString* error) {
    return execute(script, true, error);
}

bool Nftables::execute(const QString& script, bool dryRun, QString* error) {
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
    const int result = nft_run_cmd_from_buffer(context.get(), script.toUtf8().constData());
    if (result != 0 && error) {
        const char* message = nft_ctx_get_error_buffer(context.get());
        *error = QString::fromUtf8(message ? message : "").trimmed();
        if (error->isEmpty())
            *error = QStringLiteral("nftables refused the ruleset");
    }
    return result == 0;
}

} // namespace kestrava::agent
