#!/usr/bin/env bash
# Every catalogue of po/LINGUAS translates every text that the sources mark
# today (extracted afresh, as moonwisp_update_po does), with nothing
# untranslated or fuzzy, and its formats match the English ones.
set -euo pipefail
root=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$root"
grep -v '^#' po/POTFILES | xargs xgettext --from-code=UTF-8 --keyword=_ -o "$scratch/now.pot" 2>"$scratch/xgettext" ||
  { cat "$scratch/xgettext"; exit 1; }
status=0
# A source that marks texts but is missing from POTFILES would go untranslated.
for file in $(grep -rlP --include='*.cpp' --include='*.h' '^(?!\s*//).*\b_\("' src); do
  grep -qx "$file" po/POTFILES || { echo "$file marks texts but is not in po/POTFILES"; status=1; }
done
for lang in $(grep -v '^#' po/LINGUAS); do
  msgcmp po/"$lang".po "$scratch/now.pot" || { echo "po/$lang.po lacks texts the sources mark"; status=1; }
  stats=$(msgfmt --check --statistics -o /dev/null po/"$lang".po 2>&1) || { echo "$stats"; status=1; }
  case $stats in
    *untranslated* | *fuzzy*) echo "po/$lang.po: $stats"; status=1 ;;
  esac
done
exit $status
