# What the recipe tests share: their work folder and the processes they start, the README's
# recipes and the help topic that must give them too, free ports, a real Vesmira with saved
# windows logging to a file, a private rsyslogd, and waiting for a line to arrive.
# Sourced with the test's arguments: BIN_DIR README HELP_TOPIC.

bin_dir=$1
readme=$2
help_topic=$3
me=$(basename "$0" .sh)
work=$(mktemp -d)
received=$work/received.log
groups=()
# Each background source is a pipeline; it runs as a process group of its own, so that ending
# the group ends tail and nc with it (and Vesmira's group its tunnel).
start() {
    setsid "$@" &
    groups+=($!)
}
cleanup() {
    for group in "${groups[@]}"; do kill -- "-$group" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "$me: $*" >&2; exit 1; }

need_tools() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps installs it)"
    done
}

# The text of the fenced block that follows "<!-- recipe: NAME -->" in the README.
recipe() {
    awk -v marker="<!-- recipe: $1 -->" '
        $0 == marker { found = 1; next }
        found == 1 && /^```/ { found = 2; next }
        found == 2 && /^```/ { exit }
        found == 2 { print }
    ' "$readme"
}

# Every named recipe is in the README, and the help topic gives it as a <pre> block of its own.
help_gives_recipes() {
    local help text html
    help=$(<"$help_topic")
    for name in "$@"; do
        text=$(recipe "$name")
        [ -n "$text" ] || fail "the README has no recipe \"$name\""
        html=${text//&/&amp;}
        html=${html//</&lt;}
        html=${html//>/&gt;}
        [[ $help == *"<pre>$html</pre>"* ]] || fail "the help topic doesn't give the README's $name recipe: $text"
    done
}

# A port no socket uses for TCP or UDP; the listeners below take it at once. Below the range the
# system picks the local ports of outgoing connections from (32768 on), so that a connection of a
# test running beside this one can't take the port between the pick and the bind.
free_port() {
    local port
    while :; do
        port=$((20000 + RANDOM % 12000))
        grep -qi ":$(printf '%04X' "$port") " /proc/net/tcp /proc/net/tcp6 /proc/net/udp /proc/net/udp6 2>/dev/null &&
            continue
        echo "$port"
        return
    done
}

wait_for_port() {
    for _ in $(seq 1 200); do
        nc -z 127.0.0.1 "$1" 2>/dev/null && return 0
        sleep 0.1
    done
    fail "nothing listens on port $1 ($2)"
}

# The store text of a saved window NAME on PORT, reopened at start, that logs every line to
# $received; the further arguments are more value lines of its configuration.
quote() { local s=${1//\\/\\\\}; printf '"%s"' "${s//\"/\\\"}"; }
saved_window() {
    local name=$1 port=$2
    shift 2
    cat <<EOF
key "Software" "Tarnwheel" "vesmira" "configs" "$name"
value "" int $port
$(printf '%s\n' "$@")
value "logfile" str $(quote "$received")
key "Software" "Tarnwheel" "vesmira" "OpenWindows"
value "$name" int 1
EOF
}

# Starts Vesmira with the saved windows of the store text WINDOWS, and waits until each port
# given after it listens.
start_vesmira_with() {
    local windows=$1
    shift
    export XDG_CONFIG_HOME=$work/config
    "$bin_dir/vesmira-store" import <<EOF
vesmira-store 1
key "Software" "Tarnwheel" "vesmira"
value "ReopenWindowsOnRestart" int 1
$windows
EOF
    QT_QPA_PLATFORM=offscreen start "$bin_dir/vesmira" > "$work/vesmira.log" 2>&1
    for port in "$@"; do wait_for_port "$port" vesmira; done
}

# Starts Vesmira with one saved window "recipes" on PORT; the further arguments are more value
# lines of its configuration.
start_vesmira() {
    start_vesmira_with "$(saved_window recipes "$@")" "$1"
}

# Starts a private rsyslogd in work folder DIR that forwards with ACTION what arrives on its own
# socket, DIR/log.sock; it never touches the machine's syslog.
start_rsyslogd() {
    local dir=$1 action=$2
    mkdir -p "$dir"
    cat > "$dir/rsyslog.conf" <<EOF
global(workDirectory="$dir")
module(load="imuxsock" SysSock.Use="off")
input(type="imuxsock" Socket="$dir/log.sock")
$action
EOF
    start rsyslogd -n -f "$dir/rsyslog.conf" -i "$dir/rsyslogd.pid" 2> "$dir/rsyslogd.log"
}

# Calls the sending command every half second until a line of the log file matches PATTERN (an
# extended regular expression), so a source that opens late still gets its chance.
expect_line() {
    local name=$1 pattern=$2
    shift 2
    for _ in $(seq 1 60); do
        "$@"
        sleep 0.5
        if grep -qE -- "$pattern" "$received" 2>/dev/null; then
            echo "$me: $name arrived: $(grep -m1 -E -- "$pattern" "$received")"
            return 0
        fi
    done
    fail "$name: no line matching \"$pattern\" arrived; the window received:
$(cat "$received" 2>/dev/null)"
}
