#!/bin/sh
# Run by Quorvane after a pass that moved files: reports the archive and
# drops one late file into the incoming directory for the next pass.
dir=$(dirname "$0")
echo "Files archived so far: $(find "$dir/out" -type f | wc -l)"
if [ ! -e "$dir/late.flag" ]; then
  : > "$dir/late.flag"
  echo "a late delivery" > "$dir/in/late.txt"
  echo "Dropped in/late.txt for the next pass."
fi
