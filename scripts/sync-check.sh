#!/usr/bin/env bash
# One diary on two computers, on this machine: two Syncthing instances with their own homes and
# ports on loopback (discovery, relays and NAT off), each sharing one diary folder. While they are
# apart (the folder paused on both) each side adds entries to the same date and changes the same
# collection item; side B then runs the program; then they meet again. Passes when both folders
# hold every entry once, no conflict copy is left outside Backup/conflicts and the two DB folders
# are identical. Not part of the tests: it needs Syncthing and takes a minute or two.
#
#   bash scripts/sync-check.sh [BUILD_DIR]     (default build/test, built with qingchuang and qingchuang-tool)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/test}
tool=$PWD/$build/qingchuang-tool
program=$PWD/$build/qingchuang
[[ -x $tool && -x $program ]] || { echo "sync-check: build qingchuang and qingchuang-tool in $build first" >&2; exit 2; }
command -v syncthing >/dev/null || apt-get install -y --no-install-recommends syncthing
command -v curl >/dev/null || apt-get install -y --no-install-recommends curl
command -v python3 >/dev/null || apt-get install -y --no-install-recommends python3

root=$(mktemp -d /tmp/sync-check.XXXXXX)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT
echo "sync-check: working in $root"
export STNODEFAULTFOLDER=1 STNOUPGRADE=1 QT_QPA_PLATFORM=offscreen

declare -A gui listen key id
gui[a]=127.0.0.1:28384; listen[a]=127.0.0.1:28385
gui[b]=127.0.0.1:28386; listen[b]=127.0.0.1:28387
date=2026-12-10
for s in a b; do
    mkdir -p "$root/$s/diary/DB" "$root/$s/diary/Love"
    syncthing generate --home="$root/$s/home" --no-default-folder --skip-port-probing >/dev/null
    id[$s]=$(syncthing serve --home="$root/$s/home" --device-id)
    key[$s]=apikey-$s-$RANDOM$RANDOM
    # The per-computer files of the README, and the program copied in to run there.
    printf '/Window-*.ini\n/Recovery\n/DB/temp-*.tmp\n/Love/.saving\n/Backup\n/qingchuang\n' > "$root/$s/diary/.stignore"
done
# The diary both start from: one entry and one collection item, the same bytes on both sides.
echo "出发前写的" | "$tool" add "$root/a/diary" --date $date --title "出发前" >/dev/null
printf '{\\rtf1 旧的游记}\r\n' > "$root/a/diary/Love/游记"
cp -a "$root/a/diary/DB" "$root/a/diary/Love" "$root/b/diary/"

api() { # side method path [json]
    local s=$1 m=$2 p=$3
    curl -sf -X "$m" -H "X-API-Key: ${key[$s]}" ${4:+-H 'Content-Type: application/json' -d "$4"} "http://${gui[$s]}$p"
}
for s in a b; do
    syncthing serve --home="$root/$s/home" --no-browser --gui-address="http://${gui[$s]}" --gui-apikey="${key[$s]}" \
        >"$root/$s/syncthing.log" 2>&1 &
    pids+=($!)
done
for s in a b; do
    for _ in $(seq 100); do api $s GET /rest/system/ping >/dev/null 2>&1 && break; sleep 0.2; done
done
for s in a b; do
    other=$([[ $s == a ]] && echo b || echo a)
    api $s PATCH /rest/config/options "{\"listenAddresses\":[\"tcp://${listen[$s]}\"],\"globalAnnounceEnabled\":false,\"localAnnounceEnabled\":false,\"relaysEnabled\":false,\"natEnabled\":false,\"urAccepted\":-1,\"crashReportingEnabled\":false,\"autoUpgradeIntervalH\":0}" >/dev/null
    api $s POST /rest/config/devices "{\"deviceID\":\"${id[$other]}\",\"name\":\"$other\",\"addresses\":[\"tcp://${listen[$other]}\"]}" >/dev/null
    api $s POST /rest/config/folders "{\"id\":\"diary\",\"label\":\"diary\",\"path\":\"$root/$s/diary\",\"type\":\"sendreceive\",\"rescanIntervalS\":3600,\"fsWatcherEnabled\":false,\"maxConflicts\":10,\"devices\":[{\"deviceID\":\"${id[a]}\"},{\"deviceID\":\"${id[b]}\"}]}" >/dev/null
done

# Waits until both sides have scanned and have nothing more to pull from each other.
settle() {
    for _ in $(seq 240); do
        local done=1
        for s in a b; do
            api $s POST "/rest/db/scan?folder=diary" >/dev/null 2>&1 || true
        done
        sleep 1
        for s in a b; do
            other=$([[ $s == a ]] && echo b || echo a)
            st=$(api $s GET "/rest/db/status?folder=diary" 2>/dev/null || echo '{}')
            co=$(api $s GET "/rest/db/completion?folder=diary&device=${id[$other]}" 2>/dev/null || echo '{}')
            python3 -c 'import json,sys; s=json.loads(sys.argv[1]); c=json.loads(sys.argv[2]); sys.exit(0 if s.get("state")=="idle" and s.get("needTotalItems",1)==0 and c.get("completion")==100 else 1)' "$st" "$co" || done=0
        done
        [[ $done == 1 ]] && return 0
    done
    echo "sync-check: Syncthing did not settle" >&2
    return 1
}
connected() {
    for _ in $(seq 120); do
        api a GET /rest/system/connections | python3 -c 'import json,sys; c=json.load(sys.stdin)["connections"]; sys.exit(0 if any(v.get("connected") for v in c.values()) else 1)' && return 0
        sleep 0.5
    done
    echo "sync-check: the two instances did not connect" >&2
    return 1
}
connected
settle
echo "sync-check: connected and in step"

# Apart: the folder paused on both sides.
for s in a b; do api $s PATCH /rest/config/folders/diary '{"paused":true}' >/dev/null; done
echo "在家写的一" | "$tool" add "$root/a/diary" --date $date --title "家里一" >/dev/null
echo "在家写的二" | "$tool" add "$root/a/diary" --date $date --title "家里二" >/dev/null
printf '{\\rtf1 在家改的游记}\r\n' > "$root/a/diary/Love/游记"
echo "路上写的一" | "$tool" add "$root/b/diary" --date $date --title "路上一" >/dev/null
echo "路上写的二" | "$tool" add "$root/b/diary" --date $date --title "路上二" >/dev/null
printf '{\\rtf1 路上改的游记}\r\n' > "$root/b/diary/Love/游记"
touch -d '+1 minute' "$root/b/diary/Love/游记"
# Side B runs the program (offscreen), which keeps the diary beside its executable.
cp "$program" "$root/b/diary/qingchuang"
"$root/b/diary/qingchuang" >"$root/b/program.log" 2>&1 &
pids+=($!)
program_pid=$!
sleep 3
# The running program keeps the tool out of its folder.
if echo x | "$tool" add "$root/b/diary" --title refused 2>/dev/null; then
    echo "sync-check: FAIL: the tool wrote while the program ran" >&2; exit 1
fi

# Together again.
for s in a b; do api $s PATCH /rest/config/folders/diary '{"paused":false}' >/dev/null; done
connected
# The program merges what arrives; the merge goes back to A. Several rounds until nothing moves.
for round in 1 2 3 4 5 6; do
    settle
    sleep 3 # the program's watcher and its settle time
    left=$(find "$root/a/diary" "$root/b/diary" -path '*/Backup' -prune -o -type f \( -name '*sync-conflict*' -o -name '*conflicted copy*' -o -name '*_conflict-*' \) -print)
    [[ -z $left ]] && diff -r "$root/a/diary/DB" "$root/b/diary/DB" >/dev/null && break
done
settle
kill "$program_pid" 2>/dev/null || true

fail=0
left=$(find "$root/a/diary" "$root/b/diary" -path '*/Backup' -prune -o -type f \( -name '*sync-conflict*' -o -name '*conflicted copy*' -o -name '*_conflict-*' \) -print)
if [[ -n $left ]]; then echo "sync-check: FAIL: conflict copies left: $left" >&2; fail=1; fi
if ! diff -r "$root/a/diary/DB" "$root/b/diary/DB" >&2; then echo "sync-check: FAIL: the DB folders differ" >&2; fail=1; fi
file="$root/a/diary/DB/${date//-/}.KAV"
for t in 出发前 家里一 家里二 路上一 路上二; do
    n=$(iconv -f GB18030 -t UTF-8 "$file" | tr -d '\r' | grep -cx "$t" || true)
    echo "sync-check: entry $t: $n time(s)"
    [[ $n == 1 ]] || fail=1
done
echo "sync-check: collection on A: $(ls "$root/a/diary/Love" | tr '\n' ' ')"
echo "sync-check: collection on B: $(ls "$root/b/diary/Love" | tr '\n' ' ')"
echo "sync-check: moved aside on B: $(find "$root/b/diary/Backup/conflicts" -type f 2>/dev/null | sed "s|$root/b/diary/||" | tr '\n' ' ')"
if [[ $fail == 0 ]]; then echo "sync-check: PASS"; cleanup; rm -rf "$root"; else echo "sync-check: FAIL (files kept in $root)"; trap - EXIT; cleanup; exit 1; fi
