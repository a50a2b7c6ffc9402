#!/usr/bin/env bash
# Lays out the example scanner installation in TARGET and prints the
# environment that points the Linux build at it:
#   eval "$(examples/install-demo.sh /tmp/dociva-demo)"
#   build/dev/tools/dociva scanners
# TARGET gets sysfs/ (the attached USB devices), registry/ (the per-user
# registry) and programdata/ (the common application-data folder); every
# @DEMO_ROOT@ in the copied files becomes TARGET's absolute path.
set -euo pipefail
target=${1:?usage: install-demo.sh TARGET}
source=$(cd "$(dirname "$0")/scanners" && pwd)
mkdir -p "$target"
target=$(cd "$target" && pwd)
case $target in *'|'* | *'&'* | *'\'*)
  echo "install-demo.sh: TARGET must not contain |, & or \\" >&2
  exit 2 ;;
esac
rm -rf "$target/sysfs" "$target/registry" "$target/programdata"
cp -R "$source/sysfs" "$source/registry" "$source/programdata" "$target/"
find "$target/registry" "$target/programdata" -type f \( -name values -o -name '*.ini' \) \
  -exec sed -i "s|@DEMO_ROOT@|$target|g" {} +
printf 'export DOCIVA_SYSFS_ROOT=%q\n' "$target/sysfs"
printf 'export DOCIVA_REGISTRY=%q\n' "$target/registry"
printf 'export DOCIVA_COMMON_APPDATA=%q\n' "$target/programdata"
