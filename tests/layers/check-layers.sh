#!/usr/bin/env bash
# The core libraries and bexora-cli must not need Qt: no Qt header in the
# core folders (their Qt code lives in ui/ and listctrl/), and no Qt library
# in bexora-cli's link.
set -u
src="$1"
cli="$2"
status=0
hits=$(grep -rlE '#\s*include\s*[<"]Q[A-Za-z]' "$src" --include='*.h' --include='*.cpp' \
        | grep -vE "/ui/|/listctrl/" || true)
if [ -n "$hits" ]; then
  echo "Qt headers in core code:"; echo "$hits"; status=1
fi
if ldd "$cli" | grep -i 'libQt'; then
  echo "bexora-cli links Qt"; status=1
fi
exit $status
