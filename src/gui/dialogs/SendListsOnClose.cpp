#include "gui/dialogs/SendListsOnClose.h"

#include "core/store/DatabaseError.h"

namespace kestrava {

void sendListsOnClose(const SendLists& send, const QString& key,
                      const std::function<void(const QString& message)>& showError) {
    if (key.isEmpty() || !send)
        return;
    try {
        send(key);
    } catch (const DatabaseError& error) {
        showError(error.toMessage());
    }
}

} // namespace kestrava
