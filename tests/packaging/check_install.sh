#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR and checks that what a desktop
# needs is there and is valid. A check whose tool is missing is skipped.
#   check_install.sh BUILD_DIR VERSION SCRATCH_DIR
set -euo pipefail
build=$1 version=$2 scratch=$3
id=io.github.quillmar.Quillmar

rm -rf "$scratch"
mkdir -p "$scratch"
DESTDIR="$scratch/root" cmake --install "$build" --prefix /usr >"$scratch/install.log"
root=$scratch/root/usr

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
skip() { echo "skipped: $*"; }
have() { command -v "$1" >/dev/null 2>&1; }

files=(
    bin/quillmar bin/quillmar-cli bin/quillmar-ecusim
    share/applications/$id.desktop
    share/metainfo/$id.metainfo.xml
    share/mime/packages/$id.xml
    share/icons/hicolor/scalable/apps/$id.svg
    share/icons/hicolor/48x48/apps/$id.png
    share/icons/hicolor/128x128/apps/$id.png
    share/icons/hicolor/256x256/apps/$id.png
    share/man/man1/quillmar.1.gz share/man/man1/quillmar-cli.1.gz share/man/man1/quillmar-ecusim.1.gz
    share/bash-completion/completions/quillmar
    share/bash-completion/completions/quillmar-cli
    share/bash-completion/completions/quillmar-ecusim
    share/doc/quillmar/60-quillmar-aldl.rules
)
for f in "${files[@]}"; do
    [[ -s $root/$f ]] || fail "$f is not installed"
done
for p in quillmar quillmar-cli quillmar-ecusim; do
    [[ -x $root/bin/$p ]] || fail "bin/$p is not executable"
    out=$(QT_QPA_PLATFORM=offscreen "$root/bin/$p" --version 2>&1) || fail "$p --version failed: $out"
    [[ $out == "$p $version" ]] || fail "$p --version says '$out', not '$p $version'"
done

# The icon sizes are what their folders say.
for size in 48 128 256; do
    png=$root/share/icons/hicolor/${size}x${size}/apps/$id.png
    header=$(od -An -tx1 -j16 -N8 "$png" | tr -d ' \n')
    want=$(printf '%08x%08x' "$size" "$size")
    [[ $header == "$want" ]] || fail "$png is not $size x $size"
done

desktop=$root/share/applications/$id.desktop
if have desktop-file-validate; then
    out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
    [[ -z $out ]] || fail "desktop-file-validate: $out"
else
    skip "desktop-file-validate is not installed"
fi
grep -qx "Icon=$id" "$desktop" || fail "the desktop entry's icon is not $id"
grep -qx "Exec=quillmar %F" "$desktop" || fail "the desktop entry does not hand files to quillmar"
grep -q "^MimeType=.*application/x-quillmar-ecu;" "$desktop" || fail "the desktop entry does not open .ecu logs"

metainfo=$root/share/metainfo/$id.metainfo.xml
if have appstreamcli; then
    out=$(appstreamcli validate --no-net --no-color "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
else
    skip "appstreamcli is not installed"
fi
grep -q "<id>$id</id>" "$metainfo" || fail "the metainfo's id is not $id"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "the metainfo does not launch $id.desktop"
newest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n1 | cut -d'"' -f2)
[[ $newest == "$version" ]] || fail "the metainfo's newest release is '$newest', the project's version $version"
for shot in $(grep -o 'docs/screenshots/[^<]*\.png' "$metainfo"); do
    [[ -s $SOURCE_DIR/$shot ]] || fail "the metainfo's screenshot $shot is not in the tree"
done

mime=$root/share/mime/packages/$id.xml
if have xmllint; then
    out=$(xmllint --noout "$mime" 2>&1) || fail "xmllint: $out"
else
    skip "xmllint is not installed"
fi
if have update-mime-database; then
    mkdir -p "$scratch/mime/packages"
    cp "$mime" "$scratch/mime/packages/"
    update-mime-database "$scratch/mime" 2>"$scratch/mime.log" || fail "update-mime-database: $(cat "$scratch/mime.log")"
    [[ -f $scratch/mime/application/x-quillmar-ecu.xml ]] || fail "the MIME database has no application/x-quillmar-ecu"
else
    skip "update-mime-database is not installed"
fi

for page in "$root"/share/man/man1/*.1.gz; do
    gzip -t "$page" || fail "$page is not a good gzip file"
    if have man; then
        warnings=$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -l "$page" 2>&1 >/dev/null) || fail "man -l $page failed"
        [[ -z $warnings ]] || fail "man -l $page: $warnings"
    fi
    zcat "$page" | grep -q "@PROJECT_VERSION@" && fail "$page still carries a placeholder"
    zcat "$page" | grep -qF "Quillmar $version" || fail "$page does not carry version $version"
done
have man || skip "man is not installed"

for completion in "$root"/share/bash-completion/completions/*; do
    bash -n "$completion" || fail "$completion is not valid bash"
done

if ((failures > 0)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "the installed tree is complete and valid"
