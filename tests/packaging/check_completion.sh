#!/usr/bin/env bash
# Completes --port as bash does for both programs: the COM names, and every
# device 'quillmar-cli ports' lists together with its /dev/serial/by-id link.
#   check_completion.sh COMPLETION_DIR QUILLMAR_CLI SCRATCH_DIR
# Exits 77 (skipped) without bash-completion.
set -euo pipefail
completions=$1 cli=$2 scratch=$3
framework=/usr/share/bash-completion/bash_completion
if [[ ! -r $framework ]]; then
    echo "skipped: bash-completion is not installed"
    exit 77
fi

rm -rf "$scratch"
mkdir -p "$scratch/bin"
# A quillmar-cli that finds an FTDI adapter and a built-in port.
cat >"$scratch/bin/quillmar-cli" <<'END'
#!/bin/sh
[ "$1" = ports ] || exit 2
printf '/dev/ttyUSB0\tFTDI FT232R USB UART, serial A1B2C3D4 (/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3D4-if00-port0)\n'
printf '/dev/ttyS0\t16550A serial port at I/O 0x3F8, driver serial\n'
END
chmod +x "$scratch/bin/quillmar-cli"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The words bash would complete (the last one the word under the cursor),
# through the program's completion function; the candidates one per line.
complete_words() {
    local function=$1 file=$2
    shift 2
    bash -c '
        framework=$1 file=$2 function=$3
        shift 3
        source "$framework"
        source "$file"
        COMP_WORDS=("$@")
        COMP_CWORD=$(($# - 1))
        COMP_LINE="$*"
        COMP_POINT=${#COMP_LINE}
        "$function" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        printf "%s\n" "${COMPREPLY[@]}"
    ' complete "$framework" "$file" "$function" "$@"
}

has() { grep -qxF -- "$2" <<<"$1"; }

by_id=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3D4-if00-port0
for program in quillmar quillmar-cli; do
    if [[ $program == quillmar ]]; then
        got=$(PATH=$scratch/bin:$PATH complete_words _quillmar "$completions/quillmar" quillmar --port '')
    else
        got=$(PATH=$scratch/bin:$PATH complete_words _quillmar_cli "$completions/quillmar-cli" quillmar-cli log --port '')
    fi
    for want in COM1 COM20 /dev/ttyUSB0 /dev/ttyS0 "$by_id"; do
        has "$got" "$want" || fail "$program --port does not offer $want: $(echo $got)"
    done
    for unwanted in FTDI 16550A serial; do
        has "$got" "$unwanted" && fail "$program --port offers the description word $unwanted"
    done
done
got=$(PATH=$scratch/bin:$PATH complete_words _quillmar_cli "$completions/quillmar-cli" quillmar-cli log --port /dev/tty)
[[ $(sort <<<"$got" | tr '\n' ' ') == "/dev/ttyS0 /dev/ttyUSB0 " ]] || fail "--port /dev/tty offers: $(echo $got)"
got=$(complete_words _quillmar_cli "$completions/quillmar-cli" quillmar-cli po)
[[ $got == ports ]] || fail "'po' does not complete to the command ports: $(echo $got)"
got=$(complete_words _quillmar_cli "$completions/quillmar-cli" quillmar-cli ports -)
[[ $got == --help ]] || fail "ports offers options other than --help: $(echo $got)"

# histogram: its options, its statistics, and the names of the user channels
# given before on the line (of --channel, and of the lines of a --channels
# file) among the names --z offers.
got=$(complete_words _quillmar_cli "$completions/quillmar-cli" quillmar-cli histogram run.ecu --min)
[[ $got == --min-count ]] || fail "histogram --min does not complete to --min-count: $(echo $got)"
got=$(complete_words _quillmar_cli "$completions/quillmar-cli" quillmar-cli histogram run.ecu --stat '')
[[ $(echo $got) == "mean min max count" ]] || fail "--stat offers: $(echo $got)"
printf '# mine\nIdle load [kPa] = [Load] * 2\n' >"$scratch/tuning.channels"
got=$(HOME=$scratch XDG_CONFIG_HOME=$scratch complete_words _quillmar_cli "$completions/quillmar-cli" quillmar-cli \
    histogram run.ecu --channel "'Load [kPa]=[Engine speed] / 10'" --channels "$scratch/tuning.channels" --z '')
[[ $(echo $got) == "Time Distance Load Idle\ load" ]] || fail "--z offers: $(echo $got)"

# The program as built, named by its path: this machine's ports.
got=$(complete_words _quillmar_cli "$completions/quillmar-cli" "$cli" log --port '')
while IFS=$'\t' read -r device _; do
    [[ -n $device ]] || continue
    has "$got" "$device" || fail "$cli log --port does not offer $device, which '$cli ports' lists"
done < <("$cli" ports 2>/dev/null)

if ((failures > 0)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "the completions offer the ports quillmar-cli finds"
