#include "agent/desktop/UserAccount.h"

#include <QFile>
#include <algorithm>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace kestrava::agent {

std::optional<UserAccount> UserAccount::lookup(uid_t uid) {
    const long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(hint > 0 ? size_t(hint) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return std::nullopt;

    UserAccount account;
    account.uid = uid;
    account.gid = found->pw_gid;
    account.name = QFile::decodeName(found->pw_name);
    account.home = QFile::decodeName(found->pw_dir);
    const long limit = ::sysconf(_SC_NGROUPS_MAX);
    int count = 32;
    while (count <= limit) {
        account.groups.resize(size_t(count));
        const int offered = count;
        if (::getgrouplist(found->pw_name, found->pw_gid, account.groups.data(), &count) >= 0) {
            account.groups.resize(size_t(count));
            return account;
        }
        // count now holds the number needed, unless the list grew meanwhile.
        count = std::max(count, offered * 2);
    }
    return std::nullopt;
}

} // namespace kestrava::agent
