#pragma once

namespace kestrava {

class Database;
class SystemTree;

// Builds the whole tree from the policy database: the root, each group in Group_ID order with its
// systems, then the systems whose group does not exist. A failed reading stops quietly and leaves the
// tree as far as it was built; returns false then.
bool Load_Systems_Tree(Database& db, SystemTree& tree);

} // namespace kestrava
