#!/bin/sh
# check-needed.sh PATTERN FILE...: fails when a FILE records a needed library
# whose name contains PATTERN (or cannot be read).
pattern=$1
shift
status=0
for file in "$@"; do
    if ! needed=$(readelf -d "$file" 2>&1); then
        echo "cannot read $file: $needed"
        status=1
        continue
    fi
    if echo "$needed" | grep NEEDED | grep -q "$pattern"; then
        echo "$file needs $pattern:"
        echo "$needed" | grep NEEDED | grep "$pattern"
        status=1
    fi
done
[ $status -eq 0 ] && echo "none of $# programs needs $pattern"
exit $status
