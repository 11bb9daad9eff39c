# isql runs a procedure call on both drivers without a diagnostic.
. "$2/tests/install/lib.sh"
need isql
build_tree_dsns
"$B/bin/ocilite-admin" sql "$TMP/db" scott tiger "create procedure P_NOARGS as begin null; end;" >/dev/null
for dsn in inst_w inst_a; do
  for call in "{call P_NOARGS}" "{call P_NOARGS()}"; do
    out=$(echo "$call" | with_drivers isql -b -v "$dsn" scott tiger 2>&1) || fail "$dsn: $call failed: $out"
    if echo "$out" | grep -q '^\['; then fail "$dsn: $call: $out"; fi
  done
done
echo "isql procedure call: ok"
