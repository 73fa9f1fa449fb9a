# Steps a person takes on the screen, for end-to-end.sh: find windows, click, type, look.
# Input goes through the X server's test extension (xdotool without --window for keys), as
# from a real keyboard and mouse; nothing reaches into the application.

# shellcheck disable=SC2034  # the positions are used by scenario.sh
# Window geometry: the design's twips divided by 15.
readonly LIST_LEFT=6 LIST_TOP=4 ROW_HEIGHT=14
readonly ADD_X=341 ADD_Y=312          # "Aggiungi BMP"
readonly SAVE_X=499 SAVE_Y=312        # "Salva file AVI"
readonly FOLDER_X=282 FOLDER_Y=342    # the box of "Tutta la cartella"
readonly ARROW_X=280 ARROW_Y=419      # the scroll bar's left arrow
readonly EXIT_X=417 EXIT_Y=476        # "Esci"
readonly CLEAR_X=420 CLEAR_Y=378      # "Cancella tutti i fotogrammi dalla lista"
readonly VISIBLE_ROWS=19              # rows the list shows at once
readonly MANY_FRAMES=3000             # a save long enough to cancel by hand
readonly MENU_ROW=22                  # height of one popup menu item

step=0
main_window=

fail() {
  echo "FAIL: $*" >&2
  import -window root "$out/99-failure.png" 2>/dev/null || true
  echo "--- application output ---" >&2
  tail -n 20 "$out/app.log" >&2 || true
  exit 1
}

# wait_for <seconds> <what> <command...>: polls the command until it succeeds.
wait_for() {
  local seconds=$1 what=$2
  shift 2
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || fail "timed out after ${seconds}s waiting for $what"
    [ -z "$app_pid" ] || kill -0 "$app_pid" 2>/dev/null || fail "the application ended while waiting for $what"
    sleep 0.1
  done
}

shot() {
  step=$((step + 1))
  import -window root "$(printf '%s/%02d-%s.png' "$out" "$step" "$1")"
}

# The first visible window whose title matches the extended regular expression.
visible_window() {
  xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1
}

window_shown() { [ -n "$(visible_window "$1")" ]; }
window_hidden() { [ -z "$(visible_window "$1")" ]; }

click_at() {
  xdotool mousemove --window "$main_window" "$1" "$2" click "${3:-1}"
}

row_y() { echo $((LIST_TOP + 1 + ROW_HEIGHT * $1 + ROW_HEIGHT / 2)); }

click_row() { click_at 100 "$(row_y "$1")" "${2:-1}"; }

# The list row painted in the selection colour, or -1. It reads one column of pixels near
# the list's right edge: the selection fills the row's width, text is grey on white.
selected_row() {
  import -window "$main_window" -crop "1x270+540+$((LIST_TOP + 1))" +repage txt:- 2>/dev/null |
    sed -n 's/^0,\([0-9]*\):.*srgb(\([0-9]*\),[0-9]*,\([0-9]*\)).*/\1 \2 \3/p' |
    awk -v h="$ROW_HEIGHT" '$3 - $2 > 60 { if (first == "") first = $1; last = $1 }
      END { if (first == "") print -1; else print int((first + last) / 2 / h) }'
}

row_is_selected() { [ "$(selected_row)" = "$1" ]; }

expect_selected() {
  wait_for 10 "row $1 to show as selected (it shows $(selected_row))" row_is_selected "$1"
}

focus_is() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }

# Answers the real file dialog whose title matches: the file name box has the focus when it
# opens; its text is replaced by the typed path and Return confirms.
answer_dialog() {
  local title=$1 path=$2 shot_name=$3 dialog
  wait_for 20 "the dialog \"$title\"" window_shown "$title"
  dialog=$(visible_window "$title")
  xdotool windowfocus "$dialog" 2>/dev/null || true
  wait_for 10 "the keyboard focus in the dialog" focus_is "$dialog"
  xdotool key ctrl+a
  xdotool type --delay 8 "$path"
  shot "$shot_name"
  xdotool key Return
  wait_for 20 "the dialog \"$title\" to close" window_hidden "$title"
  # After the save dialog the video's size is asked; Return keeps the size shown ("Originale"
  # the first time, the last choice after) and saves.
  if [[ $title == "$SAVE_TITLE" ]]; then
    answer_size_step
  fi
}

answer_size_step() {
  local title='^Dimensioni del video$' step
  wait_for 20 "the step \"Dimensioni del video\"" window_shown "$title"
  step=$(visible_window "$title")
  xdotool windowfocus "$step" 2>/dev/null || true
  wait_for 10 "the keyboard focus in the size step" focus_is "$step"
  xdotool key Return
  wait_for 20 "the size step to close" window_hidden "$title"
}

# The list's popup menu: a visible window of the application with no title of its own
# (its name is the application's name).
popup_window() {
  local window
  for window in $(xdotool search --onlyvisible --class '^kelvora-maker$' 2>/dev/null); do
    if [ "$window" != "$main_window" ] && [ "$(xdotool getwindowname "$window")" = kelvora-maker ]; then
      echo "$window"
      return
    fi
  done
}

popup_shown() { [ -n "$(popup_window)" ]; }

open_list_menu() {
  click_row "$1" 3
  wait_for 10 "the list's popup menu" popup_shown
}

# Frame list model: the frame numbers in list order, changed as each edit is made on screen.
model=()
model_swap() {
  local keep=${model[$1]}
  model[$1]=${model[$2]}
  model[$2]=$keep
}
model_move_up() { model_swap "$1" $(($1 - 1)); }
model_move_down() { model_swap "$1" $(($1 + 1)); }
model_delete() { model=("${model[@]:0:$1}" "${model[@]:$(($1 + 1))}"); }

# The number of list rows that show text: a strip at the rows' left, averaged to one column,
# is dark where a row's path is written (or where the selection colour fills it).
list_rows() {
  import -window "$main_window" -crop "60x270+$((LIST_LEFT + 4))+$((LIST_TOP + 1))" +repage png:- 2>/dev/null |
    convert png:- -colorspace gray -scale '1x270!' txt:- |
    sed -n 's/^0,\([0-9]*\):.*gray(\([0-9.]*\)%\{0,1\}).*/\1 \2/p' |
    awk -v h="$ROW_HEIGHT" '{ r = int($1 / h); m = $1 % h
        if (m >= 3 && m <= 10 && $2 < 245 && !(r in seen)) { seen[r] = 1; n++ } }
      END { print n + 0 }'
}

rows_are() { [ "$(list_rows)" = "$1" ]; }

expect_rows() {
  wait_for 10 "the list to show $1 rows (it shows $(list_rows))" rows_are "$1"
}
