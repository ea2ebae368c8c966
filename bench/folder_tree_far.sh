#!/usr/bin/env bash
# The folder tree benchmark against a server one 20 ms round trip away: 200 files of 2 KB
# in 10 folders, lftp moving two files at once (mirror --parallel=2), as it would be set up
# for a far server.
#
#   bench/folder_tree_far.sh [build-dir]
# Last line: "tree download ratio X upload ratio Y" (program time / lftp time).
# Goal: both at most 1.0; the aim is 0.7.
export FOLDERS=${FOLDERS:-10} FILES=${FILES:-20} DELAY_MS=${DELAY_MS:-20} LFTP_PARALLEL=${LFTP_PARALLEL:-2}
exec "$(dirname "$0")/folder_tree.sh" "$@"
