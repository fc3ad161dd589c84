#!/bin/sh
# Reads a DLL's import and export tables (objdump -p) and fails on an imported DLL outside the
# allowed ones, or on a missing export. The host loads Quorvex.dll on players' machines, where
# only the system's DLLs and the host's SDK library are there: a libstdc++, libgcc or winpthread
# DLL it needed would keep it from loading.
# Usage: check_dll_surface.sh OBJDUMP DLL "ALLOWED_DLLS" "EXPORTS"   (lists separated by blanks,
# the DLL names compared without regard to case)
set -eu
export LC_ALL=C

objdump=$1
dll=$2
allowed=$3
exports=$4

fail() {
  echo "check_dll_surface: $*" >&2
  exit 1
}

tables=$("$objdump" -p "$dll") || fail "$objdump cannot read $dll"
imported=$(printf '%s\n' "$tables" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ -n "$imported" ] || fail "$dll imports no DLL: not a DLL objdump could read"
for name in $imported; do
  found=no
  for allowed_name in $allowed; do
    if [ "$(printf '%s' "$name" | tr a-z A-Z)" = "$(printf '%s' "$allowed_name" | tr a-z A-Z)" ]; then
      found=yes
    fi
  done
  [ "$found" = yes ] || fail "$dll imports $name, which is not one of: $allowed"
done

# The export names, from the name table after "[Ordinal/Name Pointer] Table".
names=$(printf '%s\n' "$tables" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[ *[0-9]*\] //p')
for name in $exports; do
  printf '%s\n' "$names" | grep -qxF "$name" || fail "$dll does not export $name"
done
echo "$dll imports only $(echo $imported) and exports $exports"
