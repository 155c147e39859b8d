#!/usr/bin/env bash
# Takes the README's screenshots of batchorder-host under Xvfb, in both themes: the pending table with
# the console open, and the processed table with the settings dialog. Instruction files from
# examples/instructions feed the tables; the order key (F9, kept in user.ini) places the first orders.
# Needs the release build (scripts/build.sh release), xvfb, xdotool and imagemagick.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${BATCHORDER_SHOTS_DISPLAY:-}" ]; then
    exec env BATCHORDER_SHOTS_DISPLAY=1 xvfb-run -a -s "-screen 0 1366x800x24" "$0" "$@"
fi

HOST=build/bin/batchorder-host
OUT=docs/screenshots
mkdir -p "$OUT"

# Renames a GBK instruction file (stdin) into place once the reader has taken the previous one.
feed() {
    local inbox=$1
    while [ -e "$inbox" ]; do sleep 0.05; done
    cat > "$inbox.part"
    mv "$inbox.part" "$inbox"
    while [ -e "$inbox" ]; do sleep 0.05; done
}

shoot() {
    local theme=$1 light=$2
    local work
    work=$(mktemp -d)
    mkdir -p "$work/data" "$work/inbox"
    cat > "$work/data/user.ini" <<INI
[batchorder]
shortcutEnabled=true
shortcutKey=F9

[window]
lightTheme=$light
consoleOpen=true
consoleWidth=440
INI
    "$HOST" --profile examples/profile.json --data-dir "$work/data" --watch "$work/inbox/orders.csv" \
        > "$work/host.log" 2>&1 &
    local pid=$!
    local window
    window=$(xdotool search --sync --name "批量下单" | head -n 1)
    xdotool windowmove "$window" 0 0 windowsize "$window" 1366 800
    sleep 1

    local inbox="$work/inbox/orders.csv"
    local now
    now=$(date +%s)
    feed "$inbox" < examples/instructions/orders.csv
    feed "$inbox" < examples/instructions/task.csv
    sleep 0.5
    xdotool key F9 # the order key: the three orders above go out
    sleep 1
    iconv -f UTF-8 -t GBK <<CSV | feed "$inbox"
23,0,36.20,600036,300,8880000001,2,2,,招商银行 限价买入,,$now
24,5,0,000333,200,8880000001,2,2,,美的集团 卖出,,$now
23,0,4.85,601398,1000,8880000001,2,2,,工商银行 限价买入,,$now
23,1,0,510050,500,8880000001,2,2,,上证50ETF 最新价买入,,$now
CSV
    sleep 1.5
    import -window root "$OUT/window-$theme.png"

    xdotool mousemove 150 37 click 1 # the "已处理" tab
    sleep 0.5
    xdotool key ctrl+comma # the settings dialog
    sleep 1.5
    import -window root "$OUT/settings-$theme.png"

    kill "$pid"
    wait "$pid" || true
    rm -rf "$work"
}

shoot dark false
shoot light true
ls -l "$OUT"
