#!/usr/bin/env bash
# Keeps the engine's layers in order: a layer's sources include only headers
# of the layers below it (and never Qt), and no engine source ends the process.
set -euo pipefail
cd "$(dirname "$0")/.."
declare -A allowed=(
  [base]="base"
  [disk]="base disk"
  [netware]="base disk netware"
  [recovery]="base disk netware recovery"
  [raw]="base disk raw"
  [records]="base disk netware recovery records"
  [mountfs]="base disk netware recovery mountfs"
  [workflow]="base disk netware recovery raw records workflow"
)
status=0
for layer in "${!allowed[@]}"; do
  [ -d "$layer" ] || continue
  while IFS= read -r line; do
    file=${line%%:*}
    inc=$(sed -E 's/.*#include "([^/"]+)\/.*/\1/' <<<"$line")
    if ! grep -qw -- "$inc" <<<"${allowed[$layer]}"; then
      echo "layer violation: $line" >&2
      status=1
    fi
  done < <(grep -Hn '^#include "[^"]*/' "$layer"/*.h "$layer"/*.cpp 2>/dev/null || true)
  if grep -Hn '^#include <Q' "$layer"/*.h "$layer"/*.cpp 2>/dev/null; then
    echo "layer violation: Qt in $layer" >&2
    status=1
  fi
  if grep -HnE '(std::|[^_a-zA-Z])(exit|_exit|quick_exit|abort)\s*\(' "$layer"/*.cpp 2>/dev/null; then
    echo "layer violation: the process is ended in $layer" >&2
    status=1
  fi
  # Captions (texts with keyboard mnemonics, or naming the controls a user
  # clicks) belong to the front ends; comments may name them, and XML
  # character entities (&amp; &apos; &#10;) are no mnemonics.
  for f in "$layer"/*.h "$layer"/*.cpp; do
    [ -f "$f" ] || continue
    if sed -E 's#//.*##; s/&(amp|lt|gt|quot|apos|#[0-9]+|#x[0-9a-fA-F]+);//g' "$f" | grep -nE '"[^"]*(&[A-Za-z]|[Cc]lick |[Bb]utton|[Cc]heck ?box|[Cc]ombo)[^"]*"' |
        grep -v '&&' | sed "s#^#$f:#" | grep .; then
      echo "layer violation: a caption in $layer" >&2
      status=1
    fi
    # A dialog's own state (the dialog itself, list positions, combo-box
    # indexes) belongs to the front ends too: no name in the code says
    # otherwise (comments and texts may name them).
    if sed -E 's#//.*##; s/"([^"\\]|\\.)*"/""/g' "$f" |
        grep -nE '[A-Za-z0-9_]*(Dialog|[Ll]istIndex|[Ll]istPosition|DatePosition|[Cc]omboIndex)' |
        sed "s#^#$f:#" | grep .; then
      echo "layer violation: a dialog's state in $layer" >&2
      status=1
    fi
  done
done
# A progress bar's words ("42 % Completed") are the front ends' or the
# workflow's texts: the layers below report the share as a number.
for layer in base disk netware recovery raw records mountfs; do
  for f in "$layer"/*.h "$layer"/*.cpp; do
    [ -f "$f" ] || continue
    if sed -E 's#//.*##' "$f" | grep -n '% Completed' | sed "s#^#$f:#" | grep .; then
      echo "layer violation: a progress caption in $layer" >&2
      status=1
    fi
  done
done

# The settings store holds the user's preferences only: the engine's data
# path (the layers below the workflow, and the workflow's disk, search, raw
# and mount code) never reads or writes it.
data_path=(disk/* netware/* recovery/* raw/* records/* workflow/Disks.* workflow/Search.* workflow/Raw.*
           workflow/Volume.* workflow/RecoveryLogs.* workflow/Save.*)
if grep -HnE 'SettingsStore|RegistryText|session\.store\b|\bstore->|TRV Windows' "${data_path[@]}" 2>/dev/null; then
  echo "layer violation: the settings store in the engine's data path" >&2
  status=1
fi
[ $status -eq 0 ] && echo "layers: in order"
exit $status
