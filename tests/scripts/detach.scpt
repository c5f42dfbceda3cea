#!/bin/sh
# Leaves a child behind that keeps standard output open, writes the child's
# process id to the file named by its first argument, prints "done" and ends.
sleep 3600 &
echo $! > "$1"
echo done
