#!/usr/bin/env bash
# Each library of src/ includes project headers only from itself and the libraries below it.
# Fails naming every file and line that includes upward (or sideways between peers).
set -euo pipefail
cd "$(dirname "$0")/.."

# Bottom to top; libraries on one line are peers and may not include each other.
layers=(
  "platform"
  "crypto hw"
  "sys"
  "image"
  "security"
  "install"
  "rescue"
  "boot"
)

declare -A rank
for i in "${!layers[@]}"; do
  for lib in ${layers[$i]}; do
    rank[$lib]=$i
  done
done

status=0
while IFS= read -r hit; do
  file=${hit%%:*}
  rest=${hit#*:}
  line=${rest%%:*}
  target=$(sed -E 's/^[^"]*"([a-z_]+)\/.*/\1/' <<<"${rest#*:}")
  lib=$(cut -d/ -f2 <<<"$file")
  # The simulated board's emulators (sim/...) are a part of platform.
  [[ $target == sim ]] && target=platform
  [[ -n ${rank[$target]:-} && $target != "$lib" ]] || continue
  if [[ -z ${rank[$lib]:-} ]]; then
    echo "$file:$line: library '$lib' has no place in the layer order" >&2
    status=1
  elif ((rank[$target] >= rank[$lib])); then
    echo "$file:$line: $lib includes $target, which is not below it" >&2
    status=1
  fi
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[a-z_]+/' src \
           --include='*.cpp' --include='*.hpp' --include='*.h' --include='*.in')

if ((status == 0)); then
  echo "layers: every include of src/ points down"
fi
exit $status
