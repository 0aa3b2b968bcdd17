#pragma once

#include <QString>
#include <functional>

namespace kestrava {

// Sends the lists of the node key that a closing list window changed.
using SendLists = std::function<void(const QString& key)>;

// Nothing is sent for an empty key; a database failure is shown, never thrown out of the window.
void sendListsOnClose(const SendLists& send, const QString& key,
                      const std::function<void(const QString& message)>& showError);

} // namespace kestrava
