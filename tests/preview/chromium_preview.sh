#!/usr/bin/env bash
# Opens the page preview's contact sheet in headless Chromium: every
# thumbnail must load (natural size equal to the picture's own), and a
# screenshot of the sheet must show something. Run for the embedded script
# and for a small changed one. Needs no network: the sheet is local files.
# usage: chromium_preview.sh CHECKER
set -euo pipefail
checker=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

browse() { # browse MODE URL [OPTION...]: runs a fresh headless Chromium
  local mode=$1 url=$2 profile
  profile=$(mktemp -d "$tmp/profile.XXXXXX")
  timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$profile" --allow-file-access-from-files --virtual-time-budget=20000 \
    "${@:3}" "$mode" "$url" 2>"$tmp/chromium.log"
}

check_sheet() { # check_sheet NAME EXPECTED_PAGES [SCRIPT]
  local name=$1 expected=$2
  shift 2
  local dir=$tmp/$name
  local status=0
  QT_QPA_PLATFORM=offscreen "$checker" --render "$dir/preview" "$@" >"$tmp/render.log" 2>&1 || status=$?
  if [ "$status" -gt 1 ]; then
    cat "$tmp/render.log"
    echo "$name: render failed ($status)"
    return 1
  fi
  # A page of the test's own reads the images' natural sizes out of the
  # sheet, loaded in a frame, into its DOM; the sheet itself has no script.
  cat >"$dir/probe.html" <<'HTML'
<!DOCTYPE html>
<html><body><pre id="result">PENDING</pre>
<iframe id="sheet" src="preview/index.html" width="1200" height="900"></iframe>
<script>
const frame = document.getElementById('sheet');
frame.addEventListener('load', () => {
  const out = document.getElementById('result');
  const doc = frame.contentDocument;
  if (!doc) { out.textContent = 'BLOCKED'; return; }
  const lines = Array.from(doc.images).map(i =>
    'IMG ' + i.getAttribute('src') + ' ' + i.naturalWidth + ' ' + i.naturalHeight + ' ' + (i.complete ? 1 : 0));
  out.textContent = 'COUNT ' + doc.images.length + '\n' + lines.join('\n') + '\nDONE';
});
</script></body></html>
HTML
  browse --dump-dom "file://$dir/probe.html" >"$dir/dom.html" || { cat "$tmp/chromium.log"; echo "$name: chromium failed"; return 1; }
  grep -q '^DONE' "$dir/dom.html" || { head -c 2000 "$dir/dom.html"; echo "$name: the probe did not finish"; return 1; }
  local count
  count=$(sed -n 's/.*COUNT \([0-9]*\).*/\1/p' "$dir/dom.html")
  [ "$count" = "$expected" ] || { echo "$name: $count images in the sheet, expected $expected"; return 1; }
  local seen=0 src w h complete
  while read -r _ src w h complete; do
    local size
    size=$(identify -format '%w %h' "$dir/preview/$src")
    if [ "$complete" != 1 ] || [ "$w" -eq 0 ] || [ "$h" -eq 0 ] || [ "$w $h" != "$size" ]; then
      echo "$name: $src loaded as ${w}x${h} (complete $complete), the file is $size"
      return 1
    fi
    seen=$((seen + 1))
  done < <(grep '^IMG ' "$dir/dom.html")
  [ "$seen" = "$expected" ] || { echo "$name: $seen images checked, expected $expected"; return 1; }

  (cd "$dir" && browse --screenshot="$dir/sheet.png" "file://$dir/preview/index.html" --window-size=1280,1600) \
    || { cat "$tmp/chromium.log"; echo "$name: no screenshot"; return 1; }
  local shot
  shot=$(identify -format "%w %h" "$dir/sheet.png")
  [ "$shot" = "1280 1600" ] || { echo "$name: the screenshot is $shot, not 1280 1600"; return 1; }
  local colours
  colours=$(identify -format '%k' "$dir/sheet.png")
  [ "$colours" -gt 50 ] || { echo "$name: the screenshot is nearly blank ($colours colours)"; return 1; }
  if [ -n "${FRAGEBOGEN_SHOTS:-}" ]; then cp "$dir/sheet.png" "$FRAGEBOGEN_SHOTS/preview-$name.png"; fi
  echo "$name: $seen thumbnails loaded, screenshot with $colours colours"
}

check_sheet embedded 76
printf 'PAGE Eins\r\n\r\nTEXT A\r\nErste Frage\r\n\r\nSKALA.WP W43\r\nbild006.jpg\r\n\r\nPAGE Zwei\r\n\r\nTEXT B\r\nZweite Frage\r\n' >"$tmp/changed.txt"
check_sheet changed 2 "$tmp/changed.txt"
