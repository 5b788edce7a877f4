# Installed like a desktop program: cmake --install into a scratch prefix
# gives the entry, its icon and file type, the man pages and documentation;
# CPack's Debian package holds the programs, depends on GTK 3 and passes
# lintian; saved files are private and a replaced one keeps its mode.
. "$(dirname "$0")/../lib.sh"
D=$(mktemp -d)
trap 'rm -rf "$D"' EXIT
passed=0; failed=0
STAGE=install
P=$D/prefix
E=$P/share/applications/quorvane.desktop
check "build" cmake --build build -j 2 --target quorvane quorvane-rec qv_docs
check "install" cmake --install build --prefix "$P"
check "programs" test -x "$P/bin/quorvane" -a -x "$P/bin/quorvane-rec"
check "entry validates" desktop-file-validate "$E"
check "entry runs the installed program" grep -qx "Exec=$P/bin/quorvane %f" "$E"
check "entry lets KWin take its input" grep -qx 'X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input' "$E"
check "icon installed" sh -c "icon=\$(sed -n 's/^Icon=//p' '$E'); for s in 16 32 48 128; do test -s '$P'/share/icons/hicolor/\${s}x\${s}/apps/\$icon.png || exit 1; done"
check "rec type declared" sh -c "type=\$(grep -o 'mime-type type=\"[^\"]*\"' '$P/share/mime/packages/quorvane.xml' | cut -d'\"' -f2); grep -q \"glob pattern=\\\"\\*.rec\\\"\" '$P/share/mime/packages/quorvane.xml' && grep -q \"^MimeType=.*\$type;\" '$E'"
check "mime database" sh -c "update-mime-database '$P/share/mime' && grep -q '^application/x-quorvane-recording:\*\.rec$' '$P/share/mime/globs'"
check "GNOME pointer extension, both forms" sh -c "for u in pointer@quorvane.example pointer-legacy@quorvane.example; do d='$P'/share/gnome-shell/extensions/\$u; grep -q \"\\\"uuid\\\": \\\"\$u\\\"\" \$d/metadata.json && test -s \$d/extension.js || exit 1; done"
check "GNOME pointer extension forms parse and agree" python3 tests/gnome_extension_check.py .
check "no rule opens the input devices to everyone" sh -c "! find '$P' -path '*udev*' -o -name '*.rules' | grep -q ."
check "man pages" sh -c "for m in quorvane quorvane-rec; do zcat '$P'/share/man/man1/\$m.1.gz | man -l - | grep -q NAME || exit 1; done"
check "documentation" sh -c "grep -q '<h2>Set-up</h2>' '$P/share/doc/quorvane/README.html'"
check "package" sh -c "cd build && rm -f quorvane_*.deb && cpack -G DEB"
DEB=$(ls build/quorvane_1.50_*.deb 2>/dev/null | head -1)
check "package holds the program" sh -c "dpkg-deb -c '$DEB' | grep -q ' ./usr/bin/quorvane$'"
check "package holds the page Website opens" sh -c "dpkg-deb -c '$DEB' | grep -q ' ./usr/share/doc/quorvane/README.html$'"
check "package depends on GTK 3" sh -c "dpkg-deb -f '$DEB' Depends | grep -q 'libgtk-3-0'"
check "package version" sh -c "[ \"\$(dpkg-deb -f '$DEB' Version)\" = 1.50 ]"
check "package scripts" sh -c "dpkg-deb -I '$DEB' postinst | grep -q update-mime-database"
if command -v lintian >/dev/null; then
  check "lintian" sh -c "lintian '$DEB' 2>&1 | tee '$QV_RESULTS/lintian.log' | grep -q '^E:' && exit 1 || exit 0"
fi
record install "$passed" "$failed"
