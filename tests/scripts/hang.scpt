#!/bin/sh
# Stand-in for a host script that never ends: starts a child that never ends
# either and ignores SIGTERM, then waits. Once it ignores SIGTERM, the child
# writes both process ids, the script's and its own, to the file named by the
# first argument.
sh -c 'trap "" TERM; echo $PPID $$ > "$1"; exec sleep 3600' hang-child "$1" &
wait
