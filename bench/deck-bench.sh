#!/bin/bash
# The deck tool's figures, each against a peer measured in the same run on the same file:
#   import_mb_s, import_ratio      import of a 1,048,576-card UTF-8 TSV, against
#                                  `iconv -f UTF-8 -t UTF-16LE` of the same file (ratio =
#                                  iconv's time / import's time; target >= 0.5)
#   import_csv_ratio               the same for the same cards as a CSV that quotes every
#                                  field (with a comma and doubled quotes in each question):
#                                  the CSV reader's path (target >= 0.5)
#   check_ratio                    check of the imported 1M-card UTF-16 deck, against `wc -l`
#                                  of the same file (target >= 0.5)
#   import_peak_rss_mib, check_peak_rss_mib   peak resident memory of the tool (GNU time)
# Each time is the best of 3 runs. The files lie in /dev/shm where there is one, so that both
# peers of a pair are measured on the CPU rather than on the disk (import syncs its output
# before the rename). Usage: bench/deck-bench.sh TOLLAMY-DECK
set -euo pipefail
tool="$1"
tmp=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && tmp=/dev/shm
work="$(mktemp -d "$tmp/deck-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT
python3 - "$work/cards.tsv" "$work/cards.csv" <<'PY'
import sys
with open(sys.argv[1], "w", encoding="utf-8", newline="\n") as f, \
        open(sys.argv[2], "w", encoding="utf-8", newline="\n") as g:
    for i in range(1048576):
        question = f"Question {i}: what is the capital of country n\u00b0{i % 997}?"
        answer = f"City {i} on the river {i % 89}"
        f.write(f"{question}\t{answer}\n")
        g.write(f'"{question}, or ""{i}""?","{answer}"\n')
PY
now() { date +%s%N; }
# best_of3 VAR COMMAND...: the best wall time in seconds of three runs into $VAR.
best_of3() {
    local var="$1" best="" t0 t1 run
    shift
    for run in 1 2 3; do
        t0=$(now)
        "$@"
        t1=$(now)
        if [ -z "$best" ] || [ $((t1 - t0)) -lt "$best" ]; then best=$((t1 - t0)); fi
    done
    printf -v "$var" '%s' "$(awk -v ns="$best" 'BEGIN { printf "%.4f", ns / 1e9 }')"
}
# peak_rss_mib COMMAND...: the peak resident memory of one run, in MiB.
peak_rss_mib() {
    /usr/bin/time -f %M -o "$work/rss" "$@" >/dev/null 2>&1
    awk '{ printf "%.1f", $1 / 1024 }' "$work/rss"
}
tsv_bytes=$(stat -c %s "$work/cards.tsv")

run_iconv() { iconv -f UTF-8 -t UTF-16LE "$work/cards.tsv" >"$work/iconv.out"; }
run_import() { "$tool" import "$work/cards.tsv" -o "$work/deck.txt" --force 2>/dev/null; }
run_iconv_csv() { iconv -f UTF-8 -t UTF-16LE "$work/cards.csv" >"$work/iconv.out"; }
run_import_csv() { "$tool" import "$work/cards.csv" -o "$work/csv-deck.txt" --force 2>/dev/null; }
run_wc() { wc -l "$work/deck.txt" >/dev/null; }
run_check() { "$tool" check "$work/deck.txt" >/dev/null 2>&1; }

best_of3 iconv_s run_iconv
best_of3 import_s run_import
best_of3 iconv_csv_s run_iconv_csv
best_of3 import_csv_s run_import_csv
cards=$("$tool" check "$work/deck.txt" 2>/dev/null | awk '{ print $1 }')
best_of3 wc_s run_wc
best_of3 check_s run_check
import_rss=$(peak_rss_mib "$tool" import "$work/cards.tsv" -o "$work/deck.txt" --force)
check_rss=$(peak_rss_mib "$tool" check "$work/deck.txt")

awk -v b="$tsv_bytes" -v s="$import_s" 'BEGIN { printf "import_mb_s %.1f\n", b / s / 1e6 }'
echo "import_cards $cards"
echo "iconv_s $iconv_s"
echo "import_s $import_s"
awk -v i="$iconv_s" -v s="$import_s" 'BEGIN { printf "import_ratio %.2f\n", i / s }'
echo "iconv_csv_s $iconv_csv_s"
echo "import_csv_s $import_csv_s"
awk -v i="$iconv_csv_s" -v s="$import_csv_s" 'BEGIN { printf "import_csv_ratio %.2f\n", i / s }'
echo "wc_s $wc_s"
echo "check_s $check_s"
awk -v w="$wc_s" -v s="$check_s" 'BEGIN { printf "check_ratio %.2f\n", w / s }'
echo "import_peak_rss_mib $import_rss"
echo "check_peak_rss_mib $check_rss"
