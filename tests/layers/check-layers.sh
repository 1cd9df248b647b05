#!/usr/bin/env bash
# The core libraries and bexora-cli must not need Qt: no Qt header in the
# core folders (Qt code lives in <subsystem>/ui/, in listctrl/ and in app/,
# which are all front end), no Qt target in any core library's link closure,
# and no Qt library in bexora-cli's dynamic links.
set -u
src="$1"
cli="$2"
closures="$3"
status=0
hits=$(grep -rlE '#\s*include\s*[<"]Q[A-Za-z]' "$src" --include='*.h' --include='*.cpp' \
        | grep -vE "/ui/|/listctrl/|/src/app/" || true)
if [ -n "$hits" ]; then
  echo "Qt headers in core code:"; echo "$hits"; status=1
fi
if grep -iE 'Qt[0-9]*::|libQt' "$closures"; then
  echo "a core library links Qt (above)"; status=1
fi
if ! grep -q '^bexora_base:' "$closures"; then
  echo "no link closures in $closures"; status=1
fi
if ldd "$cli" | grep -i 'libQt'; then
  echo "bexora-cli links Qt"; status=1
fi
exit $status
