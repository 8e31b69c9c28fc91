#!/bin/bash
# Holds our RTF against LibreOffice's reading, in both directions, for every .rtf given (by
# default the documents of tests/data/rtf-interop and of the shared RTF corpus):
#   read    our reader's text equals LibreOffice's text of the same file;
#   write   what our writer makes of the file, read by LibreOffice, gives our reader's text.
# Texts are compared without white space. Needs a built qingchuang-rtf (QC_RTF_EXE, by default
# build/test/qingchuang-rtf) and LibreOffice (apt-get install libreoffice-writer-nogui). Not part
# of CI: LibreOffice is large. Prints one line per file and check, then "N passed, N failed".
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
exe="${QC_RTF_EXE:-$root/build/test/qingchuang-rtf}"
[ -x "$exe" ] || { echo "rtf-interop: build qingchuang-rtf first ($exe)" >&2; exit 2; }
command -v soffice >/dev/null || { echo "rtf-interop: soffice is missing" >&2; exit 2; }
if [ $# -gt 0 ]; then
    files=("$@")
else
    files=("$root"/tests/data/rtf-interop/*.rtf)
    [ -d "$root/../shared/rtf-corpus" ] && files+=("$root"/../shared/rtf-corpus/*.rtf)
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/ours" "$work/written" "$work/lo-in" "$work/lo-written"
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work"

n=0
declare -A source
for f in "${files[@]}"; do
    n=$((n + 1))
    name=$(printf '%03d' "$n")
    source[$name]=$f
    cp "$f" "$work/in/$name.rtf"
    "$exe" --text "$f" >"$work/ours/$name.txt" 2>/dev/null || echo "(unreadable)" >"$work/ours/$name.txt"
    "$exe" --rtf "$f" >"$work/written/$name.rtf" 2>/dev/null
done

office() { soffice -env:UserInstallation="file://$work/profile" --headless "$@" >/dev/null 2>&1; }
office --convert-to "txt:Text (encoded):UTF8" --outdir "$work/lo-in" "$work"/in/*.rtf
office --convert-to "txt:Text (encoded):UTF8" --outdir "$work/lo-written" "$work"/written/*.rtf

passed=0
failed=0
for name in $(printf '%s\n' "${!source[@]}" | sort); do
    for check in read write; do
        if [ "$check" = read ]; then lo="$work/lo-in/$name.txt"; else lo="$work/lo-written/$name.txt"; fi
        if python3 - "$work/ours/$name.txt" "$lo" <<'PY'
import sys
def text(path):
    try:
        s = open(path, encoding='utf-8-sig', errors='replace').read()
    except OSError:
        return None
    return ''.join(s.split())
ours, theirs = text(sys.argv[1]), text(sys.argv[2])
if ours != theirs:
    a, b = ours or '', theirs or ''
    i = next((k for k in range(min(len(a), len(b))) if a[k] != b[k]), min(len(a), len(b)))
    print('    ours:        ' + a[max(0, i - 20):i + 40])
    print('    LibreOffice: ' + (b[max(0, i - 20):i + 40] if theirs is not None else '(no text)'))
    sys.exit(1)
PY
        then
            passed=$((passed + 1))
            echo "ok    $check  ${source[$name]#"$root"/}"
        else
            failed=$((failed + 1))
            echo "FAIL  $check  ${source[$name]#"$root"/}"
        fi
    done
done
echo "rtf-interop: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
