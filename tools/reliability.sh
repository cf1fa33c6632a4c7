#!/usr/bin/env bash
# Full disk, concurrent imports and planted links, against the built indexer on a small tmpfs.
# Usage: tools/reliability.sh [path/to/quillmap-index]   (default build/quillmap-index)
# Mounting the tmpfs needs root (CI runs as root); without it the script says so and exits 0.
# Each check prints one line; any broken promise makes the script exit 1.
set -euo pipefail
cd "$(dirname "$0")/.."
indexer=$(realpath "${1:-build/quillmap-index}")
[ -x "$indexer" ] || { echo "reliability: no indexer at $indexer, build first" >&2; exit 1; }

work=$(mktemp -d)
disk=$work/disk
mkdir -p "$disk"
if ! mount -t tmpfs -o size=6m tmpfs "$disk" 2>/dev/null; then
    echo "reliability: skipped, cannot mount a tmpfs here (needs root)"
    rm -rf "$work"
    exit 0
fi
cleanup() { umount "$disk" 2>/dev/null || umount -l "$disk" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
# The indexer registers into this folder's settings, never the user's.
export XDG_CONFIG_HOME=$work/config HOME=$work/home
mkdir -p "$XDG_CONFIG_HOME" "$HOME"

failures=0
check() { # check NAME CONDITION-STATUS
    if [ "$2" = 0 ]; then echo "ok   $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi
}

# Inputs: a study big enough that its tables take about a megabyte, and a small earlier one.
in=$work/in
mkdir -p "$in"
awk 'BEGIN { print "trait\tsnp\tp\tbeta"; for (i = 0; i < 60000; i++) printf "t%d\trs%d\t0.%d\t%d\n", i % 50, i % 3000, i % 97 + 1, i % 7 }' > "$in/results.txt"
awk 'BEGIN { print "snp\tchr\tpos"; for (s = 0; s < 3000; s++) printf "rs%d\t%d\t%d.5\n", s, s % 22 + 1, s % 200 }' > "$in/snps.txt"
awk 'BEGIN { print "trait\tdesc"; for (t = 0; t < 50; t++) printf "t%d\td%d\n", t, t }' > "$in/traits.txt"
printf 'trait\tgroup\nt1\tg1\n' > "$in/groups.txt"
awk 'BEGIN { print "gene\tchr\tstart\tend"; for (g = 0; g < 20000; g++) printf "gene%d\t%d\t%d\t%d\n", g, g % 22 + 1, g * 1000, g * 1000 + 500 }' > "$in/genes.txt"
printf 'trait\tsnp\tp\tbeta\nold\trs1\t0.5\t1\n' > "$in/old-results.txt"
printf 'snp\tchr\tpos\nrs1\t1\t1.5\n' > "$in/bad-snps.txt" # lacks most SNPs: fails a check
new_args=(--results "$in/results.txt" --snps "$in/snps.txt" --traits "$in/traits.txt"
          --groups "$in/groups.txt" --genes "$in/genes.txt" --no-register)
old_args=(--results "$in/old-results.txt" --snps "$in/snps.txt" --traits "$in/traits.txt" --no-register)
files="summary.txt IDlist.dat SNPlist.dat table1.dat ID_Line.dat table2.dat Pos_Line.dat Gene2ID.dat pos2gene.dat"

line6() { sed -n 6p "$1/summary.txt" 2>/dev/null; }
same_files() { # same_files A B: every dataset file equal (or missing in both)
    local f
    for f in $files; do
        if [ -e "$1/$f" ] || [ -e "$2/$f" ]; then cmp -s "$1/$f" "$2/$f" || return 1; fi
    done
}

"$indexer" "${old_args[@]}" --out "$work/ref-old" >/dev/null 2>&1
"$indexer" "${new_args[@]}" --out "$work/ref-new" >/dev/null 2>&1

# 1. A disk that fills up: for each amount of free space, a re-import over an earlier dataset
# either succeeds with the complete dataset (exit 0) or fails with exit 3, leaving the earlier
# dataset as it was or a folder whose summary.txt line 6 refuses it. Never exit 0 with less.
bad=0
for free in 0 2048 8192 32768 131072 524288 1048576 2097152 8388608; do
    rm -rf "$disk"/* "$disk"/.[!.]* 2>/dev/null || true
    "$indexer" "${old_args[@]}" --out "$disk/ds" >/dev/null 2>&1 || { echo "  earlier dataset did not fit"; bad=1; continue; }
    avail=$(df -B1 --output=avail "$disk" | tail -1 | tr -d ' ')
    if [ "$avail" -gt "$free" ]; then fallocate -l $((avail - free)) "$disk/filler" 2>/dev/null || true; fi
    status=0
    "$indexer" "${new_args[@]}" --out "$disk/ds" >/dev/null 2>&1 || status=$?
    if [ "$status" = 0 ]; then
        same_files "$disk/ds" "$work/ref-new" || { echo "  free $free: exit 0 but the dataset differs"; bad=1; }
    elif [ "$status" = 3 ]; then
        if ! line6 "$disk/ds" | grep -q error && ! same_files "$disk/ds" "$work/ref-old"; then
            echo "  free $free: exit 3 and a folder that reads as good but is not the earlier one"; bad=1
        fi
    else
        echo "  free $free: exit $status"; bad=1
    fi
    if ls -A "$disk/ds" | grep -q '\.tmp$'; then echo "  free $free: temporary files left behind"; bad=1; fi
done
check "full disk: complete dataset, or exit 3 with the folder refused or intact" $bad

# 2. Two imports into one folder: the second, while the first holds the folder, fails at once
# with exit 3 and touches nothing; the first then finishes. A killed import's lock is taken over.
rm -rf "$disk"/* 2>/dev/null || true
"$indexer" "${old_args[@]}" --out "$disk/busy" >/dev/null 2>&1
cp -a "$disk/busy" "$work/busy-before"
"$indexer" "${new_args[@]}" --out "$disk/busy" >/dev/null 2>&1 &
first=$!
for _ in $(seq 200); do [ -e "$disk/busy/.quillmap-import.lock" ] && break; sleep 0.01; done
kill -STOP $first 2>/dev/null || true
snapshot=$(cd "$disk/busy" && { cat $files 2>/dev/null || true; } | md5sum)
status=0
err=$("$indexer" "${old_args[@]}" --out "$disk/busy" 2>&1 >/dev/null) || status=$?
after=$(cd "$disk/busy" && { cat $files 2>/dev/null || true; } | md5sum)
kill -CONT $first 2>/dev/null || true
first_status=0
wait $first || first_status=$?
bad=0
[ "$status" = 3 ] || { echo "  second import: exit $status"; bad=1; }
echo "$err" | grep -q "another import" || { echo "  second import said: $err"; bad=1; }
[ "$snapshot" = "$after" ] || { echo "  second import touched the folder"; bad=1; }
[ "$first_status" = 0 ] && same_files "$disk/busy" "$work/ref-new" || { echo "  first import: exit $first_status or a different dataset"; bad=1; }
check "concurrent imports into one folder: the second refused at once" $bad

rm -rf "$disk"/* 2>/dev/null || true
"$indexer" "${new_args[@]}" --out "$disk/killed" >/dev/null 2>&1 &
victim=$!
for _ in $(seq 200); do [ -e "$disk/killed/.quillmap-import.lock" ] && break; sleep 0.01; done
kill -KILL $victim 2>/dev/null || true
wait $victim 2>/dev/null || true
status=0
"$indexer" "${new_args[@]}" --out "$disk/killed" >/dev/null 2>&1 || status=$?
bad=0
[ "$status" = 0 ] && same_files "$disk/killed" "$work/ref-new" || bad=1
check "a killed import's lock is taken over" $bad

# Temporary files of killed imports go with the next import into the folder. An import of this
# size leaves its temporaries for microseconds, so the ones a kill would leave are made too.
rm -rf "$disk"/* 2>/dev/null || true
bad=0
"$indexer" "${new_args[@]}" --out "$disk/litter" >/dev/null 2>&1 &
victim=$!
for _ in $(seq 2000); do [ -e "$disk/litter/.quillmap-import.lock" ] && break; done
kill -KILL $victim 2>/dev/null || true
wait $victim 2>/dev/null || true
for f in $files quillmap-results.txt; do : > "$disk/litter/.$f.k3j9x0a.tmp"; done
"$indexer" "${new_args[@]}" --out "$disk/litter" >/dev/null 2>&1 || { echo "  the next import failed"; bad=1; }
if ls -A "$disk/litter" | grep -q '\.tmp$'; then echo "  left: $(ls -A "$disk/litter" | grep '\.tmp$' | tr '\n' ' ')"; bad=1; fi
check "killed imports' temporary files removed by the next import" $bad

# Lock files nobody can hold: a FIFO, a folder, a link, an old garbage file are taken over, and
# never hang the indexer; one of another computer's process is named with how to clear it.
bad=0
for kind in fifo dir link garbage; do
    rm -rf "$disk/odd"; mkdir -p "$disk/odd"
    lock=$disk/odd/.quillmap-import.lock
    case $kind in
        fifo) mkfifo "$lock" ;;
        dir) mkdir "$lock" ;;
        link) ln -s nowhere "$lock" ;;
        garbage) printf 'zz' > "$lock"; touch -d '1 hour ago' "$lock" ;;
    esac
    status=0
    timeout 60 "$indexer" "${old_args[@]}" --out "$disk/odd" >/dev/null 2>&1 || status=$?
    [ "$status" = 0 ] || { echo "  $kind lock: exit $status"; bad=1; }
done
rm -rf "$disk/odd"; mkdir -p "$disk/odd"
printf '4242\nquillmap-index\nfarhost\n' > "$disk/odd/.quillmap-import.lock"
status=0
err=$(timeout 60 "$indexer" "${old_args[@]}" --out "$disk/odd" 2>&1 >/dev/null) || status=$?
[ "$status" = 3 ] || { echo "  another host's lock: exit $status"; bad=1; }
echo "$err" | grep -q "process 4242 on farhost.*remove $disk/odd/.quillmap-import.lock" || { echo "  said: $err"; bad=1; }
check "lock files: gone holders taken over, another host's named" $bad

# A FIFO in a dataset file's place is refused by the query tool, never waited on.
query=$(dirname "$indexer")/quillmap-query
if [ -x "$query" ]; then
    bad=0
    for f in summary.txt ID_Line.dat SNPlist.dat SNPinfo.idx; do
        rm -rf "$disk/fifo"; cp -a "$work/ref-old" "$disk/fifo"
        rm -f "$disk/fifo/$f"; mkfifo "$disk/fifo/$f"
        status=0
        timeout 60 "$query" "$disk/fifo" region 1 0 >/dev/null 2>&1 || status=$?
        [ "$status" != 124 ] || { echo "  query waited on a FIFO at $f"; bad=1; }
    done
    check "FIFOs at dataset paths refused by the query tool" $bad
fi

# A results file whose later gzip member is cut short: the import fails with exit 2 instead of
# keeping the first member's rows, and the earlier dataset is kept or refused, never half read.
bad=0
rm -rf "$disk/gz"; cp -a "$work/ref-old" "$disk/gz"
half=$(($(wc -l < "$in/results.txt") / 2))
head -n "$half" "$in/results.txt" | gzip -c > "$work/cut.txt.gz"
tail -n +"$((half + 1))" "$in/results.txt" | gzip -c > "$work/second.gz"
head -c 2000 "$work/second.gz" >> "$work/cut.txt.gz"
status=0
"$indexer" --results "$work/cut.txt.gz" --snps "$in/snps.txt" --traits "$in/traits.txt" --no-register \
    --out "$disk/gz" >/dev/null 2>&1 || status=$?
[ "$status" = 2 ] || { echo "  exit $status"; bad=1; }
same_files "$disk/gz" "$work/ref-old" || line6 "$disk/gz" | grep -q '^error' || { echo "  the folder reads as good"; bad=1; }
check "a damaged later gzip member fails the import" $bad

# A query reading a trait while its folder is imported again prints the earlier import's rows
# whole or stops with "imported again"; never old names with new values.
if [ -x "$query" ]; then
    bad=0
    mix=$work/mix
    awk 'BEGIN { print "snp\tchr\tpos"; for (s = 0; s < 100000; s++) printf "rs%d\t%d\t%d.25\n", s, s % 22 + 1, s % 200 }' > "$in/mix-snps.txt"
    printf 'trait\tdesc\nbig\tx\n' > "$in/mix-traits.txt"
    for v in a b; do
        awk -v v=$v 'BEGIN { print "trait\tsnp\tp"; for (i = 0; i < 100000; i++) printf "big\trs%d\t0.%d\n", (v == "a" ? i : 99999 - i), i % 97 + 1 }' > "$in/mix-$v.txt"
    done
    mix_args=(--snps "$in/mix-snps.txt" --traits "$in/mix-traits.txt" --no-register --out "$mix")
    "$indexer" --results "$in/mix-a.txt" "${mix_args[@]}" >/dev/null 2>&1 || bad=1
    "$query" "$mix" trait big > "$work/mix-a.out" 2>/dev/null || bad=1
    # The reader blocks on a full pipe after its first rows, while the import runs.
    { "$query" "$mix" trait big 2> "$work/mix.err"; echo $? > "$work/mix.status"; } | { sleep 2; cat > "$work/mix.out"; } &
    reader=$!
    sleep 0.5
    "$indexer" --results "$in/mix-b.txt" "${mix_args[@]}" >/dev/null 2>&1 || { echo "  re-import failed"; bad=1; }
    wait "$reader"
    if [ "$(cat "$work/mix.status")" = 0 ]; then
        cmp -s "$work/mix.out" "$work/mix-a.out" || { echo "  the reader printed a mix"; bad=1; }
    else
        grep -q "imported again" "$work/mix.err" || { echo "  the reader said: $(cat "$work/mix.err")"; bad=1; }
    fi
    check "a reader during a re-import sees one import whole" $bad
fi

# Twelve imports into twelve folders at once all register.
pids=()
for i in $(seq 12); do
    "$indexer" --results "$in/old-results.txt" --snps "$in/snps.txt" --traits "$in/traits.txt" \
        --out "$work/many/$i" >/dev/null 2>&1 &
    pids+=($!)
done
bad=0
for pid in "${pids[@]}"; do wait "$pid" || bad=1; done
registered=$({ grep -o "$work/many/[0-9]*" "$XDG_CONFIG_HOME/Diravizi/Quillmap.conf" || true; } | sort -u | wc -l)
[ "$registered" = 12 ] || { echo "  $registered of 12 registered"; bad=1; }
check "twelve simultaneous imports all registered" $bad

# 3. Links planted in the dataset folder: neither a failing nor a good import writes through them.
rm -rf "$disk"/* 2>/dev/null || true
mkdir -p "$disk/links" "$work/victims"
for f in $files; do
    echo precious > "$work/victims/$f"
    ln -s "$work/victims/$f" "$disk/links/$f"
done
bad=0
status=0
"$indexer" --results "$in/results.txt" --snps "$in/bad-snps.txt" --traits "$in/traits.txt" \
    --no-register --out "$disk/links" >/dev/null 2>&1 || status=$?
[ "$status" = 1 ] || { echo "  failing import: exit $status"; bad=1; }
"$indexer" "${new_args[@]}" --out "$disk/links" >/dev/null 2>&1 || { echo "  good import failed"; bad=1; }
for f in $files; do
    [ "$(cat "$work/victims/$f")" = precious ] || { echo "  $f written through its link"; bad=1; }
    if [ -L "$disk/links/$f" ]; then echo "  $f is still a link"; bad=1; fi
done
same_files "$disk/links" "$work/ref-new" || { echo "  the dataset differs"; bad=1; }
check "planted links replaced, never written through" $bad

[ "$failures" = 0 ] || { echo "reliability: $failures check(s) failed"; exit 1; }
echo "reliability: all checks passed"
