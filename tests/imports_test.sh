#!/usr/bin/env bash
# The program runs with nothing beside it: every DLL it imports is one of
# Windows' own.
#   imports_test.sh OBJDUMP PROGRAM.exe
set -euo pipefail
dlls="$("$1" -p "$2" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'a-z' 'A-Z' | sort -u)"
echo "$dlls"
test -n "$dlls"
allowed=' KERNEL32.DLL USER32.DLL GDI32.DLL COMCTL32.DLL SHELL32.DLL SHLWAPI.DLL ADVAPI32.DLL MSVCRT.DLL '
status=0
for dll in $dlls; do
  case "$allowed" in *" $dll "*) ;; *) echo "not a Windows system DLL: $dll"; status=1 ;; esac
done
exit "$status"
