# A Slurm job array, one part of the list a task: the names NUL-separated
# (any name works, a line feed in it too), dealt in turn into as many parts as
# there are names, 32 at most, so that no part is empty.
find photos -name '*.jpg' -print0 > list.nul
names=$(tr -cd '\0' < list.nul | wc -c)
parts=$(( names < 32 ? names : 32 ))
if [ "$parts" -gt 0 ]; then
  split -t '\0' -n "r/$parts" -d -a 3 list.nul part.
  sbatch --array=0-$((parts - 1)) slurm-job.sh
fi
