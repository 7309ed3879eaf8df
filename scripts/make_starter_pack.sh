#!/usr/bin/env bash
# Makes the starter SoundPack into OUT_DIR: ten short sounds worth sending in a chat, all
# synthesised with sox from tones, noise and envelopes (nothing recorded), as Ogg Vorbis
# levelled to the loudness the plug-in plays sounds at, and the install.ini that installs
# them.
#   usage: make_starter_pack.sh OUT_DIR [VERSION]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${1:?usage: make_starter_pack.sh OUT_DIR [VERSION]}"
version="${2:-1.0}"
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# In SoundIndex order from 16380001 (the starter pack owns 16380001-16380100): the command
# word, which also names the file, and the default message.
sounds=(
  "doorbell rings the doorbell"
  "knock    knocks on the door"
  "chime    chimes in"
  "tada     says ta-da!"
  "boing    boings"
  "drumroll plays a drumroll"
  "buzzer   buzzes: wrong answer!"
  "whistle  whistles"
  "pop      pops in"
  "applause applauds"
)
first_index=16380001
# Every sound is brought to the loudness the plug-in evens sounds out to, with its peak
# under the ceiling; a sound whose peaks stand too far above its loudness for both (a knock,
# a pop, claps) has them limited first, so all ten come out alike. The ceiling keeps 1 dB
# below full scale, and a little more for decoders that round the last bit otherwise.
target_lufs=$(sed -n 's/.*TargetLoudness = \(-\?[0-9.]*\);.*/\1/p' "$root/fsound/loudness.h")
: "${target_lufs:?no TargetLoudness in fsound/loudness.h}"
ceiling_dbfs=-1.02

# -R seeds sox's noise and dither the same way on every run, so a rebuilt pack is the same;
# the noise sounds therefore cut their noise from different places of one long stretch.
gen() {  # gen OUT [-c CHANNELS] EFFECTS...: synthesise from nothing at 44.1 kHz
  local o=$1 c=1; shift
  if [ "$1" = -c ]; then c=$2; shift 2; fi
  sox -R -r 44100 -c "$c" -n -e floating-point -b 32 "$o" "$@"
}
# synth makes full scale, so the filters and reverbs that raise peaks get some headroom
# ("gain -6") before them; each sound is brought to its loudness at the end.
fx() { sox -R "$@"; }  # fx IN... OUT EFFECTS...
mixv() {  # mixv OUT IN VOLUME [IN VOLUME]...
  local o=$1 args=(); shift
  while (($#)); do args+=(-v "$2" "$1"); shift 2; done
  sox -R -m "${args[@]}" "$o"
}
calc() { awk "BEGIN { print $* }"; }
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a < b ? a : b) }'; }
later() { fx "$1" "$2" pad "$3"; }  # later IN OUT SECONDS
noise() {  # noise OUT SECONDS FROM [EFFECTS...]: white noise cut from the long stretch
  [ -f noise.wav ] || gen noise.wav synth 4 whitenoise gain -6
  local o=$1 len=$2 from=$3; shift 3
  fx noise.wav "$o" trim "$from" "$len" "$@"
}

# decay IN OUT DB: dies away evenly in dB, by DB (at most 100) over the sound's length. An
# "l" fade falls 100 dB over its length, so it is stretched past the end and cut back.
decay() {
  local len t; len=$(soxi -D "$1"); t=$(calc "$len * 100 / $3")
  fx "$1" long.wav pad 0 "$(calc "$t - $len")" fade l 0.002 "$t" "$t"
  fx long.wav "$2" trim 0 "$len"
}

# glide OUT WAVE FREQ [SECONDS FREQ]...: a tone moving in straight lines from frequency to
# frequency. Each piece starts at the phase where the one before ended, so joins don't click.
glide() {
  local o=$1 wave=$2 f=$3 phase=0 n=0 samples pieces=(); shift 3
  while (($#)); do
    samples=$(calc "int($1 * 44100 + 0.5)")
    gen glide$n.wav synth "${samples}s" "$wave" "$f:$2" 0 "$phase"
    phase=$(awk -v ph="$phase" -v f1="$f" -v f2="$2" -v n="$samples" \
      'BEGIN { c = ph / 100 + (f1 + f2) / 2 * n / 44100; print (c - int(c)) * 100 }')
    pieces+=("glide$n.wav") f=$2 n=$((n + 1))
    shift 2
  done
  if ((n == 1)); then mv glide0.wav "$o"; else fx "${pieces[@]}" "$o"; fi
}

# bell OUT FREQ SECONDS: a struck metal bar. The overtones of a free bar (2.76 and 5.40
# times the fundamental) make it metal rather than organ, and they die sooner.
bell() {
  local ratios=(1 2.76 5.40) dbs=(40 70 100) volumes=(0.6 0.25 0.12) i args=()
  for i in 0 1 2; do
    gen tone.wav synth "$3" sine "$(calc "$2 * ${ratios[i]}")"
    decay tone.wav partial$i.wav "${dbs[i]}"
    args+=("partial$i.wav" "${volumes[i]}")
  done
  mixv "$1" "${args[@]}"
}

doorbell() {  # ding-dong: E5 struck, then C5 a major third below while E5 still rings
  bell ding.wav 659.26 1.3
  bell dong.wav 523.25 0.85
  later dong.wav dong-late.wav 0.45
  mixv doorbell.wav ding.wav 0.45 dong-late.wav 0.55
}

knock() {  # three knuckles on a wooden door: a hollow thump under a short dull tap
  gen thump.wav synth 0.12 sine 230/110
  decay thump.wav thump-short.wav 70
  noise tap.wav 0.12 0 bandpass 1000 1.2q lowpass 2500
  decay tap.wav tap-short.wav 100
  mixv one-knock.wav thump-short.wav 0.6 tap-short.wav 0.8
  fx one-knock.wav knock.wav pad 0 0.07 repeat 2 gain -6 pad 0 0.12 reverb 20 60 25
}

chime() {  # a rising C major arpeggio on small bells
  bell c1.wav 1046.5 1.1
  bell c2.wav 1318.5 1.0
  bell c3.wav 1568.0 0.9
  later c2.wav c2-late.wav 0.1
  later c3.wav c3-late.wav 0.2
  mixv chime.wav c1.wav 0.4 c2-late.wav 0.4 c3-late.wav 0.4
}

chord() {  # chord OUT SECONDS NOTE...: sawtooth voices darkened a little, like brass
  local o=$1 len=$2 n voices=(); shift 2
  for n in "$@"; do voices+=(sawtooth "$n"); done
  gen "$o" -c $# synth "$len" "${voices[@]}" remix - gain -6 lowpass 2800
}

tada() {  # a short G major "ta" resolving to a long bright C major "da"
  chord ta.wav 0.13 G4 B4 D5 G5
  chord da.wav 0.75 C5 E5 G5 C6
  fx ta.wav ta-shaped.wav fade q 0.008 0.13 0.04
  fx da.wav da-shaped.wav tremolo 6 15 fade q 0.012 0.75 0.45 pad 0.17
  mixv ta-da.wav ta-shaped.wav 0.8 da-shaped.wav 1
  fx ta-da.wav tada.wav pad 0 0.2 reverb 40 50 60
}

boing() {  # a spring: thrown up in pitch, then wobbling round its note as it dies away
  # The pitch swings every 40 ms (a 12.5 Hz wobble), less and less, round a note that
  # settles from 160 Hz on 300 Hz; a triangle wave so small speakers still carry it.
  local contour
  contour=$(awk 'BEGIN {
    printf "160"
    for (k = 1; k <= 20; k++) {
      t = k * 0.04; note = 300 - 140 * exp(-t / 0.05); swing = 0.3 * exp(-t / 0.3)
      printf " 0.04 %.1f", note * (1 + (k % 2 ? swing : -swing))
    } }')
  # shellcheck disable=SC2086  # the contour is a list of numbers
  glide wobble.wav triangle $contour
  fx wobble.wav wobble-shaped.wav tremolo 12.5 40
  decay wobble-shaped.wav boing.wav 45
}

drumroll() {  # snare strokes swelling for most of a second, then a crash on a bass drum
  # Two hands: the rattle of the wires cut from different noise over the skin's low tone,
  # the second hand a little weaker.
  gen skin.wav synth 0.055 sine 190
  noise left.wav 0.055 0 highpass 1200
  noise right.wav 0.055 0.1 highpass 1200
  mixv left-stroke.wav left.wav 0.8 skin.wav 0.25
  mixv right-stroke.wav right.wav 0.65 skin.wav 0.2
  decay left-stroke.wav left-short.wav 60
  decay right-stroke.wav right-short.wav 60
  fx left-short.wav right-short.wav roll.wav repeat 6 fade t 0.75
  noise crash.wav 0.45 1 highpass 2500
  decay crash.wav crash-short.wav 60
  gen kick.wav synth 0.25 sine 110/45 fade q 0.002 0.25 0.2
  mixv hit.wav crash-short.wav 0.6 kick.wav 0.4
  fx roll.wav hit.wav drumroll.wav
}

buzzer() {  # the quiz show's "wrong": low sawtooths a few hertz apart beating on a square
  gen buzzer.wav -c 3 synth 0.75 sawtooth 110 sawtooth 116.5 square 55 remix - \
    gain -6 lowpass 5000 fade q 0.01 0.75 0.05
}

whistle() {  # a wolf whistle: a quick slide up, a breath, then up again and a long fall
  glide up.wav sine 900 0.25 2600
  fx up.wav up-shaped.wav fade h 0.03 0.25 0.06 pad 0 0.08
  glide down.wav sine 1000 0.12 2300 0.15 2050 0.35 700
  fx down.wav down-shaped.wav fade h 0.03 0.62 0.15
  fx up-shaped.wav down-shaped.wav whistle.wav
}

pop() {  # a mouth pop: a short tick, and a sine sweeping up fast and gone at once
  gen bloop.wav synth 0.07 sine 400/1500
  decay bloop.wav bloop-short.wav 60
  noise tick.wav 0.07 2 lowpass 3000
  decay tick.wav tick-short.wav 100
  mixv pop-dry.wav bloop-short.wav 0.5 tick-short.wav 0.3
  fx pop-dry.wav pop.wav pad 0 0.18 reverb 20 50 20
}

applause() {  # a crowd: each clapper on its own timing, hands and place from left to right
  local n=0 band pan claps clap delays volumes args=()
  # The score, a line per clapper: the band its hands sound in, its place (0 left, 1 right)
  # and its claps as time:strength, about five a second; they stop one by one, as crowds
  # do. Random, but awk's seed makes it the same on every run.
  local score
  score=$(awk 'BEGIN {
    srand(20)
    for (n = 1; n <= 20; n++) {
      printf "%d %.2f", 800 + int(rand() * 1800), rand()
      end = 0.65 + rand() * 0.4
      for (t = rand() * 0.15; t < end; t += 0.15 + rand() * 0.1)
        printf " %.3f:%.2f", t, 0.5 + rand() * 0.5
      print ""
    } }')
  while read -r band pan claps; do
    n=$((n + 1)) delays=() volumes=()
    for clap in $claps; do delays+=("${clap%:*}") volumes+=("1v${clap#*:}"); done
    # One clap copied to a channel per clap, each channel delayed to its time and given its
    # strength, then all mixed down and placed between the speakers.
    noise clap.wav 0.03 "$(calc "$n * 0.1")" bandpass "$band" 1.2q
    decay clap.wav clap-short.wav 80
    fx clap-short.wav "clapper$n.wav" remix "${volumes[@]}" delay "${delays[@]}" \
      remix - remix 1v"$(calc "1 - $pan")" 1v"$pan"
    args+=("clapper$n.wav" 0.25)
  done <<<"$score"
  mixv crowd.wav "${args[@]}"
  fx crowd.wav applause.wav fade t 0.05 -0 0.3 pad 0 0.25 reverb 35 50 70
}

# loudness WAV: its integrated loudness (LUFS) and sample peak (dBFS), by ffmpeg's ebur128.
# A sound shorter than one 400 ms block counts as one block of its own length, as the
# plug-in measures it: ffmpeg waits for a whole block, so it is given the sound padded
# with silence to one, and the silence is taken out of the figure again.
loudness() {
  local len pad=anull; len=$(soxi -D "$1")
  awk -v l="$len" 'BEGIN { exit !(l < 0.4) }' && pad=apad=whole_dur=0.45
  ffmpeg -nostdin -nostats -hide_banner -i "$1" \
    -af "$pad,ebur128=metadata=1:peak=sample,ametadata=print:file=-" -f null - 2>/dev/null |
    awk -F= -v len="$len" '/r128.I=/ { i = $2 } /r128.sample_peak=/ { p = $2 }
      END { if (len < 0.4) i += 10 * log(0.4 / len) / log(10); print i, 20 * log(p) / log(10) }'
}

# correction WAV: the gain (dB) that brings it to the target, or to the ceiling if less;
# and its loudness.
correction() {
  local lufs peak
  read -r lufs peak < <(loudness "$1")
  echo "$(min "$(calc "$target_lufs - $lufs")" "$(calc "$ceiling_dbfs - $peak")")" "$lufs"
}

ini() { printf '%s\r\n' "$@" >>"$out/install.ini"; }  # GetPrivateProfileString wants CRLF

rm -f "$out/install.ini"
ini "[Header]" "TotalSounds=${#sounds[@]}" "Name=Tunelark Starter" \
  "Artist=The Tunelark team" "Version=$version"
i=0
for entry in "${sounds[@]}"; do
  read -r command message <<<"$entry"
  index=$((first_index + i))
  i=$((i + 1))
  "$command"
  # Short ramps at both ends so no sound starts or stops with a click.
  fx "$command.wav" shaped.wav fade t 0.003 -0 0.015
  # Peaks that would keep the sound short of the target are limited (ffmpeg's limiter
  # looks ahead, so a knock's or a clap's attack is held without a click), the sound raised
  # until the limited whole reaches the target.
  read -r lufs peak < <(loudness shaped.wav)
  if awk -v t="$target_lufs" -v l="$lufs" -v c="$ceiling_dbfs" -v p="$peak" 'BEGIN { exit !(t - l > c - p) }'; then
    raise=$(calc "$target_lufs - $lufs")
    for _ in 1 2 3 4 5 6; do
      ffmpeg -nostdin -v error -y -i shaped.wav -c:a pcm_s16le \
        -af "volume=${raise}dB,alimiter=limit=0.85:attack=2:release=30:level=disabled:asc=0" limited.wav
      read -r lufs _ < <(loudness limited.wav)
      awk -v t="$target_lufs" -v l="$lufs" 'BEGIN { exit !(t - l < 0.05 && l - t < 0.05) }' && break
      raise=$(calc "$raise + $target_lufs - $lufs")
    done
    mv limited.wav shaped.wav
  fi
  read -r gain _ < <(correction shaped.wav)
  # Then by what the encoded file measures: Vorbis moves peaks by a few tenths of a dB,
  # differently at each level, so a few levels are tried and the loudest encoding that
  # keeps under the ceiling and the target is kept.
  best=
  for _ in 1 2 3 4 5 6; do
    fx shaped.wav -b 16 -e signed-integer final.wav gain "$gain"
    # A fixed stream serial number, so that the same sound always makes the same file.
    oggenc -Q -q 4 -s "$index" -o encoded.ogg final.wav
    oggdec -Q -o decoded.wav encoded.ogg
    read -r step lufs < <(correction decoded.wav)
    if awk -v s="$step" -v l="$lufs" -v b="${best:--999}" 'BEGIN { exit !(s >= 0 && l > b) }'; then
      best=$lufs
      cp encoded.ogg "$out/$command.ogg"
      awk -v s="$step" 'BEGIN { exit !(s < 0.03) }' && break
    fi
    gain=$(calc "$gain + $step - ($step < 0 ? 0.05 : 0)")  # over: back off clear of it
  done
  [ -n "$best" ] || { echo "make_starter_pack.sh: $command stays above the ceiling or the target" >&2; exit 1; }
  ini "" "[Sound$i]" "SoundIndex=$index" "Command=$command" "Filename=$command.ogg" \
    "Message=$message"
done
