#!/usr/bin/env bash
# Sets this program's charge sheet beside LibreOffice's for every template fixture: each
# fixture is filled with the sample record, printed to PDF by us and by LibreOffice, and
# compared by page count, by text in reading order (pdftotext) and by the pages side by side
# as images for a person to look at. "cut": runs of text our pages cut at a clip or the
# sheet's edge, filled with the sample and with the longest amounts. Run by hand; it needs
# libreoffice-writer-nogui, poppler-utils and ImageMagick, which the tests never do.
#   scripts/template-check.sh [BUILD]          compare (output in BUILD/template-check)
#   scripts/template-check.sh --fixtures       remake the .rtf fixtures from their sources
set -euo pipefail
cd "$(dirname "$0")/.."
DATA=tests/report/data/templates
PROFILE="file://${TMPDIR:-/tmp}/template-check-profile"
office() { soffice -env:UserInstallation="$PROFILE" --headless "$@" >/dev/null 2>&1; }

if [ "${1:-}" = "--fixtures" ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    cp "$DATA"/*.fodt "$DATA"/*.html "$work"/
    (cd "$work" && office --convert-to rtf letterhead.fodt pages.fodt)
    # The split placeholders go through the Word 97 format first, as a yard's letter does.
    (cd "$work" && office --convert-to doc:"MS Word 97" split.fodt && office --convert-to rtf split.doc)
    (cd "$work" && office --infilter="HTML (StarWriter)" --convert-to rtf:"Rich Text Format" invoice.html)
    (cd "$work" && office --infilter="HTML (StarWriter)" --convert-to rtf:"Rich Text Format" nested.html)
    for f in letterhead pages split invoice nested; do cp "$work/$f.rtf" "$DATA/$f.rtf"; done
    echo "fixtures written to $DATA"
    exit 0
fi

BUILD=${1:-build}
OUT="$BUILD/template-check"
rm -rf "$OUT"
mkdir -p "$OUT/longest"
fixtures=$(ls "$DATA"/*.rtf)
for rtf in $fixtures; do
    name=$(basename "$rtf" .rtf)
    "$BUILD/tools/template_fill" "$rtf" "$OUT/$name" >"$OUT/$name.cut" || echo "$name: not filled"
    "$BUILD/tools/template_fill" "$rtf" "$OUT/longest/$name" longest >"$OUT/longest/$name.cut" || true
done
(cd "$OUT" && office --convert-to pdf:writer_pdf_Export --outdir lo ./*.rtf)
printf '%-12s %6s %6s %4s  %s\n' fixture ours theirs cut "text differences (words only in ours | only in theirs)"
for rtf in $fixtures; do
    name=$(basename "$rtf" .rtf)
    ours="$OUT/$name.pdf"
    theirs="$OUT/lo/$name.pdf"
    op=$(pdfinfo "$ours" 2>/dev/null | awk '/^Pages:/ {print $2}')
    tp=$(pdfinfo "$theirs" 2>/dev/null | awk '/^Pages:/ {print $2}')
    pdftotext "$ours" "$OUT/$name.ours.txt"
    pdftotext "$theirs" "$OUT/$name.lo.txt"
    # Dot leaders are text in LibreOffice's PDF and drawn in ours: runs of dots are left out.
    sed -E 's/\.{4,}/ /g' "$OUT/$name.ours.txt" | tr -s '[:space:]' '\n' | sed '/^$/d' >"$OUT/$name.ours.words"
    sed -E 's/\.{4,}/ /g' "$OUT/$name.lo.txt" | tr -s '[:space:]' '\n' | sed '/^$/d' >"$OUT/$name.lo.words"
    onlyours=$(diff <(sort "$OUT/$name.ours.words") <(sort "$OUT/$name.lo.words") | grep '^<' | cut -c3- | tr '\n' ' ' || true)
    onlytheirs=$(diff <(sort "$OUT/$name.ours.words") <(sort "$OUT/$name.lo.words") | grep '^>' | cut -c3- | tr '\n' ' ' || true)
    order=same
    cmp -s "$OUT/$name.ours.words" "$OUT/$name.lo.words" || order=differs
    cut="$(cat "$OUT/$name.cut" 2>/dev/null)/$(cat "$OUT/longest/$name.cut" 2>/dev/null)"
    printf '%-12s %6s %6s %4s  order %s; ours only: [%s] | theirs only: [%s]\n' "$name" "$op" "$tp" "$cut" "$order" "$onlyours" "$onlytheirs"
    pdftoppm -r 60 -png "$ours" "$OUT/$name.ours"
    pdftoppm -r 60 -png "$theirs" "$OUT/$name.lo"
    pages=()
    for page in "$OUT/$name".ours-*.png; do
        n=${page##*-}
        other="$OUT/$name.lo-$n"
        if [ -f "$other" ]; then
            convert "$page" "$other" +append -bordercolor gray -border 4 "$OUT/$name.page-$n"
        else
            convert "$page" -bordercolor gray -border 4 "$OUT/$name.page-$n"
        fi
        pages+=("$OUT/$name.page-$n")
    done
    convert "${pages[@]}" -append "$OUT/$name.side-by-side.png"
    rm -f "${pages[@]}" "$OUT/$name".ours-*.png "$OUT/$name".lo-*.png
done
echo "side by side (ours left, LibreOffice right): $OUT/*.side-by-side.png"
