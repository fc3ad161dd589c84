#!/bin/sh
# Fails when the plug-in library imports a symbol from the SDK library that the host's SDK does
# not offer (sdk_operations.txt): such a plug-in links against the substitute host only.
# Usage: check_sdk_imports.sh PLUGIN_LIBRARY SDK_LIBRARY OPERATIONS_FILE [ENTRY_TO_LEAVE_OUT]
# The last argument drops one entry of the list, to show that the check catches what it misses.
set -eu
export LC_ALL=C  # one collation for sort and comm

plugin=$1
sdk=$2
operations=$3
left_out=${4-}

fail() {
  echo "check_sdk_imports: $*" >&2
  exit 1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Symbol names without their version suffixes ("@GLIBC_2.2.5").
nm -D --defined-only "$sdk" | awk 'NF >= 3 { print $3 }' | sed 's/@.*//' | sort -u >"$work/sdk"
nm -D --undefined-only "$plugin" | awk '{ print $NF }' | sed 's/@.*//' | sort -u >"$work/imports"
[ -s "$work/sdk" ] || fail "$sdk exports no symbols"
comm -12 "$work/sdk" "$work/imports" >"$work/from-sdk"
[ -s "$work/from-sdk" ] || fail "$plugin imports nothing from $sdk: not the libraries meant"

# Demangled, with the library's inline namespaces and ABI tags left out, then cut into the
# qualified name (the text before the argument list, without a return type) and the signature.
c++filt <"$work/from-sdk" |
  sed -e 's/std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char> >/std::string/g' \
      -e 's/::__cxx11::/::/g' -e 's/\[abi:cxx11\]//g' -e 's/ >/>/g' |
  awk '{
    depth = 0; start = 1; paren = 0
    for (i = 1; i <= length($0); i++) {
      c = substr($0, i, 1)
      if (c == "<") depth++
      else if (c == ">") depth--
      else if (c == " " && depth == 0) start = i + 1
      else if (c == "(" && depth == 0) { paren = i; break }
    }
    if (paren == 0) { print $0 "\t" $0; next }
    print substr($0, start, paren - start) "\t" substr($0, start)
  }' >"$work/operations"

grep -v -e '^#' -e '^[[:space:]]*$' "$operations" | grep -vxF -e "$left_out" >"$work/allowed" || true
[ -s "$work/allowed" ] || fail "$operations lists no operations"

tab=$(printf '\t')
unexpected=0
while IFS=$tab read -r name signature; do
  allowed=no
  while IFS= read -r entry; do
    # Unquoted: the entry is a glob.
    # shellcheck disable=SC2254
    case $name in $entry) allowed=yes; break ;; esac
    # shellcheck disable=SC2254
    case $signature in $entry) allowed=yes; break ;; esac
  done <"$work/allowed"
  if [ "$allowed" = no ]; then
    echo "check_sdk_imports: the plug-in imports $signature, which the host SDK does not offer" >&2
    unexpected=$((unexpected + 1))
  fi
done <"$work/operations"

count=$(wc -l <"$work/operations")
[ "$unexpected" -eq 0 ] || fail "$unexpected of $count imports from the SDK library are not host SDK operations ($operations)"
echo "check_sdk_imports: all $count imports from the SDK library are host SDK operations"
