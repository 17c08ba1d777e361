# Runs inside the install check's Debian root, as the ordinary user "driver",
# with loopback as the only network: plays a driver who starts Velmora from
# /usr/bin, sets the car's host and port in the dialog, restarts, and drives
# the installed car simulator.
set -eu

fail() {
    echo "installed run: $*" >&2
    [ -f "$HOME/carsim.log" ] && sed 's/^/  carsim: /' "$HOME/carsim.log" >&2
    exit 1
}

# wait_for SECONDS COMMAND...: retries the command until it succeeds.
wait_for() {
    tries=$(($1 * 10))
    shift
    while ! "$@" >/dev/null 2>&1; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.1
    done
}

window_of() {
    timeout 30 xdotool search --sync --name "$1" | head -n 1
}

start_velmora() {
    velmora >>"$HOME/velmora.log" 2>&1 &
    velmora_pid=$!
    started="$started $!"
    main=$(window_of '^Velmora$') || fail "the main window did not show"
    # Retried: the window manager may still be starting.
    wait_for 30 xdotool windowactivate --sync "$main" || fail "cannot activate the main window"
}

exit_velmora() {
    xdotool key --clearmodifiers alt+f e
    wait_for 30 sh -c "! kill -0 $velmora_pid" || fail "Velmora did not exit"
}

# Whatever this run started ends with it, passed or failed.
started=""
trap 'kill $started 2>/dev/null || true' EXIT

export DISPLAY=:7
cd "$HOME"
Xvfb :7 -screen 0 1024x768x24 -nolisten tcp >xvfb.log 2>&1 &
started="$started $!"
wait_for 30 xdotool getmouselocation || fail "Xvfb did not start"
openbox >openbox.log 2>&1 &
started="$started $!"

velmora-carsim --listen 127.0.0.1 --port 0 >carsim.log 2>&1 &
started="$started $!"
wait_for 30 grep -q '^velmora-carsim listening on ' carsim.log || fail "the simulator did not start"
port=$(sed -n 's/^velmora-carsim listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' carsim.log)

# The per-user file starts out naming another loopback address and a port
# nobody listens on, so even the first run can reach nothing but loopback.
# The dialog then sets the simulator's address, which must survive a restart.
settings="$HOME/.config/Velmora/Velmora.ini"
mkdir -p "$(dirname "$settings")"
printf 'RemotePort=1\r\nRemoteHost=127.0.0.2\r\n' >"$settings"

start_velmora
xdotool key --clearmodifiers alt+s c
dialog=$(window_of '^Velmora - Comm Port Settings$') || fail "the settings dialog did not open"
wait_for 30 xdotool windowactivate --sync "$dialog" || fail "cannot activate the dialog"
# The focus starts on OK; the host field is two tabs on, the port one more.
xdotool key Tab Tab ctrl+a
xdotool type 127.0.0.1
xdotool key Tab ctrl+a
xdotool type "$port"
xdotool key Return
exit_velmora

grep -q "^RemoteHost=127.0.0.1" "$settings" || fail "host not saved: $(cat "$settings")"
grep -q "^RemotePort=$port" "$settings" || fail "port not saved: $(cat "$settings")"

# Second run: the settings came back, so a drive key reaches the simulator.
start_velmora
xdotool keydown Up
wait_for 30 grep -q ' 2 forward$' carsim.log || fail "the Up key did not reach the simulator"
xdotool keyup Up
wait_for 30 grep -q ' 5 stop$' carsim.log || fail "releasing Up did not stop the car"
exit_velmora
echo "installed run: started from /usr/bin, kept its settings in $settings, drove the simulator"
