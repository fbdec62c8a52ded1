#!/usr/bin/env bash
# Includes point down the layers only: app -> tools -> data -> runtime, and
# inside runtime text <- os <- table <- expr <- cdx <- workarea, with the
# console on os and text alone and areabrowse (the browse over a work area)
# joining console and work areas.  Every #include "..." of the production
# folders is checked against the table below; the checker is first shown a
# wrong-way include, which it must find.
# Arguments: build folder, source folder.
set -euo pipefail
src=${2:?source folder}

rt_table="runtime/table runtime/os runtime/text"
rt_workarea="runtime/workarea runtime/cdx runtime/expr $rt_table"
runtime="runtime/"
declare -A allowed=(
  [runtime/text]="runtime/text"
  [runtime/os]="runtime/os runtime/text"
  [runtime/table]="$rt_table"
  [runtime/expr]="runtime/expr $rt_table"
  [runtime/cdx]="runtime/cdx runtime/expr $rt_table"
  [runtime/workarea]="$rt_workarea"
  [runtime/console]="runtime/console runtime/os runtime/text"
  [runtime/areabrowse]="runtime/areabrowse runtime/console $rt_workarea"
  [data]="data $runtime"
  [tools]="tools data $runtime"
  [app]="app tools data $runtime"
  [demodata]="demodata app tools data $runtime"
  [cmd]="cmd demodata app tools data $runtime"
)

# Prints "file: include" for every include of a folder of root that its
# layer may not use, and for files in folders the table does not know.
wrong_way() {
  local root=$1 file folder inc ok prefix
  while IFS= read -r file; do
    folder=${file%%/*}
    [[ $folder == runtime ]] && folder=$(cut -d/ -f1-2 <<<"$file")
    if [[ -z ${allowed[$folder]+set} ]]; then
      echo "$file: folder without a layer"
      continue
    fi
    while IFS= read -r inc; do
      [[ $inc == */* ]] || continue  # a header beside the file
      ok=0
      for prefix in ${allowed[$folder]}; do
        [[ $inc == "$prefix"* ]] && ok=1
      done
      [[ $folder == cmd && $inc == cmd/* && $inc != "$(cut -d/ -f1-2 <<<"$file")/"* ]] && ok=0
      ((ok)) || echo "$file: $inc"
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$root/$file")
  done < <(cd "$root" && find runtime data tools app demodata cmd -name '*.h' -o -name '*.cc' 2>/dev/null | sort)
}

probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
mkdir -p "$probe/runtime/console" "$probe/cmd/one"
printf '#include "runtime/console/screen.h"\n#include "runtime/table/table.h"\n' > "$probe/runtime/console/x.cc"
printf '#include "cmd/two/y.h"\n' > "$probe/cmd/one/z.cc"
found=$(wrong_way "$probe" | wc -l)
[[ $found == 2 ]] || { echo "FAIL: the checker found $found of 2 wrong-way includes"; exit 1; }

bad=$(wrong_way "$src")
echo "wrong-way includes: $(grep -c . <<<"$bad" || true)"
if [[ -n $bad ]]; then
  echo "$bad"
  exit 1
fi
