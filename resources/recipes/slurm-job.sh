#!/bin/sh
#SBATCH --job-name=quorix-resize
#SBATCH --cpus-per-task=1
# slurm-job.sh: the part of the list this task's number names.
part=$(printf 'part.%03d' "$SLURM_ARRAY_TASK_ID")
[ -s "$part" ] || exit 0
exec "$HOME/.local/bin/quorix-resize" --files-from "$part" -0 --no-overwrite --json --out small \
  > "report.$SLURM_ARRAY_TASK_ID.jsonl"
