#pragma once

namespace kestrava {

class Clock;
class Database;
class SystemTree;

// The core objects of one running console, handed to the windows. main() owns them.
struct ConsoleServices {
    Database& db;
    SystemTree& tree;
    const Clock& clock;
};

} // namespace kestrava
