#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian machine (run as root).
# Safe to run again: it only installs what is missing.
set -euo pipefail

need=()
have() { dpkg -s "$1" >/dev/null 2>&1; }

for p in cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev libgmock-dev \
         libbenchmark-dev libssl-dev libpugixml-dev librapidxml-dev libexpat1-dev \
         g++-mingw-w64-i686-posix binutils-mingw-w64-i686 locales python3 python3-cryptography \
         xdelta3 bsdiff zstd xz-utils; do
  have "$p" || need+=("$p")
done
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need+=(wine wine32:i386)
fi
have wine || need+=(wine)
have wine32:i386 || need+=(wine32:i386)

if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "setup: missing packages ${need[*]}; run as root to install them" >&2
    exit 1
  fi
  echo "setup: installing ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # A mirror in the middle of a sync fails one index or another for a while:
  # try again, and go on with the indexes that did arrive.
  for try in 1 2 3; do
    apt-get update -qq && break
    echo "setup: apt-get update failed (try $try of 3)" >&2
    [ "$try" = 3 ] || sleep 15
  done
  if ! apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null; then
    # Without a fresh i386 index of one suite (the security mirror behind the
    # others, say), the i386 libraries cannot match their amd64 twins'
    # versions; the release's own suite has both architectures at one version.
    . /etc/os-release
    echo "setup: installing again from ${VERSION_CODENAME}'s own suite" >&2
    apt-get install -y -qq --no-install-recommends -t "$VERSION_CODENAME" "${need[@]}" >/dev/null
  fi
fi
