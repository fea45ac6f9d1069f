#!/usr/bin/env bash
# Whole-run benchmark: a complete match of N generated German person records (veldrona-sample,
# fixed seed) with the shipped set Privatadressen, straight from the CSV as a user runs it, and in
# the same run GNU sort of the same CSV on postal code and surname with the same memory.
#
#   bench/whole_run.sh [--build DIR] [--work DIR] [--memory MB] [--seed S] [N ...]
#
# Defaults: build folder "build", work folder /tmp/veldrona-whole-run, 256 MB (the default of
# veldrona-match), seed 11, N = 1000000 10000000. Prints one line per N: wall time, processor
# time and peak memory (RSS) of the match and of sort, records per second, comparisons made, the
# ratio of the match to sort (wall), and the match's time per n·log2(n) relative to the first N
# (1.00 = grows as n log n). The generated files are kept in the work folder (delete it
# afterwards).
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
work=/tmp/veldrona-whole-run
memory=256
seed=11
sizes=()
while (($#)); do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --memory) memory=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    *) sizes+=("$1"); shift ;;
  esac
done
((${#sizes[@]})) || sizes=(1000000 10000000)

bin=$build/bin
for p in veldrona-sample veldrona-match; do
  [[ -x $bin/$p ]] || { echo "Fehler: $bin/$p fehlt; bitte zuerst bauen." >&2; exit 2; }
done
[[ -x /usr/bin/time ]] || { echo "Fehler: /usr/bin/time fehlt (Paket time)." >&2; exit 2; }
par=$(realpath "$bin/Params/Privatadressen.par")
mkdir -p "$work"

# Runs a command under /usr/bin/time; sets wall and cpu (user + system, seconds) and rss (MB).
# On a busy machine compare the processor times: the wall times then also count the others.
measure() {
  local stats=$work/time.txt user system
  /usr/bin/time -o "$stats" -f "%e %U %S %M" "$@" >/dev/null
  read -r wall user system rss_kb <"$stats"
  cpu=$(awk -v u="$user" -v s="$system" 'BEGIN {printf "%.2f", u + s}')
  rss=$((rss_kb / 1024))
}

printf '%-10s %9s %9s %8s %11s %12s %9s %9s %8s %7s %9s\n' Sätze Abgleich CPU RSS Sätze/s \
  Vergleiche sort CPU RSS Faktor "n log n"
first_unit=""
for n in "${sizes[@]}"; do
  dir=$work/n$n
  mkdir -p "$dir"
  if [[ ! -s $dir/stichprobe.csv ]]; then
    "$bin/veldrona-sample" --anzahl "$n" --seed "$seed" --formate csv "$dir" >/dev/null
  fi
  # Columns of the generated CSV: Nr;Anrede;Titel;Vorname;Nachname;Straße;PLZ;Ort.
  measure env LC_ALL=C sort -t';' -k7,7 -k5,5 -S "${memory}M" -T "$dir" \
    -o "$dir/sortiert.csv" "$dir/stichprobe.csv"
  sort_wall=$wall sort_cpu=$cpu sort_rss=$rss
  rm -f "$dir/sortiert.csv"

  rm -rf "$dir/ergebnis"
  measure "$bin/veldrona-match" --quiet --memory "$memory" --params "$par" \
    --source "$dir/stichprobe.csv" --out "$dir/ergebnis"
  comparisons=$(awk -F: '/^ *Vergleiche:/ {gsub(/ /, "", $2); print $2; exit}' \
    "$dir/ergebnis/privat.log")
  rm -rf "$dir/ergebnis"

  unit=$(awk -v t="$wall" -v n="$n" 'BEGIN {printf "%.6g", t / (n * log(n) / log(2))}')
  [[ -n $first_unit ]] || first_unit=$unit
  awk -v n="$n" -v t="$wall" -v p="$cpu" -v r="$rss" -v c="$comparisons" -v st="$sort_wall" \
    -v sp="$sort_cpu" -v sr="$sort_rss" -v u="$unit" -v u0="$first_unit" 'BEGIN {
      printf "%-10d %8.2fs %8.2fs %6dMB %11.0f %12s %8.2fs %8.2fs %6dMB %7.2f %9.2f\n",
             n, t, p, r, n / t, c, st, sp, sr, t / st, u / u0 }'
done
