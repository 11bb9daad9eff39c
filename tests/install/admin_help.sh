# ocilite-admin --help: usage on standard output, exit 0; a wrong command
# line: usage on standard error, exit 2.
. "$(dirname "$0")/lib.sh"
A=$B/bin/ocilite-admin
for opt in --help -h; do
  "$A" $opt >"$TMP/out" 2>"$TMP/err" || fail "$opt exits $?"
  grep -q '^usage: ocilite-admin create DIR' "$TMP/out" || fail "$opt: no usage on standard output"
  [ ! -s "$TMP/err" ] || fail "$opt: standard error not empty"
done
rc=0
"$A" frobnicate >"$TMP/out" 2>"$TMP/err" || rc=$?
[ "$rc" = 2 ] || fail "a wrong command exits $rc"
[ ! -s "$TMP/out" ] && grep -q '^usage:' "$TMP/err" || fail "a wrong command: usage not on standard error"
echo "admin help: ok"
