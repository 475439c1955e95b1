#!/bin/sh
# vexa-eval --view-log FILE --screenshot OUT has nobody to press OK: on an empty or damaged log
# the message goes to standard error and the program ends with status 1; on a good log it writes
# both images and ends with 0.
set -eu
program=$1
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cd "$folder"
run() {
  ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 timeout 60 "$program" -platform offscreen \
    --view-log "$1" --screenshot shot.png 2>err.txt
}
: >EMPTY_1.csv
printf 'File Name,BAD_1.csv\r\nDate,1\r\n' >BAD_1.csv
for log in EMPTY_1.csv BAD_1.csv; do
  status=0
  run "$log" || status=$?
  test "$status" -eq 1 || { echo "$log: status $status, not 1" >&2; cat err.txt >&2; exit 1; }
  grep -q "$log" err.txt || { echo "$log: the cause is not on standard error" >&2; exit 1; }
done
{
  printf 'File Name,GOOD_1.csv\r\nDate,12/7/2026\r\nTime,1:00:00 PM\r\n'
  printf 'Begin Seconds,100\r\nEnd Seconds,140\r\n \r\nSample #,XgND,X Gryo,\r\n'
  i=1
  while [ $i -le 4000 ]; do
    printf '%d,1,0.%d,\r\n' $i $(((i * 7919) % 1000))
    i=$((i + 1))
  done
} >GOOD_1.csv
run GOOD_1.csv || { echo "good log: status $?" >&2; cat err.txt >&2; exit 1; }
test -s shot.png && test -s shot-adev.png || { echo "images not written" >&2; exit 1; }
echo "the log viewer's screenshot run reports and ends"
