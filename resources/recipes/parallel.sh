# Every JPEG under photos/, spread with GNU parallel over the machines that
# share this folder (":" is this machine), 200 pictures a job. Over ssh a
# non-interactive shell does not read ~/.profile, so the tool is named by its
# full path, expanded by the remote shell.
HOSTS=${HOSTS:-host1,host2,host3}
find photos -name '*.jpg' -print0 |
  parallel -0 -N 200 -S "$HOSTS" --wd "$PWD" \
    'printf "%s\0" {} | "$HOME/.local/bin/quorix-resize" --files-from - -0 --no-overwrite --json --out small' \
    > report.jsonl
