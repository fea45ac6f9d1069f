#!/usr/bin/env bash
# Builds the product and runs its main job on bundled sample data: a generated file of 10,000
# German person addresses with known duplicates, matched with the shipped set
# "Privatadressen". Installs missing packages first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2

bin=build/bin
work=build/beispiel
rm -rf "$work"
mkdir -p "$work"

echo
echo "== Beispieldaten: 10.000 Personenadressen mit bekannten Dubletten"
"$bin/veldrona-sample" --anzahl 10000 --formate csv,wahrheit "$work"

echo
echo "== Dublettensuche mit dem Parametersatz Privatadressen"
"$bin/veldrona-match" --quiet --params "$bin/Params/Privatadressen.par" \
  --source "$work/stichprobe.csv" --out "$work/ergebnis" --result-csv "$work/ergebnis.csv"

echo
echo "== Die ersten Dublettengruppen"
# The result CSV is in input order; its groups are numbered in the order of the duplicate list.
awk -F';' '
  { sub(/\r$/, "") }
  NR == 1 {
    for (i = 1; i <= NF; ++i) column[$i] = i
    next
  }
  $4 != "" && $4 <= 5 {
    line = sprintf("%-8s %-22s %-22s %-32s %s %s", $5, $column["Vorname"], $column["Nachname"],
                   $column["Straße"], $column["PLZ"], $column["Ort"])
    rows[$4] = rows[$4] line "\n"
  }
  END {
    for (g = 1; g <= 5; ++g) if (g in rows) printf "Gruppe %d:\n%s\n", g, rows[g]
  }' "$work/ergebnis.csv"

if command -v python3 >/dev/null; then
  echo "== Gegen die bekannten Dubletten (paarweise)"
  python3 bench/quality.py "$work/ergebnis.csv" "$work/stichprobe_wahrheit.csv" | tail -1
  echo
fi

echo "== Ergebnisse"
echo "  $work/ergebnis.csv            jede Eingabezeile mit Block, Gruppe und Rolle"
echo "  $work/ergebnis/privat.lst     Dublettenliste"
echo "  $work/ergebnis/privat.out     Singles"
echo "  $work/ergebnis/privat.dup     Dubletten"
echo "  $work/ergebnis/privat.mpr     Protokoll (Statistik)"
echo "  $work/ergebnis/privat.dat     Statistik"
echo "  $work/ergebnis/privat.log     Journal"
