#!/bin/sh
# Prints what its standard input is connected to.
readlink /proc/self/fd/0
