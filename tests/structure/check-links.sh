#!/bin/sh
# check-links.sh MANIFEST: fails when a library links another of the
# program's libraries without including any of its headers (a stale link).
# Each line of MANIFEST: "<library> <linked library> <sources> <headers>", the
# lists separated by ";", the headers written as the sources include them
# (relative to the source tree, or the bare name inside the same folder).
status=0
count=0
while IFS=' ' read -r library linked sources headers; do
    count=$((count + 1))
    used=no
    old_ifs=$IFS
    IFS=';'
    for header in $headers; do
        for source in $sources; do
            if grep -q -F -e "#include \"$header\"" "$source" 2>/dev/null; then
                used=yes
                break 2
            fi
        done
    done
    IFS=$old_ifs
    if [ $used = no ]; then
        echo "$library links $linked but includes none of its headers"
        status=1
    fi
done <"$1"
[ $status -eq 0 ] && echo "every one of $count links is used"
exit $status
