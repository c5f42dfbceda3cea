#!/bin/sh
# Stand-in for a host script that never ends: starts a child that never ends
# either, writes both process ids to the file named by its first argument,
# then waits.
sleep 3600 &
echo $$ $! > "$1"
wait
