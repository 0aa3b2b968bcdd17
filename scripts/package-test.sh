#!/bin/sh
# End-to-end check of the Debian packages on this machine, as root: builds them (scripts/package.sh),
# installs them with apt-get, checks what they put where, installs the same version again, upgrades to
# a higher version, removes and purges them, and checks that nothing is left behind. Runs lintian when
# it is installed.
#   scripts/package-test.sh [BUILD_DIR]
set -eu
cd "$(dirname "$0")/.."
# The agent's prerm deletes its nftables table: that runs in a network namespace of its own.
if [ -z "${KESTRAVA_PACKAGE_TEST_NETNS:-}" ] && unshare --net true 2>/dev/null; then
    KESTRAVA_PACKAGE_TEST_NETNS=1 exec unshare --net "$(pwd)/scripts/package-test.sh" "$@"
fi
build=${1:-build-pkg}
export DEBIAN_FRONTEND=noninteractive
apt="apt-get -y -qq --no-install-recommends -o Dpkg::Use-Pty=0"
log=$(mktemp -d)

fail() { echo "package-test: FAIL: $*" >&2; exit 1; }
step() { echo "package-test: $*"; }
[ "$(id -u)" -eq 0 ] || fail "run as root: it installs and removes packages"
for p in kestrava kestrava-agent; do
    if dpkg-query -W -f '${Status}' "$p" 2>/dev/null | grep -q installed; then
        fail "$p is installed already; purge it first"
    fi
done

step "building the packages"
scripts/package.sh "$build" >"$log/build" 2>&1 || { cat "$log/build"; fail "build"; }
version=$(grep -o 'project(kestrava VERSION [0-9.]*' CMakeLists.txt | awk '{print $3}')
console_deb=$build/kestrava_${version}_$(dpkg --print-architecture).deb
agent_deb=$build/kestrava-agent_${version}_$(dpkg --print-architecture).deb
[ -f "$console_deb" ] && [ -f "$agent_deb" ] || fail "no packages of version $version in $build"

if command -v lintian >/dev/null; then
    step "lintian"
    lintian --fail-on error,warning "$console_deb" "$agent_deb" ||
        fail "lintian found something unexplained"
else
    step "lintian is not installed: skipped"
fi

# Every path the packages and their scripts may create, and which of them exist now.
paths() {
    { dpkg-deb -c "$console_deb"; dpkg-deb -c "$agent_deb"; } | awk '{print $6}' | sed 's|^\.||; s|/$||' |
        grep -v '^$'
    echo /var/lib/kestrava
    echo /var/lib/kestrava-agent
    echo /etc/systemd/system/kestrava-agent.service
    echo /etc/systemd/system/multi-user.target.wants/kestrava-agent.service
    echo /var/lib/systemd/deb-systemd-helper-enabled/kestrava-agent.service.dsh-also
    echo /var/lib/systemd/deb-systemd-helper-enabled/multi-user.target.wants/kestrava-agent.service
    echo /var/lib/systemd/deb-systemd-helper-masked/kestrava-agent.service
}
present() { paths | sort -u | while read -r p; do if [ -e "$p" ] || [ -L "$p" ]; then echo "$p"; fi; done; }
present >"$log/before"
cleanup() { $apt purge kestrava kestrava-agent >/dev/null 2>&1 || true; rm -rf "$log"; }
trap cleanup EXIT

step "installing $version"
$apt install "./$console_deb" "./$agent_deb" >"$log/install" 2>&1 || { cat "$log/install"; fail "install"; }
grep -q "no console is named in /etc/kestrava/agent.conf" "$log/install" ||
    fail "the agent's postinst did not say that no console is named"
[ ! -e /etc/systemd/system/multi-user.target.wants/kestrava-agent.service ] ||
    fail "the service was enabled without a console"

step "programs, unit, man pages, desktop entry"
kestrava --version | grep -q "kestrava" || fail "kestrava --version"
kestrava-agent --version | grep -q "kestrava-agent $version" || fail "kestrava-agent --version"
unit=/lib/systemd/system/kestrava-agent.service
grep -q '^ExecStart=/usr/sbin/kestrava-agent$' "$unit" || fail "the unit does not start /usr/sbin/kestrava-agent"
if command -v systemd-analyze >/dev/null; then
    systemd-analyze verify "$unit" || fail "systemd-analyze verify $unit"
else
    step "systemd-analyze is missing: the unit is not verified"
fi
for page in /usr/share/man/man8/kestrava-agent.8.gz /usr/share/man/man1/kestrava.1.gz; do
    out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>"$log/man") || fail "man -l $page"
    [ ! -s "$log/man" ] || { cat "$log/man"; fail "warnings from man -l $page"; }
    echo "$out" | grep -q "^NAME" || fail "$page has no NAME section"
done
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate /usr/share/applications/kestrava.desktop || fail "desktop entry"
fi
for icon in scalable/apps/kestrava.svg 48x48/apps/kestrava.png 256x256/apps/kestrava.png; do
    [ -s "/usr/share/icons/hicolor/$icon" ] || fail "no icon $icon"
done

step "database and group"
db=/var/lib/kestrava/kestrava.tlmr
getent group kestrava >/dev/null || fail "no group kestrava"
[ "$(stat -c '%U:%G %a' "$db")" = "root:kestrava 660" ] || fail "$db is $(stat -c '%U:%G %a' "$db")"
[ "$(stat -c '%G %a' /var/lib/kestrava)" = "kestrava 2770" ] || fail "/var/lib/kestrava permissions"
[ "$(readlink /opt/kestrava/kestrava.tlmr)" = "$db" ] || fail "/opt/kestrava/kestrava.tlmr is no link to $db"
[ "$(readlink -f /usr/bin/kestrava)" = /opt/kestrava/kestrava ] || fail "/usr/bin/kestrava"
db_sum=$(md5sum <"$db")

# With a console named, the postinst enables the service. Where systemd runs it would also start it
# in this machine's network namespace, so that part is left to machines without a service manager.
conf=/etc/kestrava/agent.conf
grep -q '^host =$' "$conf" || fail "the shipped $conf names a console"
if [ -d /run/systemd/system ]; then
    step "systemd is running: the service is not enabled here (it would start)"
    enabled=
else
    sed -i 's/^host =$/host = 203.0.113.7/' "$conf"
    enabled=1
fi

step "installing $version again"
$apt install --reinstall "./$console_deb" "./$agent_deb" >"$log/reinstall" 2>&1 ||
    { cat "$log/reinstall"; fail "reinstall"; }
if [ -n "$enabled" ]; then
    grep -q '^host = 203.0.113.7$' "$conf" || fail "reinstalling replaced the edited $conf"
    [ -L /etc/systemd/system/multi-user.target.wants/kestrava-agent.service ] ||
        fail "the service was not enabled with a console named"
fi
[ "$(md5sum <"$db")" = "$db_sum" ] || fail "reinstalling changed the database"

next=$(echo "$version" | awk -F. -v OFS=. '{$NF = $NF + 1; print}')
step "upgrading to $next"
(cd "$build" && cpack -G DEB -D CPACK_PACKAGE_VERSION="$next" >"$log/cpack" 2>&1) || { cat "$log/cpack"; fail "cpack $next"; }
arch=$(dpkg --print-architecture)
$apt install "./$build/kestrava_${next}_$arch.deb" "./$build/kestrava-agent_${next}_$arch.deb" >"$log/upgrade" 2>&1 ||
    { cat "$log/upgrade"; fail "upgrade"; }
for p in kestrava kestrava-agent; do
    [ "$(dpkg-query -W -f '${Version}' $p)" = "$next" ] || fail "$p is not at $next"
done
[ "$(md5sum <"$db")" = "$db_sum" ] || fail "upgrading changed the database"
[ "$(stat -c '%G %a' "$db")" = "kestrava 660" ] || fail "upgrading changed the database's permissions"
[ -z "$enabled" ] || grep -q '^host = 203.0.113.7$' "$conf" || fail "upgrading replaced the edited $conf"

step "removing"
$apt remove kestrava kestrava-agent >"$log/remove" 2>&1 || { cat "$log/remove"; fail "remove"; }
[ ! -e /opt/kestrava/kestrava ] && [ ! -e /usr/sbin/kestrava-agent ] || fail "programs left after removal"
[ -f "$db" ] || fail "removal lost the database"
[ -f "$conf" ] || fail "removal lost $conf"

step "purging"
$apt purge kestrava kestrava-agent >"$log/purge" 2>&1 || { cat "$log/purge"; fail "purge"; }
present >"$log/after"
if ! cmp -s "$log/before" "$log/after"; then
    diff "$log/before" "$log/after" >&2 || true
    fail "the purge left files behind"
fi
step "passed"
