# A private single-node Slurm cluster for tests, from Debian's packages: munged, slurmctld and
# slurmd with every key, state, spool, socket, log and pid file under one folder, on loopback
# and free ports, with no cgroups (proctrack/linuxproc, task/none) and no accounting database.
# Job ends are written by jobcomp/filetxt, which the tests read for the tasks' exit codes:
# `sbatch --wait` is not reliable with a short MinJobAge.
#
# Sourced, not run:   source tests/slurm/cluster.sh
#   cluster_start DIR   starts the daemons under DIR and waits until the node is idle; exports
#                       SLURM_CONF; returns non-zero (logs on stderr) when the cluster does not
#                       come up within CLUSTER_START_SECONDS (default 30)
#   cluster_stop        stops whatever cluster_start started (safe to call more than once)
#   cluster_pids        the daemons' process ids
# Needs root: slurmd runs jobs as their users.

cluster_dir=''

_free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

cluster_pids() {
    local file
    for file in "$cluster_dir"/run/*.pid; do
        [[ -s $file ]] && cat "$file"
    done
    return 0
}

cluster_start() {
    cluster_dir=$1
    local munge=$cluster_dir/munge state=$cluster_dir/state spool=$cluster_dir/spool
    local run=$cluster_dir/run log=$cluster_dir/log
    mkdir -p "$munge" "$state" "$spool" "$run" "$log"
    # munged serves only a socket whose every parent folder others may search.
    chmod 0755 "$cluster_dir" "$munge"
    local parent=$cluster_dir
    while parent=$(dirname "$parent") && [[ $parent != / ]]; do
        if [[ $(( $(stat -c %#a "$parent") & 1 )) -eq 0 ]]; then
            echo "cluster: $parent is not searchable by all, which munged needs" >&2
            return 1
        fi
    done
    dd if=/dev/urandom of="$munge/munge.key" bs=1024 count=1 status=none
    chmod 0400 "$munge/munge.key"
    munged --key-file="$munge/munge.key" --socket="$munge/munge.socket" \
        --pid-file="$run/munged.pid" --log-file="$log/munged.log" \
        --seed-file="$munge/munged.seed" || {
        cat "$log/munged.log" >&2
        return 1
    }

    local cpus
    cpus=$(nproc)
    : >"$cluster_dir/plugstack.conf"
    cat >"$cluster_dir/slurm.conf" <<CONF
ClusterName=kestrunetest
SlurmctldHost=localhost(127.0.0.1)
SlurmctldPort=$(_free_port)
SlurmdPort=$(_free_port)
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$munge/munge.socket
StateSaveLocation=$state
SlurmdSpoolDir=$spool/slurmd-%n
SlurmctldPidFile=$run/slurmctld.pid
SlurmdPidFile=$run/slurmd.pid
SlurmctldLogFile=$log/slurmctld.log
SlurmdLogFile=$log/slurmd.log
PlugStackConfig=$cluster_dir/plugstack.conf
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/filetxt
JobCompLoc=$log/jobcomp.txt
MpiDefault=none
SwitchType=switch/none
SchedulerType=sched/backfill
SchedulerParameters=batch_sched_delay=0
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
MinJobAge=5
ReturnToService=2
SlurmctldTimeout=30
SlurmdTimeout=30
NodeName=localhost NodeAddr=127.0.0.1 CPUs=$cpus State=UNKNOWN
PartitionName=test Nodes=localhost Default=YES MaxTime=INFINITE State=UP
CONF
    export SLURM_CONF=$cluster_dir/slurm.conf
    slurmctld -i -f "$SLURM_CONF" || {
        cat "$log/slurmctld.log" >&2
        return 1
    }
    slurmd -f "$SLURM_CONF" -N localhost || {
        cat "$log/slurmd.log" >&2
        return 1
    }
    local deadline=$((SECONDS + ${CLUSTER_START_SECONDS:-30}))
    until sinfo -h -N -o %T 2>/dev/null | grep -qx idle; do
        if ((SECONDS >= deadline)); then
            echo "cluster: the node did not become idle; its logs follow" >&2
            tail -n 20 "$log/slurmctld.log" "$log/slurmd.log" >&2
            return 1
        fi
        sleep 0.2
    done
}

cluster_stop() {
    [[ -n $cluster_dir && -d $cluster_dir/run ]] || return 0
    # Jobs first, while slurmd can still end them: a job step outlives the daemons.
    if squeue -h -o %i 2>/dev/null | grep -q .; then
        scancel --quiet --user "$(id -un)" 2>/dev/null || true
        local queue_deadline=$((SECONDS + 10))
        while squeue -h -o %i 2>/dev/null | grep -q . && ((SECONDS < queue_deadline)); do
            sleep 0.2
        done
    fi
    local pid pids
    pids=$(cluster_pids)
    for pid in $pids; do kill "$pid" 2>/dev/null || true; done
    # Each daemon gets 10 s to end before it is killed.
    local deadline=$((SECONDS + 10))
    for pid in $pids; do
        while kill -0 "$pid" 2>/dev/null && ((SECONDS < deadline)); do sleep 0.1; done
        kill -9 "$pid" 2>/dev/null || true
    done
    # Whatever this cluster started and left behind: job steps (working in its log folder) and
    # job scripts (run from its spool), with their process groups.
    local proc group own_group
    own_group=$(ps -o pgid= -p $$ | tr -d ' ')
    for proc in /proc/[0-9]*; do
        if [[ $(readlink "$proc/cwd" 2>/dev/null) == "$cluster_dir"/* ]] ||
            tr '\0' ' ' 2>/dev/null <"$proc/cmdline" | grep -qF "$cluster_dir/spool/"; then
            pid=${proc#/proc/}
            group=$(ps -o pgid= -p "$pid" | tr -d ' ')
            if [[ -n $group && $group != "$own_group" ]]; then
                kill -9 -- "-$group" 2>/dev/null || true
            fi
            kill -9 "$pid" 2>/dev/null || true
        fi
    done
}
