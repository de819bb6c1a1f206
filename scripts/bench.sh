#!/usr/bin/env bash
# The benchmark report: installs what is missing, builds, runs every benchmark
# and prints one Markdown table on stdout (the README's "Benchmarks" section).
# Build output and the programs' own chatter go to stderr.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/scripts/setup.sh" >&2

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
export QT_QPA_PLATFORM=offscreen
# Only so Qt does not warn about a missing one; nothing is kept there.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  mkdir -m 700 "$WORK/xdg"
  export XDG_RUNTIME_DIR="$WORK/xdg"
fi

# Runs one benchmark program; on failure shows its stderr and stops.
run() {
  local name="$1"
  shift
  echo "running $name ..." >&2
  if ! "$@" >"$WORK/$name.out" 2>"$WORK/$name.err"; then
    echo "bench.sh: $name failed" >&2
    cat "$WORK/$name.err" >&2
    exit 1
  fi
}

# Dataset engine: five repetitions each, the median of their means.
run dataset "$BUILD/bench/bench_dataset" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_format=csv
# Server: 1000 interleaved samples of each latency, 5 s per throughput point, each engine.
run server "$BUILD/bench/server/bench_server" --markdown --samples 1000 --seconds 5
# Copy between companies: five copies of a company of 10,000 rows.
run copy "$BUILD/bench/server/bench_copy" --markdown --rows 10000 --repetitions 5
# Screen: seven open + load rounds against a company of 10,000 additions.
run screen "$BUILD/bench/screen/bench_screen" --markdown --additions 10000 --repetitions 7

dataset_rows() {
  awk -F, '
    function ms(v, unit) { return unit == "us" ? v / 1000 : unit == "ns" ? v / 1e6 : unit == "s" ? v * 1000 : v }
    $1 ~ /_median"$/ {
      name = $1; gsub(/"/, "", name); sub(/_median$/, "", name)
      t[name] = ms($3, $5)
    }
    END {
      n = split("BM_LocateThreeFieldsIgnoringCase BM_CopyIntoMirror BM_CopyIntoReorderedMirror BM_ParseJsonAlone BM_DecodeDataPacket", order, " ")
      what["BM_LocateThreeFieldsIgnoringCase"] = "locate on three fields ignoring case, 10,000 rows (full scan)"
      what["BM_CopyIntoMirror"] = "whole-content copy into a mirror, same layout, 10,000 rows"
      what["BM_CopyIntoReorderedMirror"] = "whole-content copy into a mirror, fields reordered, 10,000 rows"
      what["BM_ParseJsonAlone"] = "parse a 10,000-row data packet'"'"'s JSON text alone (QJsonDocument)"
      what["BM_DecodeDataPacket"] = "decode the same packet into rows, with every check"
      for (i = 1; i <= n; i++) {
        k = order[i]
        if (!(k in t)) { print "bench.sh: no figure for " k > "/dev/stderr"; exit 1 }
        extra = (k == "BM_DecodeDataPacket" && t["BM_ParseJsonAlone"] > 0) ? sprintf("; %.2f× the parse", t[k] / t["BM_ParseJsonAlone"]) : ""
        printf "| dataset engine | %s | %.3f ms median of 5%s |\n", what[k], t[k], extra
      }
    }' "$WORK/dataset.out"
}

DATASET_ROWS="$(dataset_rows)"
cpu="$(grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
mem="$(awk '/^MemTotal:/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)"
os="$(. /etc/os-release 2>/dev/null && echo "${PRETTY_NAME:-unknown}")"
build_type="$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$BUILD/CMakeCache.txt")"

echo "- Date: $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "- Machine: $(nproc) cores (nproc), ${cpu:-unknown CPU}, $mem memory, $os"
echo "- Command: \`bash scripts/bench.sh\` (build $build_type)"
echo
echo "| area | measure | figure |"
echo "|---|---|---|"
cat "$WORK/server.out"
cat "$WORK/copy.out"
cat "$WORK/screen.out"
echo "$DATASET_ROWS"
