#!/usr/bin/env bash
# Writes the seed inputs of the fuzz harnesses: small text files, valid ones and ones
# that are cut short, carry odd line ends or odd numbers. The files are kept in the
# repository; run this again only to change them. The seeds in unsavedcopy/ carry a
# checksum and were written by the program's own UnsavedCopy::Encode: a new bank, a varied
# bank with a file of its own, the same cut in half and marked as a newer version.
# The seeds in sysexfile/ are binary SysEx and MIDI files kept as they are: one dump, two
# with bytes between them, a refused dump and a cut-off one, a MIDI file with a dump split
# over two events among notes and a meta event, and a MIDI file cut inside its track.
set -euo pipefail
cd "$(dirname "$0")"
rm -rf numbertext bankfile settings dumpencoder
mkdir -p numbertext bankfile settings dumpencoder

# --- numbers as boxes, tags, file lines and stored settings hold them
n=0
number() { n=$((n + 1)); printf '%s' "$1" > "numbertext/$(printf '%02d' $n)"; }
for text in "7" " 7" "7abc" "  7.4" "8.5" "9.5" "2.5" "-1" "-5" "+12" " 0" "" "abc" \
    "&HFF" "&hFFFFFFFF" "&O777" "&o8" "&H" "1E400" "-1E400" "1e-400" "1D2" "1.5d-1" \
    "32767" "32768" "-32768" "-32769" "32767.5" "-32768.5" "nan" "inf" ".5" "+." "1e" \
    "1e+" "--1" "1 2 3" "0000000000000000000000000000001" "1.000000000000000000000001"; do
    number "$text"
done
number $'\t\n 12 34'
number "1$(printf '0%.0s' {1..400})"

# --- bank and patch files
# record NAME VALUES... : one record with CR LF line ends
record() {
    local name=$1
    shift
    printf 'Name\r\n%s\r\nData\r\n' "$name"
    local v
    for v in "$@"; do printf '%s\r\n' "$v"; done
}
cleared=()
for p in $(seq 1 63); do
    if [ "$p" -eq 24 ] || [ "$p" -eq 35 ]; then cleared+=(" 1"); else cleared+=(" 0"); fi
done
varied=()
for p in $(seq 1 63); do varied+=(" $(((p * 7) % 64))"); done
varied[0]=" 1"
varied[22]="-1"

for i in $(seq 1 74); do record "" "${cleared[@]}"; done > bankfile/new-bank.bbk
for i in $(seq 1 74); do record "Patch $i" "${varied[@]}"; done > bankfile/varied.bbk
record "Pad" "${varied[@]}" > bankfile/pad.b01
record "  Blanks around  " "${cleared[@]}" > bankfile/blank-name.b01
{ for i in $(seq 1 10); do record "Ten $i" "${varied[@]}"; done
  record "Half" "${varied[@]:0:30}"; } > bankfile/ten-records.bbk
record "Short" "${varied[@]:0:40}" > bankfile/forty-values.b01
record "Pad" "${varied[@]}" | tr -d '\r' > bankfile/lf-only.b01
record "Pad" "${varied[@]}" | tr -d '\n' > bankfile/cr-only.b01
record "Pad" "${varied[@]}" | sed 's/\r$/\r\r/' > bankfile/cr-cr-lf.b01
record "Pad" "${varied[@]}" | head -c -2 > bankfile/no-last-line-end.b01
odd=("7" " 7" "7abc" "  7.4" "8.5" "9.5" "" "&HFF" "&O17" "1D2" "-0" "+3" $'\t5' "1E-3")
while [ ${#odd[@]} -lt 63 ]; do odd+=(" 0"); done
record "Odd" "${odd[@]}" > bankfile/odd-values.b01
for v in "32768" "-32769" "1E400" "&HFFFFFFFF"; do
    values=("${varied[@]}")
    values[29]=$v
    record "Too big" "${values[@]}" > "bankfile/too-big-$(printf '%s' "$v" | tr -c 'A-Za-z0-9-' '_').b01"
done
printf 'Name\r\nN\0UL\r\nData\r\n\0\r\n' > bankfile/nul-bytes.b01

# --- settings, as "[Section]" / "key=value" lines, "<" input and ">" output devices
cat > settings/defaults.ini <<'INI'
[Update]
SendToOne=Yes
AutoUpdate=No
[MIDI]
MIDIInPort=
MIDIOutPort=Quenlor:MIDI Out
MIDIChannelIn= 1
MIDIChannelOut= 1
MIDIThru=No
Bit99Compatible=No
INI
cat > settings/all-on.ini <<'INI'
<UM-ONE:UM-ONE MIDI 1
<Bit01:out
>UM-ONE:UM-ONE MIDI 1
>Bit01:in
[Update]
SendToOne=No
AutoUpdate=Yes
[MIDI]
MIDIInPort=Bit01:out
MIDIOutPort=Bit01:in
MIDIChannelIn= 16
MIDIChannelOut= 16
MIDIThru=Yes
Bit99Compatible=Yes
INI
cat > settings/twins.ini <<'INI'
<Twin:out
<Other:out
<Twin:out
>Twin:in
>Twin:in
[MIDI]
MIDIInPort=Twin:out
MIDIOutPort=Twin:in
MIDIChannelOut=5
INI
cat > settings/lower-case.ini <<'INI'
[Update]
SendToOne=no
AutoUpdate=yes
[MIDI]
MIDIThru=yes
Bit99Compatible=YES
midichannelout=3
INI
c=0
for v in "abc" "99" "0" "-3" "1e9" " 16.5" "16" "&H10" "&HF" "2.5" ""; do
    c=$((c + 1))
    printf '[MIDI]\nMIDIChannelIn=%s\nMIDIChannelOut=%s\n' "$v" "$v" > "settings/channel-$c.ini"
done
printf '[Update]\r\nAutoUpdate=Yes\r\n[MIDI]\r\nMIDIChannelOut= 7\r\nMIDIThru=Yes\r\n' \
    > settings/cr-lf.ini
printf '<A\x01\x1b[2J\x7f\n>\xff\xfe\xc3\n[MIDI]\nMIDIInPort=A\x01\x1b[2J\x7f\nMIDIOutPort=\xff\xfe\xc3\n' \
    > settings/control-characters.ini
{ printf '>'; printf 'x%.0s' {1..10000}; printf '\n[MIDI]\nMIDIOutPort='
  printf 'x%.0s' {1..10000}; printf '\n'; } > settings/long-name.ini
printf '[MIDI]\nMIDIChannelOut=4\n[Update]\nAutoUpdate=Yes\n[MIDI]\nMIDIChannelOut=9\n[]\n=\n' \
    > settings/sections-twice.ini

# --- bank values for the encoder: channel, Bit 99 setting, parameters 1 to 63
values() { printf '%s\n' "$@"; }
values 1 0 "${cleared[@]}" > dumpencoder/new-patch.txt
values 16 1 "${varied[@]}" > dumpencoder/varied-bit99.txt
maxima=(1 1 1 1 1 1 1 63 63 63 63 63 63 63 63 63 63 63 63 63 63 63 1 1 1 1 1 1 1 1 11 30 63 63
    1 1 1 1 1 1 1 11 30 63 63 63 63 63 63 63 63 63 1 1 1 1 1 1 1 63 63 63 63)
values 5 0 "${maxima[@]}" > dumpencoder/maxima.txt
values 0 2 $(for p in $(seq 1 63); do echo -1; done) > dumpencoder/all-minus-one.txt
values 99 -1 $(for p in $(seq 1 63); do echo 32767; done) > dumpencoder/all-largest.txt
values -32768 1 $(for p in $(seq 1 63); do echo -32768; done) | tr '\n' '\r' \
    > dumpencoder/all-smallest-cr.txt
values 1 0 2 2 2 2 2 2 2 > dumpencoder/flags-two.txt
