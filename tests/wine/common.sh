# Shared by the wine test scripts (sourced, not run): finds wine, makes a wine prefix of the
# script's own below $work, and keeps the pass/fail count.
#   wine_find NAME          sets wine and wineserver, or exits 2 ("NAME: ..." on stderr)
#   wine_prefix WORK        uses WORK/prefix as the wine prefix, quietly
#   winpath PATH            the Windows form of a Unix path (wine shows the root as Z:)
#   pass TEXT / fail TEXT [DETAIL...]   count and print a check's outcome

find_program() {
  local name
  for name in "$@"; do
    if command -v "$name" >/dev/null 2>&1; then
      command -v "$name"
      return 0
    fi
    if [ -x "/usr/lib/wine/$name" ]; then
      echo "/usr/lib/wine/$name"
      return 0
    fi
  done
  return 1
}

wine_find() {
  wine=$(find_program wine64 wine) || {
    echo "$1: wine is not installed (Debian package wine64)" >&2
    exit 2
  }
  wineserver=$(find_program wineserver64 wineserver) || wineserver=""
}

wine_prefix() {
  export WINEPREFIX="$1/prefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer prompts
}

winpath() {
  local path=$1
  printf 'Z:%s' "${path//\//\\}"
}

passed=0
failed=0
pass() {
  passed=$((passed + 1))
  echo "ok   $1"
}
fail() {
  failed=$((failed + 1))
  echo "FAIL $1"
  shift
  local line
  for line in "$@"; do echo "     $line"; done
}
