#!/bin/sh
# Stand-in for a script that fails: a message on standard error, status 3.
echo "partial output"
echo "host document is not open" >&2
exit 3
