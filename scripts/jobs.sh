# Sourced by the build and test scripts: sets `jobs`, the number of compilations and tests run at once,
# to RUNNER_JOBS when that is set (a whole number from 1 up), else to default_jobs when the script set
# that, else to the number of cores.
jobs=${RUNNER_JOBS:-${default_jobs:-$(nproc)}}
if ! [[ "$jobs" =~ ^[1-9][0-9]*$ ]]; then
  echo "RUNNER_JOBS must be a whole number of jobs from 1 up, not \"$jobs\"" >&2
  exit 2
fi
