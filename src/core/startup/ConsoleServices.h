#pragma once

namespace kestrava {

class Clock;
class ConnectionManager;
class Database;
class Messenger;
class SecureListener;
class SystemTree;

// The core objects of one running console, handed to the windows. main() owns them.
struct ConsoleServices {
    Database& db;
    SystemTree& tree;
    const Clock& clock;
    // The client link; absent where a window is tested without one.
    ConnectionManager* connections = nullptr;
    Messenger* messenger = nullptr;
    // The authenticated port and the console's own key; absent where a window is tested without it.
    SecureListener* secure = nullptr;
};

} // namespace kestrava
