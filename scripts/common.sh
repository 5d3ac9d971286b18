# Shared by scripts/start and scripts/test: build, and the audio and display a headless machine lacks.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir="${VELORA_BUILD_DIR:-$root/build}"

# build_release [target...]: everything when no target is named.
# VELORA_CMAKE_ARGS: extra configure arguments (scripts/test passes the sanitizer switch).
build_release() {
    # shellcheck disable=SC2086
    cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release ${VELORA_CMAKE_ARGS:-} >/dev/null
    local targets=()
    [ $# -gt 0 ] && targets=(--target "$@")
    cmake --build "$build_dir" -j"$(nproc)" "${targets[@]}"
}

# A PulseAudio daemon with a null sink gives calls, cues and hold music an output device.
ensure_sound_server() {
    if pactl info >/dev/null 2>&1; then
        export_sound_server
        return 0
    fi
    echo "No sound server answers: starting PulseAudio with a null sink"
    pulseaudio -D --exit-idle-time=-1 -n --load="module-null-sink sink_name=nullsink" \
        --load="module-native-protocol-unix" --load="module-always-sink" >/dev/null 2>&1 || true
    for _ in $(seq 50); do
        if pactl info >/dev/null 2>&1; then
            export_sound_server
            return 0
        fi
        sleep 0.1
    done
    echo "warning: PulseAudio did not come up; sound will be silent" >&2
}

# Programs started with another HOME (tests give each run its own) still find the same server.
export_sound_server() {
    local server
    server=$(pactl info 2>/dev/null | sed -n 's/^Server String: //p')
    [ -n "$server" ] && export PULSE_SERVER="unix:${server#unix:}"
    return 0
}
