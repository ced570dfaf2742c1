#!/usr/bin/env bash
# cli/output/picture_check.sh RAVODUZE OUTDIR: draws the memory map of one value of
# every kind the script language declares, checks that each picture is
# well-formed XML (xmllint), and, where Chromium is installed, that the
# browser parses it without error and renders it; the screenshots stay in
# OUTDIR. Run by ctest when xmllint is found.
set -euo pipefail
ravoduze=$1
out=$2
mkdir -p "$out"

scripts=(
  'Dim x As Long = 5'
  'Dim s As String = "<tag attr='\''x'\''>&amp;"'
  'Dim m(1 To 2, 0 To 2, 1 To 2) As Integer'
  'Dim a(1 To 3) As String = {"ab", "", "ab"}'
  'Dim v = Array(1, "two", Array(3, 4))'
  'Dim d() As Long'
  'Dim b(1 To 200) As String'
)
failed=0
for i in "${!scripts[@]}"; do
  svg="$out/picture-$i.svg"
  "$ravoduze" --var-flags 0 --svg "$svg" "${scripts[$i]}" > /dev/null
  if ! xmllint --noout "$svg"; then
    echo "not well-formed: ${scripts[$i]}" >&2
    failed=1
  fi
done

browser=$(command -v chromium || command -v chromium-browser || true)
if [[ -z $browser ]]; then
  echo "picture_check: no Chromium; XML checked only"
  exit $failed
fi
# The flags a machine without a network and without a display needs.
flags=(--headless --no-sandbox --disable-gpu --disable-quic --no-first-run
  --disable-background-networking --disable-component-update --disable-sync
  --hide-scrollbars --user-data-dir="$out/chromium-profile")
for i in "${!scripts[@]}"; do
  svg="$out/picture-$i.svg"
  dom=$(timeout 60 "$browser" "${flags[@]}" --dump-dom "file://$svg" 2> /dev/null)
  if [[ $dom != *"<svg"* || $dom == *parsererror* ]]; then
    echo "Chromium cannot show: ${scripts[$i]}" >&2
    failed=1
    continue
  fi
  png="$out/picture-$i.png"
  timeout 60 "$browser" "${flags[@]}" --window-size=780,900 --screenshot="$png" \
    "file://$svg" > /dev/null 2>&1 || true
  # A rendered picture: a PNG signature and more than a blank page's bytes.
  if [[ $(head -c 4 "$png" 2> /dev/null | od -An -tx1 | tr -d ' \n') != 89504e47 ||
    $(stat -c %s "$png") -lt 10000 ]]; then
    echo "Chromium rendered nothing for: ${scripts[$i]}" >&2
    failed=1
  fi
done
echo "picture_check: screenshots in $out"
exit $failed
