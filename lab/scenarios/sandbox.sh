# The lab's sandbox as shell functions, sourced by scripts/demo (bash, run from the repository's
# root). One build and one display serve every sandbox of a demo; each sandbox is a fresh Wine
# prefix cloned from the template, with the tool, the lab programs, the stand-in shutdown.exe
# and the lab task scheduler in place.
#
#   lab_kind                  what this machine runs (scripts/probe-32bit): i686 or x86-64
#   lab_build                 dependencies, then hfremove.exe and the lab programs (sets lab_exe)
#   lab_display               Xvfb unless DISPLAY is set
#   lab_new_sandbox <name>    a fresh prefix under build/lab/<name>.XXXXXX (sets lab_run)
#   lab_plant <table>         plants the table, restarts the sandbox, starts the "run" services
#   lab_inventory <table> <file>
#   lab_drive <name> <answer> [labdrive options]   runs hfremove.exe through its window; the
#                             report goes to $lab_run/<name>.txt, the time taken to lab_seconds
#   lab_end_sandbox           ends the sandbox's processes; removes it unless lab_keep=1
#   lab_verdict <table> <before> <after>   the artefact table, each line against its "meant"

lab_wine64=/usr/lib/wine/wine64
lab_wineserver=/usr/lib/wine/wineserver64
# Where the machine runs 32-bit code the lab proves the product itself, the i686 build, under
# WoW64; elsewhere the x86-64 build of the same sources stands in. lab_wine is the loader of the
# build's programs (the 32-bit one under WoW64); lab_wine64 runs the prefix's own 64-bit tools.
lab_probe_line=$(./scripts/probe-32bit)
if ./scripts/probe-32bit --quiet; then
    lab_kind=i686
    lab_preset=win32
    lab_wine=/usr/lib/wine/wine
    lab_about_build="i686 under WoW64"
else
    lab_kind=x86-64
    lab_preset=win64
    lab_wine=$lab_wine64
    lab_about_build="x86-64 stand-in: this machine runs no 32-bit code"
    [ "${HF_FORCE_NO_32BIT:-0}" = 1 ] && lab_about_build="x86-64 stand-in: HF_FORCE_NO_32BIT=1 rules 32-bit code out"
fi
lab_build_dir=${HF_LAB_BUILD_DIR:-build/$lab_preset}
lab_keep=${lab_keep:-0}
lab_xvfb=
lab_run=
lab_prefix=
lab_exe=
lab_seconds=0

lab_step() { echo "demo: $*"; }
lab_die() {
    echo "demo: $*" >&2
    exit 1
}

# --- the build and the display ---------------------------------------------------------------
lab_build() {
    ./scripts/deps all || lab_die "installing dependencies failed"
    lab_step "building hfremove.exe and the lab programs ($lab_preset preset, $lab_build_dir)"
    if [ "$lab_build_dir" = "build/$lab_preset" ]; then
        cmake --preset $lab_preset >/dev/null || { cmake --preset $lab_preset; lab_die "configuring failed"; }
    else
        cmake --preset $lab_preset -B "$lab_build_dir" >/dev/null ||
            { cmake --preset $lab_preset -B "$lab_build_dir"; lab_die "configuring failed"; }
    fi
    # The lab's programs by name, not lab/all: a half-written lab tool elsewhere must not stop
    # the demo.
    cmake --build "$lab_build_dir" -j 2 --target hfremove labplant labinventory labdrive \
        RegGuardSvc labshutdown hf_lab_scheduler labquiet >"$lab_build_dir/lab-build.log" 2>&1 ||
        {
            tail -n 40 "$lab_build_dir/lab-build.log"
            lab_die "building failed (log: $lab_build_dir/lab-build.log)"
        }
    lab_exe=$lab_build_dir/app/hfremove.exe
    [ -f "$lab_exe" ] || lab_exe=$(find "$lab_build_dir" -name hfremove.exe -print -quit)
    # HF_LAB_EXE: another hfremove.exe of the same build kind, e.g. the signed release.
    [ -z "${HF_LAB_EXE:-}" ] || lab_exe=$HF_LAB_EXE
    [ -n "$lab_exe" ] && [ -f "$lab_exe" ] || lab_die "no hfremove.exe in $lab_build_dir"
    lab_step "running $lab_exe ($(file -b "$lab_exe" | cut -d, -f1))"
}

# The demo's first lines: which build it proves, and why.
lab_say_build() {
    lab_step "build: $lab_about_build"
    echo "demo: $lab_probe_line"
    if [ "$lab_kind" = i686 ]; then
        lab_step "the lab runs the product itself, the i686 hfremove.exe the README tells users to copy, in a 64-bit prefix laid out as 64-bit Windows (System32 is SysWOW64, Sysnative the native folder)"
    else
        lab_step "the lab runs the x86-64 build of the same sources; the i686 product build runs where the machine runs 32-bit code"
    fi
}

lab_display() {
    [ -z "${DISPLAY:-}" ] || return 0
    local n
    for n in $(seq 100 149); do
        [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
        Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        lab_xvfb=$!
        export DISPLAY=:$n
        for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
        return 0
    done
    lab_die "no free display for Xvfb"
}

# Ends the current sandbox and the display; the EXIT trap of the demo.
lab_cleanup() {
    lab_end_sandbox
    [ -n "$lab_xvfb" ] && kill "$lab_xvfb" 2>/dev/null
    lab_xvfb=
}

# --- one sandbox -----------------------------------------------------------------------------
lab_winpath() { echo "Z:$(realpath -m "$1" | tr / '\\')"; }  # Linux path -> Windows path
lab_w() { timeout "${limit:-120}" "$lab_wine" "$@"; }          # the build's programs, time-limited
lab_w64() { timeout "${limit:-120}" "$lab_wine64" "$@"; }      # the prefix's 64-bit tools

# A persistent wineserver, so services keep running between the lab's programs. The first
# program starts the sandbox's own background processes, which inherit its standard streams:
# give them nothing of ours to hold open.
lab_boot() {
    "$lab_wineserver" -p
    lab_w64 cmd /c exit </dev/null >/dev/null 2>&1
}

# A fresh prefix is a copy (hard links, ~2 s) of one that lab/prefix made and nothing has run
# in; that one is made once per version of lab/prefix (~15-45 s).
lab_template() {
    lab_template_dir=build/lab/template-$lab_kind-$(sha256sum lab/prefix | cut -c1-12)
    mkdir -p build/lab
    (
        flock 9
        if [ ! -f "$lab_template_dir/.ready" ]; then
            lab_step "making the sandbox template with lab/prefix create ($lab_template_dir)"
            rm -rf build/lab/template-$lab_kind-* build/lab/template-[0-9a-f]*
            timeout 300 lab/prefix create "$PWD/$lab_template_dir" && touch "$lab_template_dir/.ready"
        fi
    ) 9>build/lab/template.lock
    [ -f "$lab_template_dir/.ready" ] || lab_die "creating the sandbox template failed"
}

lab_new_sandbox() {
    local name=$1
    lab_end_sandbox
    lab_template
    mkdir -p build/lab
    lab_run=$(mktemp -d "$PWD/build/lab/$name.XXXXXX")
    lab_prefix=$lab_run/prefix
    export WINEPREFIX=$lab_prefix WINEDEBUG=-all WINEARCH=win64
    lab_step "fresh sandbox prefix $lab_prefix (display $DISPLAY)"
    lab/prefix clone "$lab_template_dir" "$lab_prefix" || lab_die "copying the sandbox template failed"

    # The tool as a user would have it, in a folder of its own. The stand-in shutdown.exe
    # replaces the system's: Wine's ShellExecuteW finds "shutdown.exe" in the program's System32
    # first (SysWOW64 for a 32-bit program), and Wine prefers its built-in programs there unless
    # told otherwise (the override below). rm first: the prefix shares its files with the
    # template through hard links. lab_system32 is the program's System32 as Linux sees it.
    local appdir=$lab_prefix/drive_c/hfremove
    lab_system32=$lab_prefix/drive_c/windows/system32
    [ "$lab_kind" = i686 ] && lab_system32=$lab_prefix/drive_c/windows/syswow64
    mkdir -p "$appdir" "$lab_prefix/drive_c/lab"
    cp "$lab_exe" "$appdir/hfremove.exe"
    rm -f "$lab_system32/shutdown.exe"
    cp "$lab_build_dir/lab/shutdown/shutdown.exe" "$lab_system32/shutdown.exe"
    local f
    for f in "$lab_build_dir"/lab/plant/labplant.exe "$lab_build_dir"/lab/inventory/labinventory.exe \
        "$lab_build_dir"/lab/drive/labdrive.exe "$lab_build_dir"/lab/quiet/labquiet.exe; do
        cp "$f" "$lab_prefix/drive_c/lab/"
    done

    lab_boot
    # Two load-order overrides: the stand-in shutdown.exe rather than Wine's built-in one, and
    # no crash debugger (a program that crashes ends at once instead of waiting in winedbg).
    # Checked afterwards, and set again once if they did not arrive.
    lab_overrides() {
        lab_w64 reg add 'HKCU\Software\Wine\DllOverrides' /v shutdown.exe /t REG_SZ /d native /f &&
            lab_w64 reg add 'HKCU\Software\Wine\DllOverrides' /v winedbg.exe /t REG_SZ /d '' /f &&
            lab_w64 reg query 'HKCU\Software\Wine\DllOverrides' | tr -d '\r' >"$lab_run/overrides.txt" &&
            grep -Eq '^ +shutdown\.exe +REG_SZ +native$' "$lab_run/overrides.txt" &&
            grep -Eq '^ +winedbg\.exe +REG_SZ *$' "$lab_run/overrides.txt"
    }
    lab_overrides >/dev/null 2>&1 || lab_overrides >/dev/null ||
        lab_die "could not set the load-order overrides (stand-in shutdown.exe, no crash debugger)"
    local scheduler=$lab_build_dir/lab/scheduler/labtaskschd.dll
    if [ -f "$scheduler" ]; then
        # Through the build's loader: a 32-bit DLL registers in the 32-bit registry view, where
        # a 32-bit client's CoCreateInstance looks the class up.
        cp "$scheduler" "$lab_prefix/drive_c/lab/labtaskschd.dll"
        lab_w regsvr32 /s 'C:\lab\labtaskschd.dll' || lab_die "registering the lab task scheduler failed"
        lab_step "lab task scheduler ($lab_kind) registered for $lab_kind clients (Wine's own cannot list tasks)"
    else
        lab_step "WARNING: no lab task scheduler ($scheduler): Wine's own cannot list tasks"
    fi
}

lab_end_sandbox() {
    [ -n "$lab_prefix" ] && [ -d "$lab_prefix" ] &&
        WINEPREFIX=$lab_prefix timeout 20 "$lab_wineserver" -k >/dev/null 2>&1
    if [ -n "$lab_run" ]; then
        if [ "$lab_keep" = 1 ]; then
            echo "demo: sandbox kept: $lab_run (prefix: $lab_prefix; WINEPREFIX=$lab_prefix $lab_wine64 ... to look inside)"
        else
            rm -rf "$lab_run"
        fi
    fi
    lab_run=
    lab_prefix=
}

# Plants every line of the table; then a restart, as after the infection: the service manager
# rereads its keys, auto-start services come up; then the "run" services are started.
lab_plant() {
    local table=$1
    lab_step "planting $(grep -cvE '^\s*(#|$)' "$table") artefacts from $table"
    lab_w 'C:\lab\labplant.exe' plant "$(lab_winpath "$table")" "$(lab_winpath "$(dirname "$table")")" \
        "$(lab_winpath lab/plant/tasks)" "$(lab_winpath "$lab_build_dir/lab/plant")" \
        "$(lab_winpath "$lab_build_dir/lab/services")" >"$lab_run/plant.log" 2>&1
    local rc=$?
    cat "$lab_run/plant.log"
    [ $rc = 0 ] || lab_die "planting failed"
    timeout 30 "$lab_wineserver" -k
    timeout 30 "$lab_wineserver" -w
    lab_boot
    lab_w 'C:\lab\labplant.exe' start "$(lab_winpath "$table")" >"$lab_run/start.log" 2>&1
    rc=$?
    cat "$lab_run/start.log"
    [ $rc = 0 ] || lab_die "starting the planted services failed"
}

lab_inventory() {
    lab_w 'C:\lab\labinventory.exe' "$(lab_winpath "$1")" "$(lab_winpath "$2")" ||
        lab_die "inventory ($2) failed"
}

# Its output goes to a file, not a pipe: a stray process holding a pipe open would hang the demo.
lab_drive() {
    local name=$1 answer=$2
    shift 2
    mkdir -p "$lab_run/shots-$name"
    local t0=$EPOCHREALTIME
    limit=150 lab_w 'C:\lab\labdrive.exe' --exe 'C:\hfremove\hfremove.exe' --answer "$answer" \
        --shots "$(lab_winpath "$lab_run/shots-$name")" --report "$(lab_winpath "$lab_run/$name.txt")" \
        --timeout 60 --wait-file 'C:\windows\system32\shutdown-calls.txt' "$@" >"$lab_run/$name.log" 2>&1
    local rc=$?
    lab_seconds=$(awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }')
    sed 's/^/  window: /' "$lab_run/$name.log"
    return $rc
}

# The first value of a key in a labdrive report.
lab_report() { sed -n "s/^$2=//p" "$lab_run/$1.txt" 2>/dev/null | head -n1; }

# The state of the artefact <kind> <target> in an inventory. The target goes through the
# environment: awk -v would read "\v1.0" in a path as an escape.
lab_state() {
    k=$2 t=$3 awk -F'|' '$2 == ENVIRON["k"] && $3 == ENVIRON["t"] { sub(/^[^|]*\|[^|]*\|[^|]*\|/, ""); print; exit }' "$1"
}

# Screenshots of one drive to build/lab/screenshots/<prefix>-*.png.
lab_screenshots() {
    local name=$1 prefix=$2 shots=build/lab/screenshots bmp png
    mkdir -p "$shots"
    rm -f "$shots/$prefix"-*.png
    for bmp in "$lab_run/shots-$name"/*.bmp; do
        [ -f "$bmp" ] || continue
        png=$shots/$prefix-$(basename "$bmp" .bmp).png
        convert "$bmp" "$png" && echo "demo: screenshot $PWD/$png"
    done
}

# --- checks ----------------------------------------------------------------------------------
lab_failed=0
# lab_check <what> <seen> <meant>: one line, "ok" or "NO" with what was meant.
lab_check() {
    if [ "$2" = "$3" ]; then
        printf '  ok  %-32s %s\n' "$1" "${2:-(none)}"
    else
        printf '  NO  %-32s %s   (meant: %s)\n' "$1" "${2:-(nothing)}" "$3"
        lab_failed=1
    fi
}
# lab_check_that <what> <seen> <meant, in words> <test...>: "ok" when the test command succeeds.
lab_check_that() {
    local what=$1 seen=$2 meant=$3
    shift 3
    if "$@"; then
        printf '  ok  %-32s %s\n' "$what" "$seen"
    else
        printf '  NO  %-32s %s   (meant: %s)\n' "$what" "${seen:-(nothing)}" "$meant"
        lab_failed=1
    fi
}

lab_trim() {
    local t=$1
    t=${t#"${t%%[![:space:]]*}"}
    echo "${t%"${t##*[![:space:]]}"}"
}

# The table *artefact | before | after | meant | ok*, then a summary in plain words. Meant is
# gone (absent after the run), kept (unchanged) or state=<state> (exactly that after the run).
lab_verdict() {
    local table=$1 before=$2 after_file=$3
    local -A meant options after
    local n=0 raw o m line kind target state
    while IFS= read -r raw; do
        n=$((n + 1))
        [[ "$raw" =~ ^[[:space:]]*(#|$) ]] && continue
        IFS='|' read -r _ _ o m <<<"$raw"
        options[$n]=$(lab_trim "$o")
        meant[$n]=$(lab_trim "$m")
    done <"$table"
    while IFS='|' read -r line _ _ state; do after[$line]=$state; done <"$after_file"

    lab_verdict_total=0
    lab_verdict_bad=0
    echo
    echo "Artefacts ($table)"
    local summary=() kept_ok=0 a ok why label
    printf '  %-62s | %-30s | %-30s | %-5s | %s\n' "artefact" "before" "after" "meant" "ok"
    while IFS='|' read -r line kind target state; do
        a=${after[$line]:-(not inventoried)}
        m=${meant[$line]}
        ok=ok
        why=
        if [ "$state" = absent ] || [[ "$state" == *failed:* ]]; then
            ok=NO why="was not planted ($state)"
        elif [[ "$kind" == service && ";${options[$line]};" =~ \;[[:space:]]*run[[:space:]]*\; && "$state" != running ]]; then
            ok=NO why="was not running before the run ($state)"
        elif [ "$m" = gone ] && [ "$a" != absent ]; then
            ok=NO why="should be gone, is: $a"
        elif [ "$m" = kept ] && [ "$a" != "$state" ]; then
            ok=NO why="should be left alone, changed from \"$state\" to \"$a\""
        elif [[ "$m" == state=* ]] && [ "$a" != "${m#state=}" ]; then
            ok=NO why="should be \"${m#state=}\", is: $a"
        fi
        label="$kind $target"
        [ ${#label} -le 62 ] || label="${label:0:28}...${label: -31}"
        printf '  %-62s | %-30s | %-30s | %-5s | %s\n' "$label" "$state" "$a" "${m:0:5}" "$ok"
        lab_verdict_total=$((lab_verdict_total + 1))
        if [ "$ok" = NO ]; then
            lab_verdict_bad=$((lab_verdict_bad + 1))
            lab_failed=1
            summary+=("NOT AS MEANT: $kind $target $why")
        elif [ "$m" = kept ]; then
            kept_ok=$((kept_ok + 1))
        elif [[ "$m" == state=* ]]; then
            summary+=("$target: $a, as meant")
        else
            case "$kind" in
                service) summary+=("$target: $([ "$state" = running ] && echo "stopped and deleted" || echo deleted)") ;;
                driver) summary+=("$target: driver service deleted (it was $state)") ;;
                key) summary+=("HKLM\\$target: deleted") ;;
                file) summary+=("$target: deleted") ;;
                task) summary+=("task $target: deleted") ;;
            esac
        fi
    done <"$before"
    echo
    echo "Summary"
    local s
    for s in "${summary[@]}"; do echo "  $s"; done
    echo "  $kept_ok decoys and bystanders left as they were"
}
