#!/usr/bin/env bash
# Runs the Windows build under wine, in a wine prefix of its own: the platform tests, then
# brisko-cli.exe's start-up (command line, installation found through the registry, missing
# tools), a check run with the stand-in compiler and conversions in both formats. Builds
# nothing.
#   tests/wine/smoke.sh BUILD_FOLDER     (e.g. build-mingw)
# Exits 0 when every check passed; prints "N passed, M failed" at the end.
set -u

if [ $# -ne 1 ] || [ ! -d "$1" ]; then
  echo "usage: $0 BUILD_FOLDER" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
repo=$(cd "$(dirname "$0")/../.." && pwd)
brisko="$build/bin/brisko-cli.exe"
platform_test="$build/bin/win32_platform_test.exe"

source "$repo/tests/wine/common.sh"
wine_find smoke
if [ ! -f "$brisko" ]; then
  echo "smoke: $brisko does not exist; build the mingw preset first" >&2
  exit 2
fi

work=$(mktemp -d /tmp/brisko-wine-smoke-XXXXXX)
wine_prefix "$work"
cleanup() {
  [ -n "$wineserver" ] && "$wineserver" -k >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT


# run PROGRAM ARGS...: sets status, out and err (line ends as on Unix).
run() {
  (cd "$work/cwd" && timeout 180 "$wine" "$@" >"$work/out" 2>"$work/err")
  status=$?
  out=$(tr -d '\r' <"$work/out")
  err=$(tr -d '\r' <"$work/err")
}

# expect NAME STATUS STREAM MODE TEXT: MODE is "is" (whole stream) or "has" (contains).
expect() {
  local name=$1 want_status=$2 stream=$3 mode=$4 text=$5 actual
  if [ "$stream" = out ]; then actual=$out; else actual=$err; fi
  if [ "$status" -ne "$want_status" ]; then
    fail "$name" "exit status $status, expected $want_status" "stdout: $out" "stderr: $err"
  elif [ "$mode" = is ] && [ "$actual" != "$text" ]; then
    fail "$name" "std$stream was:" "$actual" "expected:" "$text"
  elif [ "$mode" = has ] && [[ "$actual" != *"$text"* ]]; then
    fail "$name" "std$stream lacks: $text" "it was: $actual"
  else
    pass "$name"
  fi
}

set_open_command() {  # ROOT\KEY FOLDER
  "$wine" reg add "$1" /ve /d "\"$(winpath "$2")\\PureBasic.exe\" \"%1\"" /f >/dev/null 2>&1
}

mkdir -p "$work/cwd"
echo "wine: $wine, prefix $WINEPREFIX"
"$wine" wineboot --init >/dev/null 2>&1
[ -n "$wineserver" ] && "$wineserver" -w

# The platform layer on its own.
if [ -f "$platform_test" ]; then
  run "$platform_test"
  summary=$(printf '%s\n' "$out" | tail -n 1)
  if [ "$status" -eq 0 ] && [[ "$summary" == *" passed, 0 failed" ]]; then
    pass "platform tests ($summary)"
  else
    fail "platform tests" "exit status $status" "$out" "$err"
  fi
else
  fail "platform tests" "$platform_test does not exist"
fi

# The command line.
run "$brisko" --version
expect "--version" 0 out is "brisko version 2.0 Beta 1"
key='HKEY_CURRENT_USER\Software\Classes\PureBasic.exe\shell\open\command'
run "$brisko" --help
expect "--help" 0 out has "usage: brisko [GLOBAL] check SOURCE"
expect "--help names the registry key it reads" 0 out has "reads it from
    $key"
run "$brisko" --bogus check x.pb
expect "an unknown option is a usage error" 2 err has "brisko: unknown option --bogus"

# Start-up without an installation: nothing in the registry yet.
demo="$(winpath "$repo/examples/demo.pb")"
run "$brisko" check "$demo"
# The fatal message says where brisko looked and how to point it elsewhere.
expect "no installation: the compiler is missing" 1 err has \
  "Error!
Cannot locate the Purebasic compiler.
brisko looked for it at compilers\\PBcompiler.exe
There is no PureBasic IDE open command in $key, so the path was taken relative to the current folder."

# Fake installations: the tools only have to be non-empty files for start-up.
make_fake() {  # FOLDER TOOL...
  local folder=$1 tool
  shift
  mkdir -p "$folder/compilers"
  for tool in "$@"; do echo "not a program" >"$folder/compilers/$tool"; done
}
make_fake "$work/no-fasm" PBcompiler.exe
: >"$work/no-fasm/compilers/fasm.exe"
run "$brisko" --pb-folder "$(winpath "$work/no-fasm")" check "$demo"
expect "--pb-folder with an empty FASM" 1 err has \
  "$(printf 'Error!\nCannot locate the FASM executable.\nbrisko looked for it at ')"

# Discovery reads only the per-user key on NT 6 and later: a decoy under
# HKEY_CLASSES_ROOT\Applications must not be consulted.
make_fake "$work/Pure Basic" PBcompiler.exe
mkdir -p "$work/decoy"
set_open_command 'HKCR\Applications\PureBasic.exe\shell\open\command' "$work/decoy"
set_open_command 'HKCU\Software\Classes\PureBasic.exe\shell\open\command' "$work/Pure Basic"
run "$brisko" check "$demo"
expect "registry: the per-user key names the installation" 1 err has \
  "Error!
Cannot locate the FASM executable.
brisko looked for it at $(winpath "$work/Pure Basic")\\compilers\\fasm.exe
The installation folder $(winpath "$work/Pure Basic")\\ comes from the PureBasic IDE's open command in $key, which holds \"$(winpath "$work/Pure Basic")\\PureBasic.exe\" \"%1\""

# A fake installation whose compiler is no program (polib is not needed).
make_fake "$work/Pure Basic" PBcompiler.exe fasm.exe
run "$brisko" check "$demo"
expect "a compiler that cannot be started" 1 err has "The PB compiler failed to start."
missing="$(winpath "$work/cwd")\\Gr$(printf '\xc3\xbc\xc3\x9f')e \$x.pb"
run "$brisko" check "$missing"
expect "a missing source with a non-ASCII name" 1 err is \
  "$(printf 'Error!\nFile not found.\n(%s)' "$missing")"

# A check with the stand-in compiler, found through the registry.
standin="$build/purebasic"
if [ -f "$standin/compilers/PBcompiler.exe" ]; then
  set_open_command 'HKCU\Software\Classes\PureBasic.exe\shell\open\command' "$standin"
  run "$brisko" check "$demo"
  expect "check of the example with the stand-in compiler" 0 out is \
    "$(printf 'Status = initialising compiler environment.\nStatus = compiling the selected source file.\nbrisko (PB --> .obj)\nThe compiler reported no errors.\nStatus = awaiting instructions')"
  printf 'Procedure.l Twice(x.l)\r\n  ProcedureReturn x * \r\nEndProcedure\r\n' >"$work/cwd/bad.pb"
  run "$brisko" --unicode check "$(winpath "$work/cwd/bad.pb")" --threadsafe
  expect "check of a source with an error" 1 err has \
    "$(printf 'The compiler reported an error.\n\nError: Line 2')"

  # Conversions: the stand-in's FASM runs the real assembler (a Linux program) through wine.
  cp "$repo/examples/demo.pb" "$work/cwd/demo.pb"
  mkdir -p "$work/dest"
  run "$brisko" convert "$(winpath "$work/cwd/demo.pb")" --dest "$(winpath "$work/dest")" --log
  expect "conversion into an object file" 0 out has "Status = creating main ASM file."
  if [ -s "$work/dest/Bin/demo.obj" ] && grep -q '1) _PB_MessageRequester@8' "$work/dest/Logs/briskoLog.txt"; then
    pass "the object file and the log's list of externals"
  else
    fail "the object file and the log's list of externals" "$(ls -R "$work/dest")"
  fi
  run "$brisko" convert "$(winpath "$work/cwd/demo.pb")" --dest "$(winpath "$work/dest")" --lib
  expect "conversion into a library" 0 out has "Status = creating individual .obj files."
  members=$(llvm-ar t "$work/dest/Bin/demo.lib" 2>&1 | sort | tr '\n' ' ')
  if [ "$members" = "Greet.obj SumOfSquares.obj demo_Square.obj demo_briskoDataSections.obj " ]; then
    pass "the library's members"
  else
    fail "the library's members" "$members"
  fi
  # The wrapper, with the dummy calls the library catalogue of the installation gives.
  run "$brisko" convert "$(winpath "$work/cwd/demo.pb")" --dest "$(winpath "$work/dest")" --lib --wrapper
  expect "conversion with the wrapper" 0 out has "Status = creating Purebasic wrapper."
  if grep -q '^Import "demo.lib"' "$work/dest/Bin/demo.pbi" &&
    grep -q '^  Import "PureBasicRuntime.lib"' "$work/dest/Bin/demo.pbi" &&
    grep -q '^      MessageRequester(a\$, a\$)' "$work/dest/Bin/demo.pbi"; then
    pass "the wrapper's blocks and dummy calls"
  else
    fail "the wrapper's blocks and dummy calls" "$(cat "$work/dest/Bin/demo.pbi" 2>&1)"
  fi

  # Registration in the IDE's tools file, once.
  run "$brisko" register-ide --tools-file "$(winpath "$work/Tools.prefs")"
  expect "registration as an IDE tool" 0 err is ""
  expect "the registration names the tools file and the tool's number" 0 out has \
    "brisko is now tool 1 of the PureBasic IDE (\"$(winpath "$work/Tools.prefs")\")."
  run "$brisko" register-ide --tools-file "$(winpath "$work/Tools.prefs")"
  expect "a second registration is refused and names the file" 1 err has \
    "brisko is already registered.
($(winpath "$work/Tools.prefs"))"

  printf '  BOGUS eax\r\n' >>"$work/dest/Source/Greet.asm"
  cp "$work/cwd/demo.pb" "$work/dest/demo.pb"
  run "$brisko" convert "$(winpath "$work/dest/demo.pb")" --use-existing-asm
  expect "FASM's complaint about an edited source" 1 err has "error: illegal instruction."
else
  fail "check runs" "no stand-in compiler in $standin/compilers"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
