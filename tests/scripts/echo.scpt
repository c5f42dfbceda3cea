#!/bin/sh
# Prints its first argument exactly, with no line end of its own.
printf '%s' "$1"
