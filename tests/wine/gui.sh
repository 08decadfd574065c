#!/usr/bin/env bash
# Runs brisko.exe's window under wine on a virtual X display, driven by gui_driver.exe as a
# user would drive it (see gui_driver.cc for the checks), in a wine prefix of its own with the
# build's stand-in PureBasic installation in the registry. Then links the object file and the
# library the window produced with a small C program and runs it under qemu-i386, as
# tests/support/run_x86.cc does for the native tests. Screenshots go to BUILD_FOLDER/screenshots.
# Builds nothing.
#   tests/wine/gui.sh BUILD_FOLDER     (e.g. build-mingw)
# Exits 0 when every check passed; prints "N passed, M failed" at the end.
set -u

if [ $# -ne 1 ] || [ ! -d "$1" ]; then
  echo "usage: $0 BUILD_FOLDER" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
repo=$(cd "$(dirname "$0")/../.." && pwd)
brisko="$build/bin/brisko.exe"
driver="$build/bin/gui_driver.exe"
standin="$build/purebasic"

source "$repo/tests/wine/common.sh"
wine_find gui
for file in "$brisko" "$driver" "$standin/compilers/PBcompiler.exe"; do
  if [ ! -f "$file" ]; then
    echo "gui: $file does not exist; build the mingw preset first" >&2
    exit 2
  fi
done

# A display of our own: Xvfb started here, or the whole script again under xvfb-run.
xvfb_pid=""
if command -v Xvfb >/dev/null 2>&1; then
  display_file=$(mktemp /tmp/brisko-wine-gui-display-XXXXXX)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$display_file" ] && break
    sleep 0.1
  done
  display=$(head -n 1 "$display_file")
  rm -f "$display_file"
  if [ -z "$display" ]; then
    kill "$xvfb_pid" 2>/dev/null
    echo "gui: Xvfb did not start" >&2
    exit 2
  fi
  export DISPLAY=":$display"
elif command -v xvfb-run >/dev/null 2>&1 && [ -z "${BRISKO_GUI_UNDER_XVFB:-}" ]; then
  BRISKO_GUI_UNDER_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
elif [ -z "${DISPLAY:-}" ]; then
  echo "gui: neither Xvfb nor xvfb-run is installed (Debian package xvfb)" >&2
  exit 2
fi

work=$(mktemp -d /tmp/brisko-wine-gui-XXXXXX)
wine_prefix "$work"
cleanup() {
  [ -n "$wineserver" ] && "$wineserver" -k >/dev/null 2>&1
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT


echo "wine: $wine, prefix $WINEPREFIX, display $DISPLAY"
"$wine" wineboot --init >/dev/null 2>&1
[ -n "$wineserver" ] && "$wineserver" -w
# A virtual desktop: wine then draws the windows' frames and title bars itself, as there is no
# window manager, and they show on the screenshots.
"$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f >/dev/null 2>&1
[ -n "$wineserver" ] && "$wineserver" -k >/dev/null 2>&1 && "$wineserver" -w

# What the driver works with (see gui_driver.cc): sources, folders, and the IDE's tools file,
# which the open command names as its fifth quoted item and which does not exist yet.
files="$work/files"
mkdir -p "$files/a folder" "$files/my sources" "$files/lib dest"
cp "$repo/examples/demo.pb" "$files/good.pb"
printf 'Procedure.l Twice(x.l)\r\n  ProcedureReturn x * \r\nEndProcedure\r\n' >"$files/bad.pb"
printf 'Procedure Base()\r\n  ProcedureReturn 7000\r\nEndProcedure\r\n\r\nProcedureDLL Answer()\r\n  ProcedureReturn Base() + 331\r\nEndProcedure\r\n' \
  >"$files/my sources/answer.pb"
# An installation whose compiler writes x64 listings, and a source for it.
cp -r "$standin" "$files/pb64"
printf 'x64\r\n' >"$files/pb64/compilers/target.txt"
mkdir -p "$files/x64 sources" "$files/variant sources"
cp "$files/my sources/answer.pb" "$files/x64 sources/answer.pb"
cp "$files/my sources/answer.pb" "$files/variant sources/answer.pb"
"$wine" reg add 'HKCU\Software\Classes\PureBasic.exe\shell\open\command' /ve /f /d \
  "\"$(winpath "$standin")\\PureBasic.exe\" \"%1\" \"\" \"\" \"$(winpath "$files")\\Tools.prefs\"" \
  >/dev/null 2>&1

# A copy of the program with a translation whose labels 33 and 35 are much longer (the driver
# reads the translated texts from this file).
mkdir -p "$work/translated/languages"
cp "$brisko" "$work/translated/brisko.exe"
sed -e 's|>Select output format<|>Sélectionnez le format de sortie<|' \
  -e 's|>Select source file<|>Sélectionnez le fichier source<|' \
  "$repo/src/resources/English.lan" >"$work/translated/languages/Français.lan"

shots="$build/screenshots"
mkdir -p "$shots"

# The driver prints its own ok/FAIL lines (the assembler started by the window writes to the
# same output; its lines are left out).
timeout 180 "$wine" "$driver" "$(winpath "$brisko")" "$(winpath "$work/translated/brisko.exe")" \
  "$(winpath "$files")" "$(winpath "$shots")" >"$work/driver.out" 2>"$work/driver.err"
driver_status=$?
tr -d '\r' <"$work/driver.out" | grep -E '^(ok |FAIL|note|     )'
driver_passed=$(grep -c '^ok ' "$work/driver.out")
driver_failed=$(grep -c '^FAIL' "$work/driver.out")
passed=$((passed + driver_passed))
failed=$((failed + driver_failed))
if ! grep -q ' passed, .* failed' "$work/driver.out" || { [ "$driver_status" -ne 0 ] && [ "$driver_failed" -eq 0 ]; }; then
  fail "the driver ran to its end" "exit status $driver_status" "$(tr -d '\r' <"$work/driver.err" | tail -n 20)"
fi

# ---- the produced object code, linked with a C caller and run

# Subtracts 4 from every R_386_PC32 addend of an ELF32 object: objcopy keeps the COFF addend,
# which counts from the end of the field (see fixPcRelativeAddends in tests/support/run_x86.cc).
fix_pc_relative() {
  perl -e '
    my $file = shift;
    open(my $h, "+<:raw", $file) or die "$file: $!";
    local $/;
    my $d = <$h>;
    die "$file: no ELF32 object\n" unless substr($d, 0, 4) eq "\x7fELF" && ord(substr($d, 4, 1)) == 1;
    my $shoff = unpack("V", substr($d, 32, 4));
    my ($entsize, $count) = unpack("vv", substr($d, 46, 4));
    for my $i (0 .. $count - 1) {
      my $s = $shoff + $i * $entsize;
      next unless unpack("V", substr($d, $s + 4, 4)) == 9;  # SHT_REL
      my ($offset, $size) = unpack("VV", substr($d, $s + 16, 8));
      my $target = unpack("V", substr($d, $s + 28, 4));
      my $base = unpack("V", substr($d, $shoff + $target * $entsize + 16, 4));
      for (my $r = 0; $r + 8 <= $size; $r += 8) {
        my ($where, $info) = unpack("VV", substr($d, $offset + $r, 8));
        next unless ($info & 0xff) == 2;  # R_386_PC32
        my $at = $base + $where;
        substr($d, $at, 4) = pack("l<", unpack("l<", substr($d, $at, 4)) - 4);
      }
    }
    seek($h, 0, 0);
    print $h $d;
    close($h);
  ' "$1"
}

# to_elf COFF ELF: converts one MS-COFF object for the ELF linker.
to_elf() {
  objcopy -I pe-i386 -O elf32-i386 "$1" "$2" && fix_pc_relative "$2"
}

# link_and_run NAME INPUT: links the .obj or the members of the .lib with a caller of Answer()
# and the harness stubs, runs it and sets run_output (or run_problem).
link_and_run() {
  local folder="$work/x86-$1" input=$2 inputs=() member
  run_output=""
  run_problem=""
  mkdir -p "$folder/members"
  cat >"$folder/harness.c" <<'HARNESS'
#include "x86_harness.h"
int HARNESS_STDCALL Answer(void) __asm__("Answer");
int harness_main(void) {
  harness_print_int(Answer());
  harness_print("\n");
  return 0;
}
HARNESS
  local compile=(clang -m32 -ffreestanding -nostdlib -fno-pic -fno-stack-protector -fno-builtin
    -O1 -I"$repo/tests/support" -c)
  if ! "${compile[@]}" "$folder/harness.c" -o "$folder/harness.o" >"$folder/log" 2>&1 ||
    ! "${compile[@]}" "$repo/tests/support/x86_stubs.c" -o "$folder/stubs.o" >>"$folder/log" 2>&1; then
    run_problem="compiling the harness failed: $(cat "$folder/log")"
    return
  fi
  if [ "$(head -c 8 "$input" | tr -d '\0')" = '!<arch>' ]; then
    (cd "$folder/members" && llvm-ar x "$input") || {
      run_problem="llvm-ar could not extract $input"
      return
    }
    for member in "$folder/members"/*; do
      to_elf "$member" "$member.o" >>"$folder/log" 2>&1 || {
        run_problem="converting $member failed: $(cat "$folder/log")"
        return
      }
    done
    llvm-ar rcs "$folder/input.a" "$folder/members"/*.o
    inputs=("$folder/input.a")
  else
    to_elf "$input" "$folder/input.o" >>"$folder/log" 2>&1 || {
      run_problem="converting $input failed: $(cat "$folder/log")"
      return
    }
    inputs=("$folder/input.o")
  fi
  if ! ld.lld -m elf_i386 -static -e harness_entry -o "$folder/program" "$folder/harness.o" \
    "${inputs[@]}" "$folder/stubs.o" >>"$folder/log" 2>&1; then
    run_problem="ld.lld failed: $(cat "$folder/log")"
    return
  fi
  run_output=$(timeout 20 qemu-i386 "$folder/program" 2>&1)
}

missing_tools=""
for tool in objcopy perl clang ld.lld llvm-ar llvm-nm qemu-i386; do
  command -v "$tool" >/dev/null 2>&1 || missing_tools="$missing_tools $tool"
done
# Only output the driver saw the window produce counts.
window_made() {
  grep -q "^ok   conversion into $1" "$work/driver.out"
}
object="$files/my sources/Bin/answer.obj"
library="$files/lib dest/Bin/answer.lib"
[ -f "$library" ] || library="$files/my sources/Bin/answer.lib"
if [ -n "$missing_tools" ]; then
  fail "linking the window's output" "missing tools:$missing_tools"
else
  if window_made "an object file"; then
    symbols=$(llvm-nm --defined-only "$object" 2>&1)
    link_and_run obj "$object"
    if [[ "$symbols" != *" T Answer"* ]]; then
      fail "the window's object file exports Answer" "$symbols"
    elif [ "$run_output" != "7331" ]; then
      fail "the window's object file links with a C caller and runs" "$run_problem$run_output"
    else
      pass "the window's object file exports Answer, links with a C caller and runs"
    fi
  else
    fail "the window's object file links with a C caller and runs" "the window made none"
  fi
  if window_made "a library"; then
    members=$(llvm-ar t "$library" 2>&1 | sort | tr '\n' ' ')
    link_and_run lib "$library"
    if [ "$members" != "Answer.obj answer_Base.obj answer_briskoDataSections.obj " ]; then
      fail "the window's library has one member per procedure and the data" "$members"
    elif [ "$run_output" != "7331" ]; then
      fail "the window's library links with a C caller and runs" "$run_problem$run_output"
    else
      pass "the window's library has its members, links with a C caller and runs"
    fi
  else
    fail "the window's library links with a C caller and runs" "the window made none"
  fi
fi

# The x64 object the window made, linked by MinGW into a 64-bit Windows program that wine runs.
x64_object="$files/x64 sources/Bin/answer.obj"
if ! window_made "an object file" || ! grep -q "^ok   conversion of an x64 listing" "$work/driver.out" ||
  [ ! -f "$files/x64 sources/Bin/answer.h" ]; then
  fail "the window's x64 object links and runs" "the window made none"
elif ! llvm-objdump -f "$x64_object" | grep -q 'coff-x86-64'; then
  fail "the window's x64 object is AMD64 COFF" "$(llvm-objdump -f "$x64_object" 2>&1)"
else
  # The caller declares nothing itself: the C header the window wrote beside the object does.
  printf '#include <stdio.h>\n#include "answer.h"\nint main(void) { printf("%%d\\n", (int)Answer()); return 0; }\n' \
    >"$work/caller64.c"
  if ! x86_64-w64-mingw32-gcc -Wall -Werror -I"$files/x64 sources/Bin" -o "$work/caller64.exe" \
    "$work/caller64.c" "$x64_object" >"$work/link64.log" 2>&1; then
    fail "the window's x64 object links with a C caller of its C header (MinGW)" "$(cat "$work/link64.log")"
  else
    # The window's session (its virtual desktop, any instance still closing) ends first, so the
    # caller starts in a wine of its own; a second try tells a slow wine start from a fault.
    [ -n "$wineserver" ] && "$wineserver" -k >/dev/null 2>&1
    for try in 1 2; do
      debug=-all
      [ "$try" = 2 ] && debug=err+all,fixme-all  # wine's own errors, should it fail again
      WINEDEBUG=$debug timeout 120 "$wine" "$work/caller64.exe" </dev/null >"$work/caller64.out" 2>"$work/caller64.err"
      status64=$?
      output64=$(tr -d '\r' <"$work/caller64.out")
      [ "$output64" = "7331" ] && break
      [ -n "$wineserver" ] && "$wineserver" -k >/dev/null 2>&1
    done
    if [ "$output64" = "7331" ]; then
      pass "the window's x64 object links with a C caller of its C header (MinGW) and runs under wine"
    else
      fail "the window's x64 object runs under wine" "output: $output64, exit status $status64" \
        "$(tr -d '\r' <"$work/caller64.err" | tail -n 10)"
    fi
  fi
fi

echo "screenshots in $shots"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
