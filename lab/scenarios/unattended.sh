# The quiet mode in the lab, sourced by scenarios.sh: hfremove.exe started the way deployment
# tools start it (labquiet: standard output captured, every window of it listed while it runs,
# the full exit code), and its report held against the inventory's before/after difference.
#
#   lab_quiet <name> [labquiet options] [-- <hfremove options>]
#                                       standard output to $lab_run/<name>.out as the tools read
#                                       it (decoded with the OEM code page, or --decode utf8; the
#                                       bytes in <name>.out.raw), labquiet's key=value report to
#                                       $lab_run/<name>.txt (lab_report reads it)
#   lab_report_vs_inventory <report> <before> <after>
#                                       every change the report names is seen in the inventory,
#                                       and every change the inventory shows is in the report
#   lab_detect <name> <table> <inventory> <exit code>
#                                       hfremove.exe /detect as lab_quiet runs it: the exit code,
#                                       no window, "would-" lines only, and the inventory after it
#                                       equal to <inventory> (taken just before)
#   lab_detect_vs_quiet <detect report> <quiet report>
#                                       the two reports line for line, "would-" taken off

lab_quiet() {
    local name=$1
    shift
    local t0=$EPOCHREALTIME
    limit=180 lab_w 'C:\lab\labquiet.exe' --exe 'C:\hfremove\hfremove.exe' \
        --out "$(lab_winpath "$lab_run/$name.out")" --report "$(lab_winpath "$lab_run/$name.txt")" \
        --timeout 150 "$@" >"$lab_run/$name.log" 2>&1
    local rc=$?
    lab_seconds=$(awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }')
    return $rc
}

# The report's lines without the line ends; the changes only (no failure, no exit line).
lab_report_lines() { tr -d '\r' <"$1" | grep -v -e '^exit	' -e '^failure	'; }
# The closing line's code, and the failure line's text.
lab_report_exit() { tr -d '\r' <"$1" | sed -n 's/^exit	\([0-9]*\) .*/\1/p' | tail -n1; }
# The failure text with the line break shown as \r\n and the %uXXXX of what the code page could
# not carry turned back into characters (a surrogate pair into one).
lab_report_failure() {
    tr -d '\r' <"$1" | sed -n 's/^failure	//p' | sed 's/%0D/\\r/g; s/%0A/\\n/g' |
        perl -CS -pe 's/%u(D[89AB][0-9A-F]{2})%u(D[C-F][0-9A-F]{2})/chr(0x10000 + ((hex($1) - 0xD800) << 10) + hex($2) - 0xDC00)/ge; s/%u([0-9A-F]{4})/chr(hex($1))/ge'
}

# A path of the table as the system names it (the report's form), lower case: under WoW64 the
# tool's System32 is SysWOW64 and its Sysnative the native System32.
lab_system_path() {
    local p=${1,,}
    if [ "$lab_kind" = i686 ] && [[ "$p" == 'c:\windows\system32\'* ]]; then
        p='c:\windows\syswow64\'${p#'c:\windows\system32\'}
    fi
    [[ "$p" == 'c:\windows\sysnative\'* ]] && p='c:\windows\system32\'${p#'c:\windows\sysnative\'}
    echo "$p"
}

lab_report_vs_inventory() {
    local report=$1 before=$2 after=$3 line kind target state now key
    local services_key='system\currentcontrolset\services\'
    local -A was changed  # "<kind>|<lower-case target>" -> state before / after, changed lines only
    local -A listed       # every inventoried "<kind>|<target>"
    while IFS='|' read -r line kind target state; do was[$line]=$state; done <"$before"
    while IFS='|' read -r line kind target now; do
        case "$kind" in file) key="file|$(lab_system_path "$target")" ;; service | driver) key="service|${target,,}" ;; *) key="$kind|${target,,}" ;; esac
        listed[$key]=1
        [ "${was[$line]:-}" = "$now" ] || changed[$key]="${was[$line]:-} -> $now"
    done <"$after"

    # The report against the inventory: each line must be a change the inventory saw.
    local -A explained
    local rkind object o total=0 bad=0 seen why
    while IFS=$'\t' read -r rkind object; do
        [ -n "$rkind" ] || continue
        total=$((total + 1))
        o=${object,,}
        seen=
        why=
        case "$rkind" in
            deleted)
                key="file|$o"
                [[ "${changed[$key]:-}" == *"-> absent" ]] && seen=${changed[$key]:-} && explained[$key]=1 ;;
            pending-restart)
                key="file|$o"
                [[ "${changed[$key]:-}" == *"-> pending deletion" ]] && seen=${changed[$key]:-} && explained[$key]=1 ;;
            service-deleted)
                key="service|$o"
                [[ "${changed[$key]:-}" == *"-> absent"* ]] && seen=${changed[$key]:-} && explained[$key]=1 ;;
            service-stopped | service-stop-pending)
                key="service|$o"
                [[ "${changed[$key]:-}" == running*" -> "* && "${changed[$key]:-}" != *"-> running" ]] &&
                    seen=${changed[$key]:-} && explained[$key]=1 ;;
            service-disabled)
                # The inventory reads no start type; a disabled service the run also deleted is
                # seen going, and that is all it can show.
                key="service|$o"
                [ -n "${changed[$key]:-}" ] && seen="${changed[$key]:-} (start type not inventoried)" ;;
            key-deleted)
                key="key|${o#hklm\\}"
                if [[ "${changed[$key]:-}" == *"-> absent" ]]; then
                    seen=${changed[$key]:-} && explained[$key]=1
                else
                    # A key the table does not list: under a listed key or service that went.
                    local k
                    for k in "${!changed[@]}"; do
                        if { [[ "$k" == key\|* ]] && [[ "${o#hklm\\}" == "${k#key|}\\"* ]]; } ||
                            { [[ "$k" == service\|* ]] && [[ "${o#hklm\\}" == "$services_key${k#service|}" || "${o#hklm\\}" == "$services_key${k#service|}\\"* ]]; }; then
                            [[ "${changed[$k]:-}" == *"-> absent"* ]] && seen="below ${k#*|}: ${changed[$k]:-}"
                        fi
                    done
                    [ -n "${listed[$key]:-}" ] && [ -z "$seen" ] && why="listed, and not seen going"
                fi ;;
            started)
                # The sandbox's stand-in shutdown.exe records the arguments it was started with.
                # The object is the command line: the full path, quoted, then the arguments.
                [[ "${o}" == *'\shutdown.exe" -r -t 00' ]] &&
                    seen=$(tr -d '\r' <"$lab_system32/shutdown-calls.txt" 2>/dev/null | paste -sd'|') &&
                    [ -n "$seen" ] && seen="the stand-in shutdown.exe ran with: $seen" ;;
            value-deleted)
                key="key|${o#hklm\\}"
                key=${key%\\*}
                [ -n "${changed[$key]:-}" ] && seen=${changed[$key]:-} && explained[$key]=1 ;;
        esac
        if [ -n "$seen" ]; then
            printf '  ok  %-16s %-62s %s\n' "$rkind" "$object" "$seen"
        else
            printf '  NO  %-16s %-62s %s\n' "$rkind" "$object" "not seen in the inventory${why:+ ($why)}"
            bad=$((bad + 1))
        fi
    done < <(lab_report_lines "$report")
    lab_check "report lines the inventory saw" "$((total - bad)) of $total" "$total of $total"

    # The inventory against the report: each change it saw must be in the report.
    local missing=0 count=0 k by
    for k in "${!changed[@]}"; do
        count=$((count + 1))
        [ -n "${explained[$k]:-}" ] && continue
        by=
        if [[ "$k" == key\|* ]]; then
            # Gone with a deleted ancestor, a deleted subkey or value, or its deleted service.
            while IFS=$'\t' read -r rkind object; do
                o=${object,,}
                o=${o#hklm\\}
                case "$rkind" in
                    key-deleted) [[ "${k#key|}" == "$o\\"* || "$o" == "${k#key|}\\"* ]] && by="$rkind $object" ;;
                    value-deleted) [[ "${o%\\*}" == "${k#key|}" ]] && by="$rkind $object" ;;
                    service-deleted) [[ "${k#key|}" == "$services_key$o" || "${k#key|}" == "$services_key$o\\"* ]] && by="$rkind $object (the manager removes its key)" ;;
                esac
                [ -n "$by" ] && break
            done < <(lab_report_lines "$report")
        fi
        if [ -z "$by" ]; then
            printf '  NO  inventory %-50s %s: not in the report\n' "${k#*|}" "${changed[$k]:-}"
            missing=$((missing + 1))
        fi
    done
    lab_check "inventory changes in the report" "$((count - missing)) of $count" "$count of $count"
}

# The checks of one quiet run: exit code, no window, the closing line's code.
lab_check_quiet_run() {
    local name=$1 rc=$2 code=$3
    lab_check "labquiet finished" "$([ "$rc" = 0 ] && echo yes || echo "no (rc $rc)")" yes
    lab_check "hfremove.exe exit code" "$(lab_report "$name" exit_code)" "$code"
    lab_check "windows of hfremove.exe" "$(lab_report "$name" windows_seen) seen" "0 seen"
    sed -n 's/^window=/    window: /p; s/^window_not_counted=/    not counted: /p' "$lab_run/$name.txt"
    lab_check "closing line" "$(lab_report_exit "$lab_run/$name.out")" "$code"
}

# /detect on the sandbox as it stands: what a run would change, and nothing changes. The checks
# print at once; the inventory after it goes to $lab_run/<name>-inventory.txt.
lab_detect() {
    local name=$1 table=$2 inventory=$3 code=$4 rc
    lab_step "hfremove.exe /detect, standard output through a pipe (nothing may change)"
    lab_quiet "$name" -- /detect
    rc=$?
    lab_inventory "$table" "$lab_run/$name-inventory.txt"
    echo "/detect ($lab_seconds s, labquiet included)"
    lab_check_quiet_run "$name" "$rc" "$code"
    lab_check "report lines not would-<kind>" \
        "$(lab_report_lines "$lab_run/$name.out" | grep -vc '^would-[a-z-]*	')" 0
    lab_check "inventory after /detect" \
        "$(cmp -s "$inventory" "$lab_run/$name-inventory.txt" && echo unchanged || echo changed)" unchanged
    diff "$inventory" "$lab_run/$name-inventory.txt" | grep '^[<>]' | sed 's/^/    /'
}

# The report of /detect against the report of the /quiet run started right after it: equal line
# for line once "would-" is taken off, the exit line aside and two differences allowed: a
# rename's random suffix (<name>.<16 hex digits>) and a service the real run let go of while
# STOP_PENDING, which the what-if stop reads as stopped.
lab_detect_vs_quiet() {
    local normal='s/\.[0-9a-f]{16}( |$)/.<16 hex digits>\1/g'
    tr -d '\r' <"$1" | grep -v '^exit	' | sed -E 's/^would-//; '"$normal" >"$1.cmp"
    tr -d '\r' <"$2" | grep -v '^exit	' |
        sed -E 's/^service-stop-pending	/service-stopped	/; '"$normal" >"$2.cmp"
    lab_check "/detect's report against /quiet's" \
        "$(cmp -s "$1.cmp" "$2.cmp" && echo "the same $(grep -c . "$2.cmp") lines" ||
            echo "$(diff "$1.cmp" "$2.cmp" | grep -c '^[<>]') lines differ")" \
        "the same $(grep -c . "$2.cmp") lines"
    diff "$1.cmp" "$2.cmp" | sed -n 's/^</    \/detect only:/p; s/^>/    \/quiet only: /p'
}

# The quiet mode end to end: /detect first, which changes nothing and foresees the quiet run's
# report; a bad command line opens no box and changes nothing (only /? shows the usage box); the
# quiet run leaves every artefact as the window's run does and reports exactly what changed, a
# second one finds nothing, a failing stage ends it with 1603 and the error box's text, and
# /forcerestart after changes starts the restart (1641).
scenario_unattended() {
    local table=lab/plant/artefacts.txt rc
    lab_new_sandbox unattended
    lab_plant "$table"
    lab_inventory "$table" "$lab_run/before.txt"
    lab_detect detect "$table" "$lab_run/before.txt" 1

    lab_step "hfremove.exe /quiet /bogus (a bad command line)"
    lab_quiet bogus-quiet -- /quiet /bogus
    rc=$?
    lab_step "hfremove.exe /bogus (a bad command line in the window mode: no box either)"
    lab_quiet bogus-window --answer-boxes -- /bogus
    local rc_window=$?
    lab_step "hfremove.exe /? (the usage box, answered OK)"
    lab_quiet usage-box --answer-boxes -- /?
    local rc_box=$?
    lab_inventory "$table" "$lab_run/after-bogus.txt"

    lab_step "hfremove.exe /quiet, standard output through a pipe"
    lab_quiet quiet -- /quiet
    local rc_quiet=$? seconds=$lab_seconds
    lab_inventory "$table" "$lab_run/after.txt"

    lab_step "hfremove.exe /quiet again, standard output into a file"
    lab_quiet again --stdout file -- /q
    local rc_again=$?
    lab_inventory "$table" "$lab_run/after-again.txt"

    echo
    echo "A bad command line"
    local usage="hfremove [/quiet | /q] [/norestart | /forcerestart] [/detect] [/utf8] [/? | /help]"
    lab_check_quiet_run bogus-quiet "$rc" 1639
    lab_check "usage on standard output" "$(tr -d '\r' <"$lab_run/bogus-quiet.out" | head -n1)" "$usage"
    lab_check_quiet_run bogus-window "$rc_window" 1639
    lab_check "window mode: usage on standard output" \
        "$(tr -d '\r' <"$lab_run/bogus-window.out" | head -n1)" "$usage"
    lab_check "/?: exit code" "$(lab_report usage-box exit_code)" 0
    # The watcher's own proof: where there is a box, it sees it.
    lab_check "/?: the usage box seen" \
        "$(grep -c '^window=#32770|hfremove|visible' "$lab_run/usage-box.txt") box(es)" "1 box(es)"
    lab_check "labquiet (/?) finished" "$([ "$rc_box" = 0 ] && echo yes || echo "no (rc $rc_box)")" yes
    lab_check "inventory after the three" \
        "$(diff -q "$lab_run/before.txt" "$lab_run/after-bogus.txt" >/dev/null && echo unchanged || echo changed)" unchanged

    echo "hfremove.exe /quiet on the infected sandbox ($seconds s, labquiet included)"
    lab_check_quiet_run quiet "$rc_quiet" 3010
    echo "  the report:"
    tr -d '\r' <"$lab_run/quiet.out" | sed 's/^/    | /'
    lab_verdict_short "$table" "$lab_run/before.txt" "$lab_run/after.txt"
    echo "  the report against the inventory's difference:"
    lab_report_vs_inventory "$lab_run/quiet.out" "$lab_run/before.txt" "$lab_run/after.txt"
    lab_detect_vs_quiet "$lab_run/detect.out" "$lab_run/quiet.out"

    echo "A second quiet run on the cleaned sandbox"
    lab_check_quiet_run again "$rc_again" 0
    lab_check "report lines" "$(lab_report_lines "$lab_run/again.out" | grep -c .)" 0
    lab_check "inventory after it" \
        "$(diff -q "$lab_run/after.txt" "$lab_run/after-again.txt" >/dev/null && echo "as after the first" || echo changed)" \
        "as after the first"

    # The refused task folder, quiet: 1603 with the error box's text; what ran before is reported.
    local refused=lab/scenarios/refused-folder.txt
    lab_new_sandbox unattended-refused
    lab_plant "$refused"
    lab_inventory "$refused" "$lab_run/before.txt"
    lab_detect refused-detect "$refused" "$lab_run/before.txt" 1603
    lab_step "hfremove.exe /quiet with a task folder the scheduler refuses to list"
    lab_quiet refused -- /quiet
    rc=$?
    lab_inventory "$refused" "$lab_run/after.txt"
    lab_step "hfremove.exe /quiet /utf8 once more, the same failure in UTF-8"
    lab_quiet refused-utf8 --decode utf8 -- /quiet /utf8
    local rc_utf8=$?
    echo
    echo "A failing stage, quiet"
    lab_check_quiet_run refused "$rc" 1603
    # The Korean text in the OEM code page: as itself where that is 949, else escaped.
    local cp expect line
    cp=$(lab_report refused decoded_with)
    expect='%uC5D0%uB7EC%uBC1C%uC0DD %uC7AC%uBD80%uD305 %uD6C4 %uB2E4%uC2DC%uC2DC%uB3C4%uD558%uC138%uC694 : '
    [ "$cp" = 949 ] && expect=$lab_error_prefix
    line=$(tr -d '\r' <"$lab_run/refused.out" | sed -n 's/^failure	//p')
    lab_check "failure line in code page $cp, as read" "${line:0:${#expect}}" "$expect"
    lab_check "failure line, read back" "$(lab_report_failure "$lab_run/refused.out")" \
        "${lab_error_prefix}The lab refuses this folder"
    tr -d '\r' <"$lab_run/refused.out" | sed 's/^/    | /'
    lab_check_quiet_run refused-utf8 "$rc_utf8" 1603
    lab_check "/utf8: failure line as it is" \
        "$(tr -d '\r' <"$lab_run/refused-utf8.out" | sed -n 's/^failure	//p')" \
        "${lab_error_prefix}The lab refuses this folder"
    lab_verdict_short "$refused" "$lab_run/before.txt" "$lab_run/after.txt"
    lab_report_vs_inventory "$lab_run/refused.out" "$lab_run/before.txt" "$lab_run/after.txt"
    lab_detect_vs_quiet "$lab_run/refused-detect.out" "$lab_run/refused.out"

    # /forcerestart after a run that made changes: the restart as the window's Yes starts it.
    local restart=lab/scenarios/answer-yes.txt
    lab_new_sandbox unattended-restart
    lab_plant "$restart"
    lab_inventory "$restart" "$lab_run/before.txt"
    lab_step "hfremove.exe /quiet /forcerestart (the stand-in shutdown.exe records how it was started)"
    lab_quiet restart -- /quiet /forcerestart
    rc=$?
    lab_inventory "$restart" "$lab_run/after.txt"
    echo
    echo "/forcerestart after a run that made changes"
    lab_check_quiet_run restart "$rc" 1641
    lab_check "shutdown.exe called with" \
        "$(tr -d '\r' <"$lab_system32/shutdown-calls.txt" 2>/dev/null | paste -sd'|')" "-r -t 00"
    lab_check "shutdown.exe window state" \
        "$(tr -d '\r' <"$lab_system32/shutdown-shows.txt" 2>/dev/null | paste -sd'|')" "SW_HIDE (0)"
    tr -d '\r' <"$lab_run/restart.out" | sed 's/^/    | /'
    lab_verdict_short "$restart" "$lab_run/before.txt" "$lab_run/after.txt"
    lab_report_vs_inventory "$lab_run/restart.out" "$lab_run/before.txt" "$lab_run/after.txt"
}

# The report on Korean Windows: the sandbox under LC_ALL=ko_KR.UTF-8, where Wine's OEM code page
# is 949 (the glibc locale must exist, or Wine misreads the prefix's Hangul file names). /detect
# and /quiet, read as the deployment tools read them there: a Hangul path and the error box's
# Korean text as themselves.
scenario_korean_locale() {
    local table=lab/scenarios/korean-locale.txt rc
    local path='C:\users\홍길동\Documents\WindowsPowerShell\hfuser.bat'
    locale -a 2>/dev/null | grep -qix 'ko_KR\.utf-\{0,1\}8' ||
        lab_die "no ko_KR.UTF-8 locale (scripts/deps makes it)"
    export LC_ALL=ko_KR.UTF-8
    lab_new_sandbox korean-locale
    lab_plant "$table"
    lab_inventory "$table" "$lab_run/before.txt"
    lab_detect detect "$table" "$lab_run/before.txt" 1603
    lab_step "hfremove.exe /quiet"
    lab_quiet quiet -- /quiet
    rc=$?
    lab_inventory "$table" "$lab_run/after.txt"

    echo
    echo "/quiet under the Korean locale"
    lab_check_quiet_run quiet "$rc" 1603
    tr -d '\r' <"$lab_run/quiet.out" | sed 's/^/    | /'
    lab_check "decoded with (/detect, /quiet)" \
        "$(lab_report detect decoded_with), $(lab_report quiet decoded_with)" "949, 949"
    lab_check "deleted, as read" "$(tr -d '\r' <"$lab_run/quiet.out" | sed -n 's/^deleted	//p')" "$path"
    lab_check "failure, as read" "$(tr -d '\r' <"$lab_run/quiet.out" | sed -n 's/^failure	//p')" \
        "${lab_error_prefix}The lab refuses this folder"
    # The bytes themselves, against glibc's code page 949.
    lab_check "lines with 홍길동 in code page 949" \
        "$(LC_ALL=C grep -caF "$(printf '홍길동' | iconv -f UTF-8 -t CP949)" "$lab_run/quiet.out.raw")" 1
    lab_verdict_short "$table" "$lab_run/before.txt" "$lab_run/after.txt"
    lab_detect_vs_quiet "$lab_run/detect.out" "$lab_run/quiet.out"
}

# scripts/demo --quiet: the main table, one quiet run; the report as captured, the exit code,
# the artefact table and the report against the inventory.
lab_quiet_demo() {
    local table=${HF_LAB_TABLE:-lab/plant/artefacts.txt} rc
    lab_new_sandbox quiet
    lab_plant "$table"
    lab_inventory "$table" "$lab_run/before.txt"
    lab_step "running hfremove.exe /quiet, its standard output captured through a pipe"
    lab_quiet quiet -- /quiet
    rc=$?
    lab_inventory "$table" "$lab_run/after.txt"

    echo
    echo "The report (standard output of hfremove.exe /quiet, $lab_seconds s)"
    tr -d '\r' <"$lab_run/quiet.out" | sed 's/^/  /'
    echo
    lab_check_quiet_run quiet "$rc" 3010
    lab_verdict "$table" "$lab_run/before.txt" "$lab_run/after.txt"
    echo
    echo "The report against the inventory's difference"
    lab_report_vs_inventory "$lab_run/quiet.out" "$lab_run/before.txt" "$lab_run/after.txt"
    echo
    if [ "$lab_failed" = 0 ]; then
        echo "demo: PASSED: exit code $(lab_report quiet exit_code), no window, every artefact as meant, every change reported"
    else
        echo "demo: FAILED: see the lines marked NO above"
    fi
    return $lab_failed
}
