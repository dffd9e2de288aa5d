#!/usr/bin/env bash
# The Debian package as a user gets it: check-package.sh BUILD_DIR VERSION
# Builds it from BUILD_DIR with CPack, checks its files and metadata with Debian's tools, then
# unpacks it into a scratch root and starts the unpacked quillet for a new user under Xvfb: the
# user's folder is made from the package's default folder, the terms come first, and accepting
# them opens the main window.
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
for tool in cpack dpkg-deb dpkg-shlibdeps lintian desktop-file-validate appstreamcli Xvfb \
  xdotool xprop; do
  command -v "$tool" >/dev/null || { echo "Manca $tool: scripts/setup lo installa." >&2; exit 1; }
done
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait; rm -rf "$work"' EXIT
fail() { echo "FALLITO: $*" >&2; exit 1; }
# Polls a check for up to a minute.
poll() { for _ in $(seq 300); do "$@" && return 0; sleep 0.2; done; return 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
deb=$work/quillet_${version}_amd64.deb
[ -f "$deb" ] || fail "manca $(basename "$deb")"
dpkg-deb -c "$deb"

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||' >"$work/files"
for f in usr/bin/quillet usr/bin/quillet-gateway usr/share/quillet/default/elenco.mdb \
  usr/share/applications/example.quillet.Quillet.desktop \
  usr/share/metainfo/example.quillet.Quillet.metainfo.xml \
  usr/share/icons/hicolor/scalable/apps/quillet.svg \
  usr/share/man/man1/quillet.1.gz usr/share/man/man1/quillet-gateway.1.gz \
  usr/share/doc/quillet/copyright usr/share/doc/quillet/changelog.gz; do
  grep -qx "$f" "$work/files" || fail "il pacchetto non contiene $f"
done
[ "$(grep '^usr/bin/.' "$work/files" | sort | tr '\n' ' ')" = "usr/bin/quillet usr/bin/quillet-gateway " ] ||
  fail "programmi in usr/bin: $(grep '^usr/bin/.' "$work/files" | tr '\n' ' ')"

# Dependencies come from the binaries; Kannel is only suggested.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libqt6widgets6 libqt6network6 libsqlite3-0 libmicrohttpd libsodium23 libphonenumber8; do
  [[ $depends == *"$lib"* ]] || fail "Depends senza $lib: $depends"
done
[[ $depends != *kannel* ]] || fail "Kannel tra le dipendenze: $depends"
[ "$(dpkg-deb -f "$deb" Suggests)" = kannel ] || fail "Suggests: $(dpkg-deb -f "$deb" Suggests)"

root=$work/root
dpkg -x "$deb" "$root"
diff -r "$build/share/quillet/default" "$root/usr/share/quillet/default"
desktop=$root/usr/share/applications/example.quillet.Quillet.desktop
desktop-file-validate "$desktop"
grep -qx 'Categories=Office;Network;' "$desktop" || fail "categorie del menu"
[ -x "$root/usr/bin/$(sed -n 's/^Exec=//p' "$desktop")" ] || fail "Exec non è nel pacchetto"
[ -f "$root/usr/share/icons/hicolor/scalable/apps/$(sed -n 's/^Icon=//p' "$desktop").svg" ] ||
  fail "Icon non è nel pacchetto"
appstreamcli validate --no-net "$root/usr/share/metainfo/example.quillet.Quillet.metainfo.xml"
lintian "$deb" >"$work/lintian.log" 2>&1 || true
cat "$work/lintian.log"
! grep -q '^E:' "$work/lintian.log" || fail "lintian riporta errori"
"$root/usr/bin/quillet-gateway" --version | grep -qx "quillet-gateway $version" ||
  fail "quillet-gateway --version"

# A new user starts the unpacked program.
exec {displayfd}>"$work/display"
Xvfb -displayfd "$displayfd" -screen 0 1280x900x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
exec {displayfd}>&-
poll test -s "$work/display" || { cat "$work/xvfb.log"; fail "Xvfb non è partito"; }
DISPLAY=:$(head -n1 "$work/display")
export DISPLAY
home=$work/home
mkdir "$home"
env -i PATH=/usr/bin:/bin HOME="$home" DISPLAY="$DISPLAY" LANG=C.UTF-8 \
  "$root/usr/bin/quillet" >"$work/quillet.log" 2>&1 &
pids+=($!)
quillet=$!
# A shown window titled "Quillet": the terms are a dialog, the main window is not.
shown() {
  kill -0 "$quillet" 2>/dev/null || { cat "$work/quillet.log"; fail "quillet è terminato"; }
  local w kind
  for w in $(xdotool search --onlyvisible --name '^Quillet$' 2>/dev/null); do
    kind=main
    [[ $(xprop -id "$w" _NET_WM_WINDOW_TYPE) == *DIALOG* ]] && kind=terms
    [ "$kind" = "$1" ] && echo "$w" && return 0
  done
  return 1
}
poll shown terms >/dev/null || fail "le condizioni d'uso non compaiono"
diff -r "$root/usr/share/quillet/default" "$home/.local/share/Quillet" ||
  fail "la cartella dell'utente non è la copia della cartella predefinita"
xdotool windowfocus --sync "$(shown terms)" key Tab space # "Accetto"
poll shown main >/dev/null || fail "la finestra principale non compare"
[ "$(head -c1 "$home/.local/share/Quillet/mostra.txt")" = 0 ] || fail "accettazione non registrata"
echo "Pacchetto $(basename "$deb") controllato."
