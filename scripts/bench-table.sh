#!/usr/bin/env bash
# The README's performance tables: runs bench/vardo_bench RUNS times (each
# benchmark a median of five repetitions) and prints, per rate and per lane
# set, the median over the runs with the range of the ratio to the
# reference. Timings swing with the machine's load; the ratios much less.
#   scripts/bench-table.sh [RUNS]     (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
bench=build/linux/bench/vardo_bench
if [ ! -x "$bench" ]; then
  echo "$bench is missing: cmake --preset linux && cmake --build build/linux --target vardo_bench" >&2
  exit 1
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for i in $(seq "$runs"); do
  "$bench" --benchmark_report_aggregates_only=true --benchmark_format=json \
    --benchmark_filter='chain|lanes' > "$out/run$i.json" 2>/dev/null
done
python3 - "$out"/run*.json <<'PY'
import json, statistics, sys
rows = {}
for path in sys.argv[1:]:
    for b in json.load(open(path))["benchmarks"]:
        if b.get("aggregate_name") != "median":
            continue
        rows.setdefault(b["run_name"], []).append(b)
def med(bs, key):
    return statistics.median(b[key] for b in bs)
def span(bs, key):
    lo, hi = min(b[key] for b in bs), max(b[key] for b in bs)
    return f"{lo:.2f} ... {hi:.2f}"
print(f"{len(sys.argv) - 1} runs; medians over the runs, the ratio's range in brackets.\n")
print("| Rate | ns per sample | Times real time | Reference, ns per sample | Times the reference |")
print("|---|---|---|---|---|")
for name, bs in rows.items():
    if name.startswith("chain/"):
        rate = int(name.split("/")[1]) / 1000
        print(f"| {rate:g} kHz | {med(bs, 'ns_per_sample'):.0f} | {med(bs, 'x_realtime'):.0f} "
              f"| {med(bs, 'ref_ns_per_sample'):.0f} | {med(bs, 'x_reference'):.2f} ({span(bs, 'x_reference')}) |")
print("\nEach lane set forced, 48 kHz:\n")
print("| Lanes | ns per sample | Times the reference |")
print("|---|---|---|")
for name, bs in rows.items():
    if name.startswith("lanes/"):
        label = bs[0].get("label", "") or name
        print(f"| {label.replace('lanes=', '')} | {med(bs, 'ns_per_sample'):.0f} "
              f"| {med(bs, 'x_reference'):.2f} ({span(bs, 'x_reference')}) |")
PY
