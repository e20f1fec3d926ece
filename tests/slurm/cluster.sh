#!/usr/bin/env bash
# The shipped Slurm job script (examples/slurm/) on a real Slurm: a one-node cluster started on
# this machine (munged, slurmctld and slurmd on localhost, with a key, a socket, ports and a
# configuration of their own in a temporary folder; each daemon stopped by its process id when
# the test ends, whatever its outcome). Checks:
#   1. the script submitted as an array of 4 tasks gives parts that, merged, are the
#      single-process sweep byte for byte;
#   2. a task cancelled mid-run (scancel) and submitted again resumes and still gives those bytes.
# Any difference, a task that fails or a cluster that does not come up fails the test.
#   tests/slurm/cluster.sh BUILD_DIR        (as root: slurmd runs the jobs)
set -uo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD=$(cd "${1:?usage: cluster.sh BUILD_DIR}" && pwd) || exit 1
BATCH="$BUILD/apps/marlinq-batch"
JOB_SCRIPT="$ROOT/examples/slurm/marlinq-sweep.sbatch"
T=$(mktemp -d /tmp/marlinq-slurm.XXXXXX) || exit 1
chmod 755 "$T"

stop_daemon() {  # stop_daemon NAME PIDFILE: by its process id, then waits for it to end
    local name=$1 pidfile=$2 pid
    [ -s "$pidfile" ] || return 0
    pid=$(cat "$pidfile")
    kill -TERM "$pid" 2>/dev/null || return 0
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
    echo "cluster: $name ($pid) did not stop on SIGTERM; killing it" >&2
    kill -KILL "$pid" 2>/dev/null
}
cleanup() {
    stop_daemon slurmd "$T/slurmd.pid"
    stop_daemon slurmctld "$T/slurmctld.pid"
    stop_daemon munged "$T/munge/munged.pid"
    rm -rf "$T"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
logs() {
    for f in "$T/ctld.log" "$T/d.log" "$T"/run*/task-*.log; do
        [ -f "$f" ] && { echo "--- $f"; tail -n 15 "$f"; }
    done >&2
}
fail() { echo "FAIL: $*" >&2; logs; exit 1; }
step() { echo "--- $*"; }

[ "$(id -u)" -eq 0 ] || fail "the cluster runs jobs of any user: run this test as root"
for cmd in munged munge unmunge slurmctld slurmd sbatch squeue scancel scontrol sinfo python3; do
    command -v "$cmd" >/dev/null || fail "$cmd is missing: scripts/install-deps.sh installs slurm-wlm and munge"
done
[ -x "$BATCH" ] || fail "no $BATCH: build the release preset first"

step "munged with a key and a socket of its own"
mkdir -m 700 "$T/munge"
head -c 1024 /dev/urandom >"$T/munge/munge.key" && chmod 600 "$T/munge/munge.key"
MUNGE_SOCKET="$T/munge/munge.socket"
munged --force --socket="$MUNGE_SOCKET" --key-file="$T/munge/munge.key" --pid-file="$T/munge/munged.pid" \
    --log-file="$T/munge/munged.log" --seed-file="$T/munge/munged.seed" || fail "munged did not start"
munge -S "$MUNGE_SOCKET" -n | unmunge -S "$MUNGE_SOCKET" >/dev/null || fail "munge credentials do not round-trip"

step "slurmctld and slurmd on $(hostname -s)"
# Two free ports on the loopback, so that the test never meets another Slurm of this machine.
read -r CTLD_PORT SLURMD_PORT < <(python3 -c '
import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*(x.getsockname()[1] for x in s))')
H=$(hostname -s)
mkdir "$T/state" "$T/spool"
cat >"$T/slurm.conf" <<CONF
ClusterName=marlinqtest
SlurmctldHost=$H(127.0.0.1)
SlurmctldPort=$CTLD_PORT
SlurmdPort=$SLURMD_PORT
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$MUNGE_SOCKET
CredType=cred/munge
StateSaveLocation=$T/state
SlurmdSpoolDir=$T/spool
SlurmctldPidFile=$T/slurmctld.pid
SlurmdPidFile=$T/slurmd.pid
SlurmctldLogFile=$T/ctld.log
SlurmdLogFile=$T/d.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
KillWait=5
MinJobAge=600
NodeName=$H NodeAddr=127.0.0.1 CPUs=$(nproc) RealMemory=2000 State=UNKNOWN
PartitionName=debug Nodes=$H Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF="$T/slurm.conf"
slurmctld -f "$SLURM_CONF" || fail "slurmctld did not start"
up=0
for _ in $(seq 100); do scontrol ping 2>/dev/null | grep -q "is UP" && { up=1; break; }; sleep 0.2; done
[ "$up" -eq 1 ] || fail "slurmctld does not answer"
slurmd -f "$SLURM_CONF" -N "$H" || fail "slurmd did not start"
idle=0
for _ in $(seq 150); do [ "$(sinfo -h -n "$H" -o %T 2>/dev/null)" = idle ] && { idle=1; break; }; sleep 0.2; done
[ "$idle" -eq 1 ] || fail "the node is not idle: $(sinfo -h -o '%T %E' 2>&1)"

# wait_for JOBID SECONDS: until no task of the job is pending or running.
wait_for() {
    local id=$1 limit=$2 start=$SECONDS
    while [ -n "$(squeue -h -j "$id" -o %i 2>/dev/null)" ]; do
        [ $((SECONDS - start)) -lt "$limit" ] || { scancel "$id"; fail "job $id did not finish in $limit s"; }
        sleep 0.5
    done
}
# task_states JOBID: "TASK STATE EXITCODE" of each task of an array job, by task.
task_states() {
    scontrol -o show job "$1" | sed -n 's/.*ArrayTaskId=\([0-9]*\) .*JobState=\([A-Z_]*\) .*ExitCode=\([0-9:]*\) .*/\1 \2 \3/p' | sort -n
}
submit() {  # submit FOLDER ENVIRONMENT SBATCH-OPTIONS... SCRIPT SWEEP...: prints the job id
    local dir=$1 env=$2
    shift 2
    sbatch --parsable --chdir="$dir" --output="$dir/task-%a.log" --export="ALL,MARLINQ_BATCH=$BATCH$env" "$@"
}
# merge FOLDER: the parts of the folder joined into FOLDER/merged.csv
merge() {
    "$BATCH" --quiet --merge "$1"/parts/part-*.csv -o "$1/merged.csv" || fail "--merge refused the parts of $1"
}

# A Poisson-Boltzmann sweep of the salt parameter, 40 points, and its single-process bytes.
SWEEP=(--quiet --method pb --sweep ka=0.2:10:40:log)
step "the single-process sweep"
mkdir "$T/single"
(cd "$T/single" && "$BATCH" "${SWEEP[@]}" -o single.csv) || fail "the single-process sweep failed"

step "the job script as an array of 4 tasks"
mkdir "$T/run1"
job=$(submit "$T/run1" "" --array=0-3 "$JOB_SCRIPT" "${SWEEP[@]}") || fail "sbatch refused the job script"
# The README's merge job, started by Slurm when the whole array has succeeded.
merge_job=$(sbatch --parsable --chdir="$T/run1" --output="$T/run1/merge-job.log" --dependency="afterok:$job" \
    --wrap "'$BATCH' --merge parts/part-*.csv -o sweep.csv") || fail "sbatch refused the merge job"
wait_for "$job" 300
wait_for "$merge_job" 120
states=$(task_states "$job")
[ "$states" = $'0 COMPLETED 0:0\n1 COMPLETED 0:0\n2 COMPLETED 0:0\n3 COMPLETED 0:0' ] ||
    fail "the tasks of job $job did not all complete: $states"
[ "$(ls "$T/run1/parts")" = $'part-0.csv\npart-1.csv\npart-2.csv\npart-3.csv' ] || fail "parts: $(ls "$T/run1/parts")"
merge "$T/run1"
cmp "$T/single/single.csv" "$T/run1/merged.csv" || fail "the cluster's merged sweep differs from the single-process bytes"
cmp "$T/single/single.csv" "$T/run1/sweep.csv" || fail "the merge job's sweep differs from the single-process bytes"
echo "the 4 parts merged are the single-process sweep ($(wc -l <"$T/single/single.csv") lines)"

# The same with points slow enough to stop one task in the middle: M+ and M- up to 100, 12
# points a task (several seconds a task even on an idle machine; the task is stopped a moment
# after its first row).
step "a task cancelled mid-run and submitted again"
mkdir "$T/run2"
printf 'mpMax 100\nmmMax 100\n' >"$T/big.in"
SLOW=(--method pb --sweep ka=0.2:10:48:log "$T/big.in")   # progress lines in the task logs
PER_TASK=12
(cd "$T/single" && "$BATCH" --quiet "${SLOW[@]}" -o single-slow.csv) || fail "the single-process sweep failed"
job=$(submit "$T/run2" "" --array=0-3 "$JOB_SCRIPT" "${SLOW[@]}") || fail "sbatch refused the job script"
# Task 1 is cancelled once its partial part holds a finished row.
partial="$T/run2/parts/part-1.csv.partial"
start=$SECONDS
until [ -f "$partial" ] && [ "$(grep -c '^[0-9]' "$partial")" -ge 1 ]; do
    [ $((SECONDS - start)) -lt 300 ] || { scancel "$job"; fail "task 1 wrote no row in 300 s"; }
    [ -n "$(squeue -h -j "${job}_1" -o %i 2>/dev/null)" ] || fail "task 1 ended before it wrote a row the test could see"
    sleep 0.1
done
scancel "${job}_1"
wait_for "$job" 300
states=$(task_states "$job")
[ "$(sed -n 2p <<<"$states" | cut -d' ' -f2)" = CANCELLED ] ||
    fail "task 1 was not cancelled mid-run (it may have finished first): $states"
# What the stopped task kept: its rows in FILE.partial, never put in place as the part (a
# stopped sweep ends that file with its partial line; a task killed outright leaves it without).
part="$T/run2/parts/part-1.csv"
[ ! -e "$part" ] || fail "the cancelled task put its partial rows in place as $part"
rows=$(grep -c '^[0-9]' "$partial")
[ "$rows" -ge 1 ] && [ "$rows" -lt "$PER_TASK" ] || fail "the cancelled task kept $rows of its $PER_TASK rows"
tail -n 1 "$partial" | grep -q '^[0-9]' || [ "$(tail -n 1 "$partial")" = "# The sweep is partial: $rows of $PER_TASK points" ] ||
    fail "the partial part of the cancelled task ends in: $(tail -n 1 "$partial")"
# Three parts and an unfinished one: --merge refuses them and writes nothing.
"$BATCH" --merge "$T/run2"/parts/part-*.csv -o "$T/run2/incomplete.csv" 2>"$T/run2/merge.err" &&
    fail "--merge joined parts that lack a shard's points"
[ ! -e "$T/run2/incomplete.csv" ] || fail "a refused merge wrote a file"
# Submitted again alone, the task continues its part.
job2=$(submit "$T/run2" ",MARLINQ_SHARDS=4" --array=1 "$JOB_SCRIPT" "${SLOW[@]}") || fail "sbatch refused the task"
wait_for "$job2" 300
[ "$(task_states "$job2")" = "1 COMPLETED 0:0" ] || fail "the resumed task did not complete: $(task_states "$job2")"
[ ! -e "$partial" ] || fail "the resumed task left its partial file"
! grep -q '^# The sweep is partial' "$T/run2/parts/part-1.csv" || fail "the resumed part is still marked partial"
# It computed only the points the cancelled run had not finished.
grep -q "^point 1 of $((PER_TASK - rows)) " "$T/run2/task-1.log" ||
    fail "the task submitted again did not continue its part: $(grep -m1 '^point' "$T/run2/task-1.log")"
merge "$T/run2"
cmp "$T/single/single-slow.csv" "$T/run2/merged.csv" ||
    fail "the sweep with a cancelled and resumed task differs from the single-process bytes"
echo "task 1 cancelled after $rows of $PER_TASK points ($(basename "$partial")) and resumed: the merged parts are the single-process sweep"

echo "PASS: the Slurm job script on a one-node cluster gives the single-process bytes"
