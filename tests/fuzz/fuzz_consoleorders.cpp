// What a console (or anyone who takes its place on the network) can send to the agent: bytes cut into
// messages by structure and each message read into an order. Whole messages split again must give
// the same messages, and nothing may crash or read past the text.

#include "protocol/ConsoleOrder.h"
#include "protocol/ConsoleSplitter.h"
#include "protocol/WireCodec.h"

#include <cstdio>
#include <cstdlib>

using namespace kestrava;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text =
        WireCodec::decodeSingleByte(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    for (const bool final : {false, true}) {
        const SplitResult result = splitConsoleMessages(text, final);
        if (result.consumed < 0 || result.consumed > text.size()) {
            std::fputs("invariant broken: consumed outside the text\n", stderr);
            std::abort();
        }
        for (const QString& message : result.messages)
            parseOrder(message);
        const SplitResult again = splitConsoleMessages(result.messages.join(QString()), true);
        if (again.messages != result.messages) {
            std::fputs("invariant broken: whole messages split differently\n", stderr);
            std::abort();
        }
    }
    return 0;
}
