#!/usr/bin/env bash
# Lays out the example scanner installation (examples/scanners/) in a Wine
# prefix, as a Windows machine with those scanners attached has it:
#   examples/install-demo-wine.sh PREFIX
# - programdata/Corvane/ goes to the prefix's C:\ProgramData\Corvane
#   (the common application-data folder), its paths made C:\ProgramData\...;
# - registry/HKEY_CURRENT_USER/... becomes the same keys and values in the
#   prefix's registry;
# - every USB device of sysfs/ becomes a present device:
#   HKLM\System\CurrentControlSet\Enum\USB\VID_xxxx&PID_xxxx\<serial or
#   port> with its hardware ids, which is what SetupAPI lists (Wine attaches
#   no USB devices of its own).
# The prefix is prepared first (scripts/wine-prefix). The layout is made
# once per prefix and made again only when examples/scanners/ changed, so
# tests side by side share it; it stays in the prefix. Use a prefix of its
# own: every program in it sees these scanners.
set -euo pipefail
prefix=${1:?usage: install-demo-wine.sh PREFIX}
here=$(cd "$(dirname "$0")" && pwd)
source=$here/scanners
"$here/../scripts/wine-prefix" "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

exec 8>"$prefix.demo.lock"
flock 8
stamp=$( (cd "$source" && find . -type f -print0 | sort -z | xargs -0 sha256sum) | sha256sum | cut -d' ' -f1)
marker=$prefix/.dociva-demo-scanners
if [ -f "$marker" ] && [ "$(cat "$marker")" = "$stamp" ]; then
  exit 0
fi
rm -f "$marker"

# What @DEMO_ROOT@/programdata/... names on Linux is C:\ProgramData\... here.
windows_path() {
  local value=${1//@DEMO_ROOT@\/programdata/C:\\ProgramData}
  [ "$value" = "$1" ] && { printf '%s' "$1"; return; }
  printf '%s' "${value//\//\\}"
}

reg() { wine reg "$@" >/dev/null; }

# The packages.
programdata=$prefix/drive_c/ProgramData
rm -rf "$programdata/Corvane"
mkdir -p "$programdata"
cp -R "$source/programdata/Corvane" "$programdata/"
find "$programdata/Corvane" -type f -name '*.ini' -print0 | while IFS= read -r -d '' ini; do
  out=
  while IFS= read -r line || [ -n "$line" ]; do
    line=${line%$'\r'}
    out+=$(windows_path "$line")$'\r\n'
  done <"$ini"
  printf '%s' "$out" >"$ini"
done

# The products: each folder a key, each name=value line of its values file
# a text value.
reg delete 'HKCU\Software\Corvane' /f 2>/dev/null || true
while IFS= read -r -d '' values; do
  folder=${values%/values}
  key=${folder#"$source/registry/"}
  key=${key//\//\\}
  key=${key/#HKEY_CURRENT_USER/HKCU}
  reg add "$key" /f
  while IFS= read -r line || [ -n "$line" ]; do
    line=${line%$'\r'}
    [[ $line == *=* ]] || continue
    reg add "$key" /v "${line%%=*}" /t REG_SZ /d "$(windows_path "${line#*=}")" /f
  done <"$values"
done < <(find "$source/registry" -name values -print0 | sort -z)

# The attached devices. The image class for all of them: discovery reads
# only the hardware ids, and Wine lists only instances with a class.
enum='HKLM\System\CurrentControlSet\Enum\USB'
for device in "$source"/sysfs/bus/usb/devices/*; do
  [ -f "$device/idVendor" ] && [ -f "$device/idProduct" ] || continue
  id=$(printf 'VID_%04X&PID_%04X' "0x$(cat "$device/idVendor")" "0x$(cat "$device/idProduct")")
  instance=$(basename "$device")
  [ -f "$device/serial" ] && instance=$(cat "$device/serial")
  instance=${instance//:/_}
  key="$enum\\$id\\$instance"
  reg delete "$enum\\$id" /f 2>/dev/null || true
  reg add "$key" /v HardwareID /t REG_MULTI_SZ /d "USB\\$id&REV_0100\\0USB\\$id" /f
  reg add "$key" /v ClassGUID /t REG_SZ /d '{6bdd1fc6-810f-11d0-bec7-08002be2092f}' /f
  reg add "$key" /v DeviceDesc /t REG_SZ /d "$(cat "$device/product" 2>/dev/null || echo USB device)" /f
done
echo "$stamp" >"$marker"
