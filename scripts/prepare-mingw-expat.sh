#!/usr/bin/env bash
# Lays out the expat source tree that the Windows cross build compiles, from Debian's source
# package, in third_party/expat-2.5.0 (kept out of git). Does nothing when it is there.
set -euo pipefail
cd "$(dirname "$0")/.."

target=third_party/expat-2.5.0
if [ -d "$target/expat" ]; then
  exit 0
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

# apt-get source needs dpkg-source.
if ! command -v dpkg-source >/dev/null; then
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends dpkg-dev xz-utils >/dev/null
fi

has_source_entry() {
  grep -qsE '^[[:space:]]*deb-src[[:space:]]' /etc/apt/sources.list /etc/apt/sources.list.d/*.list ||
    grep -qsE '^Types:.*\bdeb-src\b' /etc/apt/sources.list.d/*.sources
}
if ! has_source_entry; then
  echo "Adding Debian's source package index to apt"
  $sudo tee /etc/apt/sources.list.d/debian-src.sources >/dev/null <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  $sudo apt-get update -qq
fi

mkdir -p third_party
work=$(mktemp -d third_party/.expat-XXXXXX)
trap 'rm -rf "$work"' EXIT
# The index of source packages may be missing even with the entry in place.
if ! (cd "$work" && apt-get source -qq expat >/dev/null 2>&1); then
  $sudo apt-get update -qq
  (cd "$work" && apt-get source -qq expat >/dev/null)
fi
if [ ! -d "$work/expat-2.5.0/expat" ]; then
  echo "prepare-mingw-expat: Debian's expat source is not version 2.5.0:" >&2
  ls "$work" >&2
  exit 1
fi

# Debian's security patches test "#if XML_DTD == 1", which an option defined without a
# value cannot satisfy; give the feature options the value 1.
config="$work/expat-2.5.0/expat/expat_config.h.cmake"
sed -i -E 's/^#cmakedefine (XML_DTD|XML_NS|XML_GE)[[:space:]]*$/#cmakedefine \1 1/' "$config"
grep -q '^#cmakedefine XML_DTD 1$' "$config" || {
  echo "prepare-mingw-expat: could not set XML_DTD in $config" >&2
  exit 1
}

rm -rf "$target"
mv "$work/expat-2.5.0" "$target"
echo "expat source ready in $target"
