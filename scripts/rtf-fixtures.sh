#!/bin/bash
# Makes the RTF documents of tests/data/rtf-interop from the small documents in its source/ folder:
# RTF written by LibreOffice (lo-*) and by pandoc (pandoc-*), the RTF of source/ written by hand in
# the manner of older word processors (hand-*), and beside each the plain text LibreOffice reads
# from it. Run once by hand when the sources change (LibreOffice and pandoc are large and not part of
# the build): apt-get install libreoffice-writer-nogui pandoc.
set -euo pipefail
cd "$(dirname "$0")/../tests/data/rtf-interop"
for tool in soffice pandoc; do
    command -v "$tool" >/dev/null || { echo "rtf-fixtures: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A profile of its own, so that a running LibreOffice or a user's settings play no part.
office() { soffice -env:UserInstallation="file://$work/profile" --headless "$@" >/dev/null 2>&1; }

cp source/* "$work/"
(
    cd "$work"
    pandoc -s notes.md -t rtf -o pandoc-notes.rtf
    pandoc -s web.html -t rtf -o pandoc-web.rtf
    pandoc notes.md -o notes.docx
    office --convert-to rtf diary.fodt
    office --convert-to rtf notes.docx
    office --infilter="HTML (StarWriter)" --convert-to rtf web.html
    mv diary.rtf lo-diary.rtf
    mv notes.rtf lo-notes.rtf
    mv web.rtf lo-web.rtf
    for f in "$OLDPWD"/source/*.rtf; do cp "$f" "hand-$(basename "$f")"; done
)
rm -f ./*.rtf ./*.txt
for f in "$work"/lo-*.rtf "$work"/pandoc-*.rtf "$work"/hand-*.rtf; do
    cp "$f" .
    name=$(basename "$f" .rtf)
    office --convert-to "txt:Text (encoded):UTF8" --outdir "$work/text" "$f"
    cp "$work/text/$name.txt" "$name.txt"
    echo "$name.rtf"
done
