# isql on a failed prepare prints the driver's diagnostic, and the driver
# writes nothing on standard error (isql's own "[ISQL]ERROR" line is all
# there is); log lines reach standard error only when TVX_DEBUGFILE asks for
# it.
. "$(dirname "$0")/lib.sh"
need isql
build_tree_dsns
for dsn in inst_w inst_a; do
  out=$(echo "select * from no_such_table" | with_drivers isql -b -v "$dsn" scott tiger 2>"$TMP/err") || true
  echo "$out" | grep -q '^\[S0002\]\[Zezuzeru\]\[ODBC\]\[Oracle Server\]ORA-00942' ||
    fail "$dsn: no diagnostic on standard output: $out"
  if grep -v '^\[ISQL\]' "$TMP/err" | grep -q .; then fail "$dsn: the driver wrote to standard error: $(cat "$TMP/err")"; fi
  echo "select * from no_such_table" | TVX_DEBUGFILE=stderr with_drivers isql -b -v "$dsn" scott tiger >/dev/null 2>"$TMP/err" || true
  grep -q 'DB_Prepare' "$TMP/err" || fail "$dsn: TVX_DEBUGFILE=stderr shows no log line: $(head -c 2000 "$TMP/err")"
done
echo "isql quiet: ok"
