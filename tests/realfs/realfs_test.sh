#!/bin/bash
# Mounts ext4 images of known size and fill, a tmpfs, a bind mount, a btrfs
# with two subvolumes, a mount covered by a later one, a tmpfs at a mount
# point with a tab, newline, space and backslash and (when FUSE works) a
# filesystem whose statfs stalls or reports more than 2^64 bytes, all in a
# private mount namespace, and checks morvalen-drives and the survey against
# statvfs: with few descriptors too, and while a filesystem is mounted and
# unmounted over and over.
#
# usage: realfs_test.sh MORVALEN_DRIVES SURVEY_PROBE [STALLFS]
# Exit 0 on success, 1 on a failed check, 77 when the machine does not allow
# the test (not root, no unshare -m, no loop devices, no mkfs.ext4).
set -u

skip() {
    echo "SKIPPED: $*"
    exit 77
}
fail() {
    echo "FAILED: $*"
    FAILED=1
}

if [ "${1:-}" != "--inside" ]; then
    [ $# -ge 2 ] || { echo "usage: $0 MORVALEN_DRIVES SURVEY_PROBE [STALLFS]"; exit 2; }
    [ "$(id -u)" -eq 0 ] || skip "real filesystems need root"
    for tool in unshare mount umount losetup mkfs.ext4 stat df fallocate; do
        command -v $tool >/dev/null 2>&1 || skip "$tool is not installed"
    done
    unshare -m --propagation private true 2>/dev/null || skip "unshare -m is not allowed here"
    losetup -f >/dev/null 2>&1 || skip "no free loop device"
    exec unshare -m --propagation private "$0" --inside "$@"
fi
shift
DRIVES=$1
PROBE=$2
STALLFS=${3:-}
FAILED=0

W=$(mktemp -d /tmp/morvalen-realfs.XXXXXX)
mount -t tmpfs -o size=256m tmpfs "$W" || skip "cannot mount a tmpfs"
M=$W/m
ODD=$M/$'odd\tname\nwith space\\'
mkdir -p "$M/full" "$M/most" "$M/ram" "$M/twice" "$M/zz" "$M/bt-a" "$M/bt-b" "$M/cover/q" "$ODD" "$W/img" \
    "$M/race" "$M/huge"
for i in 1 2 3 4 5; do mkdir -p "$M/stall$i"; done

STALL_PIDS=()
RACE_PID=
RACE_LOOP=
cleanup() {
    for pid in "${STALL_PIDS[@]}"; do kill -KILL "$pid" 2>/dev/null; done
    [ -n "$RACE_PID" ] && kill "$RACE_PID" 2>/dev/null && wait "$RACE_PID" 2>/dev/null
    umount -l "$M/race" 2>/dev/null
    [ -n "$RACE_LOOP" ] && losetup -d "$RACE_LOOP" 2>/dev/null
    umount -l "$ODD" 2>/dev/null
    for d in huge stall1 stall2 stall3 stall4 stall5 cover cover/q bt-b bt-a zz twice ram most full; do umount -l "$M/$d" 2>/dev/null; done
    umount -l "$W" 2>/dev/null
    rmdir "$W" 2>/dev/null
}
trap cleanup EXIT

make_ext4() {  # name size
    truncate -s "$2" "$W/img/$1.img"
    mkfs.ext4 -q -F -m 0 -b 4096 "$W/img/$1.img" || skip "mkfs.ext4 failed"
    mount -o loop "$W/img/$1.img" "$M/$1" || skip "cannot mount a loop device"
}
make_ext4 full 48M
make_ext4 most 64M
make_ext4 zz 16M
mount -t tmpfs -o size=16m tmpfs "$M/ram"
mount --bind "$M/most" "$M/twice"
mount -t tmpfs -o size=1m tmpfs "$ODD"

# Two subvolumes of one btrfs: one filesystem, one letter.
BTRFS=
if command -v mkfs.btrfs >/dev/null && command -v btrfs >/dev/null; then
    truncate -s 128M "$W/img/bt.img"
    mkdir -p "$W/bt-top"
    if mkfs.btrfs -q -f "$W/img/bt.img" >/dev/null 2>&1 && mount -o loop "$W/img/bt.img" "$W/bt-top" 2>/dev/null; then
        btrfs -q subvolume create "$W/bt-top/@a" >/dev/null && btrfs -q subvolume create "$W/bt-top/@b" >/dev/null &&
            umount "$W/bt-top" && mount -o loop,subvol=@a "$W/img/bt.img" "$M/bt-a" &&
            mount -o loop,subvol=@b "$W/img/bt.img" "$M/bt-b" && BTRFS=1
    fi
fi

# A mount whose mount point a later mount above it covers.
mount -t tmpfs -o size=1m tmpfs "$M/cover/q"
mount -t tmpfs -o size=1m tmpfs "$M/cover"

# Fill "full" to the last block and "most" to about 92 %. ext4 may hold a
# block back for data not yet written out and give it back once it is, so
# "full" is topped up again after each sync until none is left.
dd if=/dev/zero of="$M/full/fill" bs=64k 2>/dev/null
for pass in 1 2 3 4; do
    sync
    [ "$(stat -f -c %a "$M/full")" = 0 ] && break
    for i in $(seq 64); do dd if=/dev/zero of="$M/full/tail$pass-$i" bs=4k count=1 2>/dev/null || break; done
done
read -r frag blocks avail < <(stat -f -c '%S %b %a' "$M/most")
fill=$(( (avail - blocks * 8 / 100) * frag ))
fallocate -l "$fill" "$M/most/fill" || fail "cannot fill the 92% image"
sync

OUT=$("$DRIVES")
rc=$?
[ $rc -eq 0 ] || fail "morvalen-drives exited with $rc"
echo "$OUT"

# The tool writes its fields with the mount table's escapes (\011 tab, \012
# newline, \040 space, \134 backslash); the checks compare decoded text.
DECODE='function decode(s,   out, i) {
    out = ""
    while ((i = index(s, "\\")) > 0) {
        out = out substr(s, 1, i - 1) sprintf("%c", substr(s, i + 1, 1) * 64 + substr(s, i + 2, 1) * 8 + substr(s, i + 3, 1))
        s = substr(s, i + 4)
    }
    return out s
}'
field() {  # mount point, column -> the column of the line for that mount point
    LC_ALL=C awk -F'\t' -v mp="$1" -v col="$2" "$DECODE"'
        decode($7) == mp { printf "%s\n", decode($col) }' <<<"$OUT"
}

check_sizes() {  # mount point
    local mp=$1 frag blocks avail total free
    read -r frag blocks avail < <(stat -f -c '%S %b %a' "$mp")
    total=$(field "$mp" 3)
    free=$(field "$mp" 4)
    [ "$total" = $((frag * blocks)) ] || fail "$mp: total $total, statvfs says $((frag * blocks))"
    [ "$free" = $((frag * avail)) ] || fail "$mp: free $free, statvfs says $((frag * avail))"
    echo "$mp: total $total free $free used $(( (total - free) * 100 / total ))%"
}

[ "$(field "$M/full" 2)" = fixed ] || fail "the full image is not a fixed drive"
[ "$(field "$M/most" 2)" = fixed ] || fail "the 92% image is not a fixed drive"
[ "$(field "$M/ram" 2)" = ramdisk ] || fail "the tmpfs is not a RAM disk"
[ "$(field "$M/ram" 3)" = - ] || fail "the tmpfs was queried"
[ "$(field "$M/twice" 2)" = same ] || fail "the bind mount is not listed as the 92% image's filesystem"
[ "$(field "$M/twice" 1)" = "$(field "$M/most" 1)" ] || fail "the bind mount is not under the 92% image's letter"
[ -z "$(field "$M/cover/q" 1)" ] || fail "the covered mount got a letter"
[ "$(field "$M/cover" 2)" = ramdisk ] || fail "the covering tmpfs is not a RAM disk"
[ "$(field "$ODD" 2)" = ramdisk ] || fail "the mount point with a tab, newline, space and backslash is lost"
[ "$(printf '%s\n' "$OUT" | wc -l)" = "$(printf '%s\n' "$OUT" | awk -F'\t' 'NF == 7' | wc -l)" ] ||
    fail "a line without exactly seven fields"
if [ -n "$BTRFS" ]; then
    [ "$(field "$M/bt-a" 2)" = fixed ] || fail "the first btrfs subvolume is not a fixed drive"
    [ "$(field "$M/bt-b" 2)" = same ] || fail "the second btrfs subvolume is not listed as the same filesystem"
    [ "$(field "$M/bt-b" 1)" = "$(field "$M/bt-a" 1)" ] || fail "the btrfs subvolumes have different letters"
    check_btrfs=1
else
    echo "SKIPPED the btrfs check: cannot make or mount a btrfs (btrfs-progs)"
fi
[ "$(field / 1)" = "C:" ] || fail "/ is not C:"
full_letter=$(field "$M/full" 1)
most_letter=$(field "$M/most" 1)
[[ "$full_letter" < "$most_letter" ]] || fail "letters not in mount point order: $full_letter $most_letter"
check_sizes "$M/full"
check_sizes "$M/most"
[ "$(field "$M/full" 4)" = 0 ] || fail "the full image has free space"
used=$(( ($(field "$M/most" 3) - $(field "$M/most" 4)) * 100 / $(field "$M/most" 3) ))
[ $used -ge 91 ] && [ $used -le 93 ] || fail "the 92% image is $used% used"

# Every fixed drive agrees with df -B1 (the busy root may move a little
# between the two reads, so its free bytes get some slack).
while IFS=$'\t' read -r letter type total free fstype dev mp; do
    [ "$type" = fixed ] || [ "$type" = removable ] || continue
    [ "$total" = - ] && continue
    mp=$(printf '%b' "${mp//\\/\\0}")
    read -r dtotal dfree < <(df -B1 --output=size,avail "$mp" | tail -1)
    [ "$total" = "$dtotal" ] || fail "$letter $mp: total $total, df says $dtotal"
    diff=$(( free > dfree ? free - dfree : dfree - free ))
    [ $diff -le $((64 << 20)) ] || fail "$letter $mp: free $free, df says $dfree"
done <<<"$OUT"

# The survey keeps the images with their sizes in MB.
PROBED=$("$PROBE")
echo "$PROBED"
base_ms=$(awk '/^elapsed_ms/ { print $2 }' <<<"$PROBED")
grep -q "^${full_letter%:} 48 0 3\$" <<<"$PROBED" || grep -q "^${full_letter%:} 4[0-9] 0 3\$" <<<"$PROBED" ||
    fail "the survey lacks the full image"
grep -q "^${most_letter%:} " <<<"$PROBED" || fail "the survey lacks the 92% image"
# Each filesystem counts once toward the totals: one record per lettered
# drive that answered, the btrfs's letter among them once.
records=$(grep -c '^[C-Z] ' <<<"$PROBED")
answered=$(awk -F'\t' '($2 == "fixed" || $2 == "removable") && $3 != "-"' <<<"$OUT" | wc -l)
[ "$records" = "$answered" ] || fail "the survey has $records records for $answered drives"
if [ -n "${check_btrfs:-}" ]; then
    bt_letter=$(field "$M/bt-a" 1)
    [ "$(grep -c "^${bt_letter%:} " <<<"$PROBED")" = 1 ] || fail "the btrfs is not one survey record"
fi

# Five filesystems whose statfs hangs, sorting before a healthy image, cost
# the survey one deadline and no record but their own.
stall_conn() {  # mount point -> its FUSE connection in sysfs (named by device number)
    awk -v mp="$1" '$5 == mp { split($3, d, ":"); print d[1] * 1048576 + d[2] }' /proc/self/mountinfo
}
waiting_total() {  # requests waiting on all the stalled connections
    local total=0 i
    for i in 1 2 3 4 5; do
        total=$((total + $(cat "/sys/fs/fuse/connections/$(stall_conn "$M/stall$i")/waiting")))
    done
    echo $total
}
if [ -n "$STALLFS" ] && [ -c /dev/fuse ]; then
    for i in 1 2 3 4 5; do
        STALLFS_SECONDS=10 "$STALLFS" -f "$M/stall$i" &
        STALL_PIDS+=($!)
    done
    for _ in $(seq 50); do
        [ "$(grep -c " $M/stall[1-5] " /proc/self/mountinfo)" = 5 ] && break
        sleep 0.1
    done
    if [ "$(grep -c " $M/stall[1-5] " /proc/self/mountinfo)" = 5 ]; then
        mountpoint -q /sys/fs/fuse/connections || mount -t fusectl fusectl /sys/fs/fuse/connections
        PROBED=$("$PROBE")
        echo "$PROBED"
        ms=$(awk '/^elapsed_ms/ { print $2 }' <<<"$PROBED")
        # That left one request stuck on each; later runs add none.
        echo "requests waiting on the stalled filesystems: $(waiting_total)"
        [ "$(waiting_total)" = 5 ] || fail "$(waiting_total) requests wait on the five stalled filesystems"
        OUT=$("$DRIVES")
        echo "$OUT"
        [ "$(waiting_total)" = 5 ] || fail "morvalen-drives queued more requests on the stalled filesystems"
        for i in 1 2 3 4 5; do
            [ "$(field "$M/stall$i" 3)" = - ] || fail "the stalled filesystem $i answered"
            l=$(field "$M/stall$i" 1)
            grep -q "^${l%:} " <<<"$PROBED" && fail "the stalled filesystem $l has a record"
        done
        check_sizes "$M/zz"
        zz_letter=$(field "$M/zz" 1)
        grep -q "^${zz_letter%:} 1[0-9] " <<<"$PROBED" || fail "the survey lost the image after the stalled ones"
        grep -q "^${most_letter%:} " <<<"$PROBED" || fail "the survey lost the 92% image"
        # The statfs sleeps 10 s; the survey gives up after 250 ms. Leave room
        # for a busy machine, but not for waiting the stall out.
        echo "survey: $base_ms ms before, $ms ms with five stalled filesystems"
        [ $((ms - base_ms)) -le 700 ] || fail "the stalled filesystems held the survey up for $((ms - base_ms)) ms"
    else
        echo "SKIPPED the stall check: FUSE mounts did not come up"
    fi
else
    echo "SKIPPED the stall check: no FUSE"
fi

# With no process left for the space helper (nor a thread), the queries
# run in the process: the same figures, no drive lost. (An unprivileged
# user, whom the limit binds; no leak check, whose thread the limit forbids.)
# The tool runs from a copy in the scratch tmpfs: nobody may not reach the
# build tree (a checkout under a 0700 home).
if command -v setpriv >/dev/null && getent passwd nobody >/dev/null && getent group nogroup >/dev/null; then
    mkdir -m 755 "$W/bin" && cp "$DRIVES" "$W/bin/morvalen-drives" && chmod 755 "$W" ||
        fail "cannot copy morvalen-drives for nobody"
    FEW=$(ASAN_OPTIONS=detect_leaks=0 setpriv --reuid=nobody --regid=nogroup --clear-groups \
        bash -c 'ulimit -u 1 && exec "$0"' "$W/bin/morvalen-drives")
    for mp in "$M/full" "$M/most"; do
        got=$(LC_ALL=C awk -F'\t' -v mp="$mp" '$7 == mp { print $3, $4 }' <<<"$FEW")
        [ "$got" = "$(field "$mp" 3) $(field "$mp" 4)" ] || fail "$mp with no process to spare: $got"
    done
else
    echo "SKIPPED the check without processes: no setpriv, user nobody or group nogroup"
fi

# A filesystem of 2^52 + 256 blocks of 4 KiB (past 2^64 bytes) saturates
# instead of wrapping to 1 MB: in the tool and in the survey's 32-bit MB.
if [ -n "$STALLFS" ] && [ -c /dev/fuse ]; then
    STALLFS_MS=0 STALLFS_BLOCKS=$(((1 << 52) + 256)) "$STALLFS" -f "$M/huge" &
    STALL_PIDS+=($!)
    for _ in $(seq 50); do
        grep -q " $M/huge " /proc/self/mountinfo && break
        sleep 0.1
    done
    if grep -q " $M/huge " /proc/self/mountinfo; then
        OUT=$("$DRIVES")
        [ "$(field "$M/huge" 3) $(field "$M/huge" 4)" = "18446744073709551615 2048000" ] ||
            fail "the 2^64-byte filesystem: total $(field "$M/huge" 3), free $(field "$M/huge" 4)"
        huge_letter=$(field "$M/huge" 1)
        PROBED=$("$PROBE")
        grep -q "^${huge_letter%:} 4294967295 2 3\$" <<<"$PROBED" ||
            fail "the survey's record of the 2^64-byte filesystem: $(grep "^${huge_letter%:} " <<<"$PROBED")"
        umount -l "$M/huge"
    else
        echo "SKIPPED the overflow check: the FUSE mount did not come up"
    fi
else
    echo "SKIPPED the overflow check: no FUSE"
fi

# A filesystem mounted and unmounted over and over while the tool runs: a
# query that meets the directory underneath instead of the mount the table
# named fails; it never answers with the underlying tmpfs's figures.
truncate -s 32M "$W/img/race.img"
mkfs.ext4 -q -F -m 0 -b 4096 "$W/img/race.img" || skip "mkfs.ext4 failed"
RACE_LOOP=$(losetup -f --show "$W/img/race.img") || skip "no free loop device"
mount "$RACE_LOOP" "$M/race" || skip "cannot mount a loop device"
race_total=$(stat -f -c '%S %b' "$M/race" | awk '{ print $1 * $2 }')
umount "$M/race"
(while :; do mount "$RACE_LOOP" "$M/race" && umount "$M/race"; done) 2>/dev/null &
RACE_PID=$!
runs=0 seen=0 answered=0 wrong=0
end=$((SECONDS + 5))
for _ in $(seq 200); do
    [ $SECONDS -lt $end ] || break
    OUT=$("$DRIVES")
    runs=$((runs + 1))
    total=$(field "$M/race" 3)
    [ -n "$total" ] || continue
    seen=$((seen + 1))
    [ "$total" = - ] && continue
    answered=$((answered + 1))
    [ "$total" = "$race_total" ] || wrong=$((wrong + 1))
done
kill "$RACE_PID" && wait "$RACE_PID" 2>/dev/null
RACE_PID=
umount -l "$M/race" 2>/dev/null
losetup -d "$RACE_LOOP"
RACE_LOOP=
echo "mount/unmount loop, $runs runs: listed in $seen, answered in $answered, another filesystem's figures in $wrong"
[ $wrong -eq 0 ] || fail "$wrong runs showed another filesystem's figures for the unmounted drive"
[ $seen -gt 0 ] || echo "SKIPPED the unmount race check: the loop never showed its mount to the tool"

[ $FAILED -eq 0 ] && echo "realfs: all checks passed"
exit $FAILED
