# cpack -G DEB: the package's files, and its maintainer scripts run against a
# private odbcinst.ini: configure registers both drivers once (again on an
# upgrade: still once), remove unregisters them.
. "$(dirname "$0")/lib.sh"
need cpack dpkg-deb odbcinst
cpack -G DEB --config "$B/CPackConfig.cmake" -B "$TMP/pkg" >"$TMP/cpack.log" 2>&1 || { cat "$TMP/cpack.log"; fail "cpack"; }
deb=$(ls "$TMP"/pkg/*.deb)
dpkg-deb -c "$deb" | awk '{print $NF}' >"$TMP/contents"
for f in ./usr/lib/kvd7r22xw.so ./usr/lib/kvd7r22x.so ./usr/lib/libocilite.so ./usr/lib/libvqlogin8.so \
         ./usr/bin/ocilite-admin ./usr/share/kvd7r22/odbcinst.ini; do
  grep -qx "$f" "$TMP/contents" || fail "$f missing from the package: $(cat "$TMP/contents")"
done
if grep -q "$B" "$TMP/contents"; then fail "package holds build-tree paths"; fi
dpkg-deb -f "$deb" Package | grep -qx kvd7r22 || fail "package name"
dpkg-deb -f "$deb" Depends | grep -q odbcinst || fail "package does not depend on odbcinst"

dpkg-deb -x "$deb" "$TMP/root"
dpkg-deb -e "$deb" "$TMP/ctl"
for s in postinst prerm; do [ -x "$TMP/ctl/$s" ] || fail "no executable $s"; done
grep -qx 'Driver = /usr/lib/kvd7r22xw.so' "$TMP/root/usr/share/kvd7r22/odbcinst.ini" || fail "template paths"

# The scripts as dpkg runs them, with the template where dpkg-deb -x put it.
sed "s#/usr/share/kvd7r22/odbcinst.ini#$TMP/root/usr/share/kvd7r22/odbcinst.ini#" "$TMP/ctl/postinst" >"$TMP/postinst"
export ODBCSYSINI=$TMP/etc
mkdir -p "$ODBCSYSINI"
: >"$ODBCSYSINI/odbcinst.ini"
registered() { odbcinst -q -d | grep -c '^\[Zezuzeru Oracle' || true; }
sh "$TMP/postinst" configure || fail "postinst configure"
[ "$(registered)" = 2 ] || fail "postinst did not register both drivers: $(cat "$ODBCSYSINI/odbcinst.ini")"
odbcinst -q -d -n "Zezuzeru Oracle Unicode" | grep -qx 'Driver=/usr/lib/kvd7r22xw.so' || fail "registered path"
sh "$TMP/postinst" configure 1.0.0 || fail "postinst configure on upgrade"
sh "$TMP/ctl/prerm" upgrade 1.0.0 || fail "prerm upgrade"
[ "$(registered)" = 2 ] || fail "an upgrade unregistered the drivers"
sh "$TMP/ctl/prerm" remove || fail "prerm remove"
[ "$(registered)" = 0 ] || fail "prerm remove left drivers registered: $(cat "$ODBCSYSINI/odbcinst.ini")"
echo "deb package: ok"
