#!/usr/bin/env bash
# Installs the built program with cmake --install, builds the Debian package, inspects it
# (dpkg-deb, lintian when installed, systemd-analyze verify of the unit) and installs it into
# a scratch root; every file that the man page's FILES section names must be there.
# Usage: scripts/check-package.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
source=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The man page lists the installed files between .nf and .fi of its FILES section.
mapfile -t files < <(sed -n '/^\.SH FILES/,/^\.SH/p' "$source/dist/corvane-server.1" | sed -n '/^\.nf/,/^\.fi/p' | grep '^/')
[ ${#files[@]} -gt 0 ] || { echo "the man page names no files"; exit 1; }

check_files() {  # root, what
  local missing=0
  for f in "${files[@]}"; do
    [ -e "$1$f" ] || { echo "$2: $f is missing"; missing=1; }
  done
  return $missing
}

# 1. cmake --install into a scratch root, under /usr as the package does.
DESTDIR="$scratch/install" cmake --install "$build" --prefix /usr >/dev/null
check_files "$scratch/install" "cmake --install"
grep -q '^ExecStart=/usr/bin/corvane-server --headless' "$scratch/install/usr/lib/systemd/system/corvane-server.service"
"$scratch/install/usr/bin/corvane-server" --version >/dev/null

# 2. The unit file, as systemd reads it (where systemd-analyze is installed).
# The copy verified names the scratch install's program (systemd checks that it exists) and
# finds the man page there.
if command -v systemd-analyze >/dev/null; then
  mkdir -p "$scratch/unit"
  sed "s|^ExecStart=/usr/bin/|ExecStart=$scratch/install/usr/bin/|" \
    "$scratch/install/usr/lib/systemd/system/corvane-server.service" >"$scratch/unit/corvane-server.service"
  MANPATH="$scratch/install/usr/share/man" systemd-analyze verify "$scratch/unit/corvane-server.service"
fi

# 3. The Debian package and what it holds.
(cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/deb" >/dev/null)
deb=$(ls "$scratch"/deb/corvane-server_*.deb)
contents=$(dpkg-deb --contents "$deb")
for f in "${files[@]}"; do
  grep -q " \.$f\$" <<<"$contents" || { echo "package: $f is not in $deb"; exit 1; }
done
dpkg-deb --field "$deb" Package Version Architecture Depends
if command -v lintian >/dev/null; then
  lintian --tag-display-limit 0 "$deb" || { echo "lintian found errors"; exit 1; }
fi

# 4. Installed by dpkg into a scratch root of its own.
root="$scratch/root"
mkdir -p "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/info"
touch "$root/var/lib/dpkg/status"
# The scratch root has no libc or libstdc++ packages: their absence is expected there.
dpkg --root="$root" --force-depends --force-not-root --log=/dev/null -i "$deb" >"$scratch/dpkg.log" 2>&1 ||
  { cat "$scratch/dpkg.log"; exit 1; }
check_files "$root" "dpkg -i"
dpkg --root="$root" -L corvane-server >/dev/null
echo "package ok: $deb"
