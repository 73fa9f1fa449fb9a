# Reading a written video back, for end-to-end.sh: ffprobe for its stream, ffmpeg for the
# pixels of every frame, compared with the source bitmaps decoded the same way.

probe_stream() {
  ffprobe -v error -select_streams v:0 -count_frames \
    -show_entries stream=codec_name,width,height,r_frame_rate,nb_read_frames -of default=nw=1 "$1" 2>/dev/null
}

# One MD5 per decoded frame, of its pixels as 24-bit BGR rows.
frame_hashes() {
  ffmpeg -v error -i "$1" -f framemd5 -c:v rawvideo -pix_fmt bgr24 - 2>/dev/null | awk -F', *' '!/^#/ { print $NF }'
}

source_frame() { printf '%s/frames/frame_%03d.bmp' "$out" "$1"; }

settled_size=
# The save runs inside the window's handler; the file is complete when ffprobe reads the
# expected number of frames and its size has stopped changing.
video_complete() {
  local path=$1 frames=$2 size
  size=$(stat -c %s "$path" 2>/dev/null) || return 1
  if [ "$size" != "$settled_size" ]; then
    settled_size=$size
    return 1
  fi
  probe_stream "$path" | grep -qx "nb_read_frames=$frames"
}

wait_for_video() {
  settled_size=
  if ! (wait_for 30 "the video $1 with $2 frames" video_complete "$1" "$2"); then
    fail "the video $1 reads as: $(probe_stream "$1" | tr '\n' ' ')"
  fi
}

# check_video <path> <rate> <frame numbers in order...>
check_video() {
  local path=$1 rate=$2
  shift 2
  local expected=("$@") stream field hashes=() i number found
  stream=$(probe_stream "$path")
  for field in codec_name=rawvideo width=320 height=240 "r_frame_rate=$rate/1" "nb_read_frames=${#expected[@]}"; do
    grep -qx "$field" <<<"$stream" || fail "$path: expected $field, ffprobe reads: $(tr '\n' ' ' <<<"$stream")"
  done
  declare -A source_of=()
  for number in 1 2 3 4 5 6; do
    source_of[$(frame_hashes "$(source_frame "$number")")]=$number
  done
  mapfile -t hashes < <(frame_hashes "$path")
  [ "${#hashes[@]}" -eq "${#expected[@]}" ] || fail "$path: ffmpeg decodes ${#hashes[@]} frames"
  for i in "${!expected[@]}"; do
    found=${source_of[${hashes[$i]}]:-none}
    [ "$found" = "${expected[$i]}" ] ||
      fail "$path: frame $i holds the pixels of frame_$found, expected frame_${expected[$i]}"
  done
  echo "ok: $path: ${#expected[@]} frames of 320x240 at $rate/s, in the order ${expected[*]}"
}

# The save has finished the file: its index is written (the last thing a save writes) and
# the file no longer grows (two looks half a second apart).
video_finished() {
  local before after written
  before=$(stat -c %s "$1" 2>/dev/null) || return 1
  written=$(probe_stream "$1" | sed -n 's/^nb_read_frames=//p')
  [ -n "$written" ] && [ "$written" -gt 0 ] || return 1
  tail -c $((16 * written + 4096)) "$1" | grep -qa idx1 || return 1
  sleep 0.5
  after=$(stat -c %s "$1" 2>/dev/null) || return 1
  [ "$before" = "$after" ]
}

# check_cancelled <path> <folder> <frames in the folder>: a finished, readable video holding
# the folder's first K frames in order, pixel for pixel, with 0 < K < all.
check_cancelled() {
  local path=$1 folder=$2 all=$3 written
  written=$(probe_stream "$path" | sed -n 's/^nb_read_frames=//p')
  [ -n "$written" ] && [ "$written" -gt 0 ] && [ "$written" -lt "$all" ] ||
    fail "$path: the cancelled save holds '${written}' of $all frames"
  if ! diff -q <(frame_hashes "$path") \
      <(ffmpeg -v error -start_number 1 -i "$folder/frame_%03d.bmp" -frames:v "$written" \
          -f framemd5 -c:v rawvideo -pix_fmt bgr24 - 2>/dev/null | awk -F', *' '!/^#/ { print $NF }') >/dev/null; then
    fail "$path: its $written frames are not the folder's first $written"
  fi
  echo "ok: $path: cancelled after $written of $all frames, finished and pixel-exact"
}
