#!/usr/bin/env bash
# Benchmarks of the three programs against general-purpose peers, measured
# side by side in one run: instructions of the whole process (callgrind),
# median wall time (hyperfine, no shell), peak memory (/usr/bin/time).
#
#   bash bench/bench.sh [runs]
#
# Builds the release configuration, installs the peers it needs, and prints
# a Markdown table. Ratio is the peer's figure over ours (above 1: ours is
# cheaper), for instructions and time.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-30}

export DEBIAN_FRONTEND=noninteractive
need=()
command -v valgrind >/dev/null || need+=(valgrind)
command -v srec_cat >/dev/null || need+=(srecord)
command -v hyperfine >/dev/null || need+=(hyperfine)
[[ -x /usr/bin/time ]] || need+=(time)
command -v objcopy >/dev/null || need+=(binutils)
if ((${#need[@]})); then
    apt-get update -qq && apt-get install -y -qq "${need[@]}" >/dev/null
fi

cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
cmake --build --preset release --target empty_program >/dev/null
bin=$PWD/build/release
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Inputs: the HEX file of a full 32 KB ROM (2,048 records of 16 bytes and an
# end-of-file record), a 100 MB HEX file that sweeps the address space again
# and again, a 512-byte boot sector, a 720 KB and a 3 GiB sparse image, and
# a sparse 1 GiB source with a 2 GiB image for a copy of 1 GiB.
hex_lines() {  # first address, last address (exclusive), seed
    awk -v first="$1" -v last="$2" -v seed="$3" 'BEGIN {
        srand(seed)
        for (a = first; a < last; a += 16) {
            line = sprintf(":10%04X00", a); sum = 16 + int(a / 256) + a % 256
            for (i = 0; i < 16; i++) { b = int(rand() * 256); sum += b; line = line sprintf("%02X", b) }
            printf "%s%02X\n", line, (256 - sum % 256) % 256
        }
    }'
}
hex_lines 16384 49152 1 > full.hex
echo ":00000001FF" >> full.hex
hex_lines 0 65536 2 > sweep.hex
: > big.hex
while (( $(stat -c %s big.hex) < 100 * 1024 * 1024 )); do cat sweep.hex sweep.hex sweep.hex sweep.hex >> big.hex; done
echo ":00000001FF" >> big.hex
head -c 512 /dev/urandom > boot.bin
"$bin/dimblank/dimblank" small.img
truncate -s 3G huge.img
truncate -s 1G gib.bin
truncate -s 2G copy.img
srec_args=(-crop 0x4000 0xC000 -offset -0x4000 -fill 0x00 0x0000 0x8000)

instructions() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
        awk '/refs:/ { gsub(",", "", $NF); print $NF }'
}
median_ms() {
    hyperfine -N --warmup 3 --runs "${case_runs:-$runs}" --export-csv times.csv "$1" >/dev/null 2>&1
    awk -F, 'NR == 2 { printf "%.3f", $4 * 1000 }' times.csv
}
peak_kib() {
    /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1
}

declare -A ours_instructions ours_ms
row() {  # case, label, with-instructions (yes/no), command...
    local case=$1 label=$2 count=$3
    shift 3
    local command="$*" ir="-" ms kib ratio="ours"
    if [[ $count == yes ]]; then ir=$(instructions "$@"); fi
    ms=$(median_ms "$command")
    kib=$(peak_kib "$@")
    if [[ -z ${ours_ms[$case]:-} ]]; then
        ours_instructions[$case]=$ir
        ours_ms[$case]=$ms
    else
        ratio=$(awk -v a="$ir" -v b="${ours_instructions[$case]}" -v c="$ms" -v d="${ours_ms[$case]}" \
            'BEGIN { if (a != "-" && b != "-") printf "%.1fx instr, ", a / b; printf "%.1fx time", c / d }')
    fi
    printf '| %s | %s | %s | %s | %s | %s |\n' "$case" "$label" "$ir" "$ms" "$kib" "$ratio"
}

echo "| case | program | instructions | median ms | peak KiB | peer / ours |"
echo "|---|---|---:|---:|---:|---|"
row "empty program, built as ours" "empty" yes "$bin/empty_program"
row "HEX of a full 32 KB ROM" "hexburn" yes "$bin/hexburn/hexburn" full.hex out.rom
row "HEX of a full 32 KB ROM" "objcopy -I ihex -O binary" yes objcopy -I ihex -O binary full.hex out.bin
row "HEX of a full 32 KB ROM" "srec_cat" yes srec_cat full.hex -intel "${srec_args[@]}" -o out.srec -binary
row "100 MB HEX file" "hexburn" no "$bin/hexburn/hexburn" big.hex out.rom
row "100 MB HEX file" "objcopy -I ihex -O binary" no objcopy -I ihex -O binary big.hex out.bin
row "100 MB HEX file" "srec_cat -multiple" no srec_cat -multiple big.hex -intel "${srec_args[@]}" -o out.srec -binary
row "512 bytes into a 720 KB image" "dimpatch" yes "$bin/dimpatch/dimpatch" small.img boot.bin -sector 5
row "512 bytes into a 720 KB image" "dd conv=notrunc" yes dd if=boot.bin of=small.img bs=512 seek=5 conv=notrunc status=none
row "512 bytes into a 3 GiB sparse image" "dimpatch" yes "$bin/dimpatch/dimpatch" huge.img boot.bin -sector 6000000
row "512 bytes into a 3 GiB sparse image" "dd conv=notrunc" yes dd if=boot.bin of=huge.img bs=512 seek=6000000 conv=notrunc status=none
case_runs=5
row "1 GiB copy between sparse files" "dimpatch" no "$bin/dimpatch/dimpatch" copy.img gib.bin -size 1073741824
row "1 GiB copy between sparse files" "dd conv=notrunc bs=1M" no dd if=gib.bin of=copy.img bs=1M count=1024 conv=notrunc status=none
unset case_runs
row "blank 720 KB image" "dimblank" yes "$bin/dimblank/dimblank" blank.img
row "blank 720 KB image" "dd if=/dev/zero" yes dd if=/dev/zero of=blank.img bs=512 count=1440 status=none
row "blank 720 KB image" "head -c" yes sh -c "head -c 737280 /dev/zero > blank.img"

size=$(stat -c %s big.hex)
ms=${ours_ms["100 MB HEX file"]}
awk -v size="$size" -v ms="$ms" 'BEGIN {
    printf "\nhexburn on the %d-byte HEX file: %.2f GB/s (median, warm page cache)\n", size, size / (ms / 1000) / 1e9 }'
