#pragma once

#include <QString>
#include <optional>
#include <sys/types.h>
#include <vector>

namespace kestrava::agent {

// What a process needs to run as a user: looked up once, before any fork, because the lookup may
// allocate and read NSS, which a child of a threaded process must not.
struct UserAccount {
    uid_t uid = 0;
    gid_t gid = 0;
    QString name;
    QString home;
    // The supplementary groups, the primary one among them.
    std::vector<gid_t> groups;

    static std::optional<UserAccount> lookup(uid_t uid);
};

} // namespace kestrava::agent
