#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need.
# Quiet and quick when everything is already there.
set -euo pipefail
# libsodium-dev: the Argon2id hashes of the account passwords.
# libssl-dev: OpenSSL 3 for FTPS. dpkg-dev, lintian, man-db and systemd: the package test
# (dpkg-shlibdeps, lintian, the unit's systemd-analyze verify with its man page); clang and
# libclang-rt-14-dev: the fuzz targets; qt6-base-dev: the administration window; xvfb and
# xauth: its screenshots (docs/screenshots.sh); iproute2 (ip) and util-linux (unshare): the
# headless P2P test's network namespace. locales: the de_DE.UTF-8 locale, which the window's
# program test runs under (a comma as decimal separator). ccache: the build scripts compile through it when it is
# there (scripts/compiler-cache.sh).
packages=(g++ cmake make ccache libgtest-dev libgmock-dev libbenchmark-dev libssl-dev libsodium-dev python3 curl lftp wget tinyproxy dante-server
          dpkg-dev lintian man-db systemd clang libclang-rt-14-dev qt6-base-dev xvfb xauth iproute2 util-linux locales "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  echo "Generating the de_DE.UTF-8 locale"
  $SUDO localedef -i de_DE -c -f UTF-8 de_DE.UTF-8
fi
