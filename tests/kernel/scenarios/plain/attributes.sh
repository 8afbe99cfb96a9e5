#!/bin/sh
# attributes.sh SYSFS_ROOT: the raw attributes the back end reads of USB
# device 1-1 and its first SCSI unit, one "name=value|" line each (the bar
# shows trailing blanks). Runs on the host over a simulated world and in the
# guest over /sys, so the two can be compared byte for byte.
root=$1
d=$root/bus/usb/devices/1-1
show() { printf '%s=%s|\n' "$2" "$(cat "$1/$2" 2>&1 | sed "s|$root|ROOT|")"; }
for a in idVendor idProduct serial manufacturer product busnum bDeviceClass; do show "$d" $a; done
i=$d/1-1:1.0
for a in bInterfaceClass bInterfaceSubClass bInterfaceProtocol; do show "$i" $a; done
u=$(ls -d "$i"/host*/target*/*:*:*:0 | head -n 1)
for a in vendor model rev type; do show "$u" $a; done
b=$(ls "$u/block" | head -n 1)
for a in size removable; do show "$u/block/$b" $a; done
echo "block=$(echo "$b" | sed 's/[a-z]$/X/')|"
echo "generic=$(ls "$u/scsi_generic" | sed 's/[0-9]*$/N/')|"
