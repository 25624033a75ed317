# Sourced by the build and test scripts: sets `jobs`, the number of compilations and tests run at once,
# to RUNNER_JOBS when that is set (a whole number from 1 up). Otherwise it is default_jobs when the script
# set that, else the number of cores, and never more than the memory available holds: one job for each
# 1.5 GB (the most any one compilation of the optimised build needs), and at least one.
if [ -n "${RUNNER_JOBS:-}" ]; then
  jobs=$RUNNER_JOBS
  if ! [[ "$jobs" =~ ^[1-9][0-9]*$ ]]; then
    echo "RUNNER_JOBS must be a whole number of jobs from 1 up, not \"$jobs\"" >&2
    exit 2
  fi
else
  jobs=${default_jobs:-$(nproc)}
  available_kb=$(awk '$1 == "MemAvailable:" { print $2 }' /proc/meminfo 2>/dev/null || true)
  if [[ "$available_kb" =~ ^[0-9]+$ ]]; then
    by_memory=$((available_kb / (1536 * 1024)))
    [ "$by_memory" -ge 1 ] || by_memory=1
    [ "$jobs" -le "$by_memory" ] || jobs=$by_memory
  fi
fi
