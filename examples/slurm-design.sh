#!/bin/bash
# A Slurm job array of vorlank-design runs, one seed per task, all keeping
# their wheels in one store on a filesystem every node mounts (NFS will do:
# the store's lock is a POSIX record lock). Each task prints its wheel into
# its own slurm-JOB_TASK.out; the store ends with the smallest of each
# instance, and `vorlank-design --list --store DIR` shows it.
#
#   sbatch examples/slurm-design.sh
#   VORLANK_INSTANCE="27 4 6 3" VORLANK_STORE=/nfs/wheels sbatch examples/slurm-design.sh
#
# Settings (sbatch passes the environment on):
#   VORLANK_DESIGN    the program (default: vorlank-design on PATH)
#   VORLANK_INSTANCE  n k x t (default 49 6 6 3)
#   VORLANK_SECONDS   --seconds (default 600)
#   VORLANK_STORE     the shared store (default ~/wheels)
#
# A run ends within max(1.25 S, S + 1.5 s) of --seconds S: 750 s for 600,
# so the time limit below leaves 90 s for start-up and the proof. Change
# both together. Where the limit strikes all the same, Slurm's SIGTERM makes
# the run print and keep the best wheel it has.
#SBATCH --job-name=vorlank-design
#SBATCH --array=1-16
#SBATCH --time=00:14:00
#SBATCH --cpus-per-task=2
#SBATCH --mem=4G
set -euo pipefail

design=${VORLANK_DESIGN:-vorlank-design}
instance=${VORLANK_INSTANCE:-49 6 6 3}
seconds=${VORLANK_SECONDS:-600}
store=${VORLANK_STORE:-$HOME/wheels}
# The symmetric search runs on every core it sees: only those of the task.
export VORLANK_THREADS=${VORLANK_THREADS:-${SLURM_CPUS_PER_TASK:-1}}

# shellcheck disable=SC2086  # the instance is four words
exec "$design" --store "$store" --seconds "$seconds" --seed "$SLURM_ARRAY_TASK_ID" $instance
