#!/usr/bin/env bash
# The program is the kind of image its build is for (FORMAT: pei-i386 or
# pei-x86-64), and runs with nothing beside it: every DLL it imports is one
# of Windows' own.
#   imports_test.sh OBJDUMP PROGRAM.exe FORMAT
set -euo pipefail
"$1" -f "$2" | grep -q "file format $3\$"
dlls="$("$1" -p "$2" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'a-z' 'A-Z' | sort -u)"
echo "$dlls"
test -n "$dlls"
allowed=' KERNEL32.DLL USER32.DLL GDI32.DLL COMCTL32.DLL SHELL32.DLL SHLWAPI.DLL ADVAPI32.DLL MSVCRT.DLL '
status=0
for dll in $dlls; do
  case "$allowed" in *" $dll "*) ;; *) echo "not a Windows system DLL: $dll"; status=1 ;; esac
done
exit "$status"
