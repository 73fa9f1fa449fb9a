# What the user does, for end-to-end.sh, each step checked on the screen where it shows.
# The model follows every edit so the video's frame order can be predicted.

readonly OPEN_TITLE='^Scegli una cartella contenente file BMP'
readonly SAVE_TITLE='^Salva il filmato AVI'
readonly BOX_TITLE='^KELVORA MAKER$'

wait_for 30 "the window \"KELVORA MAKER\"" window_shown '^KELVORA MAKER - '
main_window=$(visible_window '^KELVORA MAKER - ')
expect_rows 0
shot start

# A whole folder through the real open dialog: "Tutta la cartella" is checked at start.
click_at "$ADD_X" "$ADD_Y"
answer_dialog "$OPEN_TITLE" "$(source_frame 2)" open-dialog-whole-folder
model=(1 2 3 4 5 6)
expect_rows 6
shot folder-added

click_row 2
expect_selected 2
shot entry-selected

xdotool key F12
model_move_up 2
expect_selected 1
shot moved-up-by-f12

click_row 4
expect_selected 4
open_list_menu 4
shot popup-menu
popup=$(popup_window)
xdotool mousemove --window "$popup" 60 $((MENU_ROW + MENU_ROW / 2)) click 1   # "Sposta giù (F11)"
model_move_down 4
expect_selected 5
shot moved-down-by-popup

click_row 0
expect_selected 0
xdotool key Delete
model_delete 0
expect_rows 5
expect_selected -1
shot deleted-by-key

click_row 2
expect_selected 2
open_list_menu 2
xdotool key Down Down Down Return   # "Cancella (Del)"
model_delete 2
expect_rows 4
shot deleted-by-popup

# 25 down to 12 by the scroll bar's left arrow, one click a step.
xdotool mousemove --window "$main_window" "$ARROW_X" "$ARROW_Y" click --repeat 13 --delay 80 1
shot rate-12

click_at "$SAVE_X" "$SAVE_Y"
answer_dialog "$SAVE_TITLE" "$out/movie.avi" save-dialog
wait_for_video "$out/movie.avi" ${#model[@]}
shot saved
check_video "$out/movie.avi" 12 "${model[@]}"

# A file that is not a bitmap, one file at a time: the message box, then the work goes on.
click_at "$FOLDER_X" "$FOLDER_Y"
shot single-file-mode
click_at "$ADD_X" "$ADD_Y"
answer_dialog "$OPEN_TITLE" "$out/bad/notbitmap.bmp" open-dialog-not-a-bitmap
wait_for 20 "the message box" window_shown "$BOX_TITLE"
box=$(visible_window "$BOX_TITLE")
[ "$box" != "$main_window" ] || fail "the message box is the main window"
[ "$(xdotool getwindowname "$box")" = "KELVORA MAKER" ] || fail "the message box is titled $(xdotool getwindowname "$box")"
shot message-box
xdotool windowfocus "$box" 2>/dev/null || true
wait_for 10 "the keyboard focus in the message box" focus_is "$box"
xdotool key Return
wait_for 10 "the message box to close" window_hidden "$BOX_TITLE"
window_shown '^KELVORA MAKER - ' || fail "the window went with the message box"
expect_rows 4
shot message-box-closed

click_at "$ADD_X" "$ADD_Y"
answer_dialog "$OPEN_TITLE" "$(source_frame 1)" open-dialog-one-file
model+=(1)
expect_rows 5
click_row 4
expect_selected 4
shot one-file-added

click_at "$SAVE_X" "$SAVE_Y"
answer_dialog "$SAVE_TITLE" "$out/movie-again.avi" save-dialog-again
wait_for_video "$out/movie-again.avi" ${#model[@]}
shot saved-again
check_video "$out/movie-again.avi" 12 "${model[@]}"

# A long save, cancelled with Escape: the progress shows in place of the clear button, and
# the file is finished with the frames written so far.
"$maker" "$out/many" "$MANY_FRAMES"
click_at "$CLEAR_X" "$CLEAR_Y"   # "Cancella tutti i fotogrammi dalla lista"
expect_rows 0
click_at "$FOLDER_X" "$FOLDER_Y"   # "Tutta la cartella" again
click_at "$ADD_X" "$ADD_Y"
answer_dialog "$OPEN_TITLE" "$out/many/frame_001.bmp" open-dialog-many
list_full() { [ "$(list_rows)" -ge "$VISIBLE_ROWS" ]; }
wait_for 60 "the list to fill" list_full
# The add runs beside the window, its progress in place of the clear button. Escape stops it
# after the file in hand and keeps what came in; once it has ended Escape does nothing, so the
# save below works on whatever the list holds.
shot adding-progress
xdotool windowfocus "$main_window" key Escape
sleep 1
click_at "$SAVE_X" "$SAVE_Y"
answer_dialog "$SAVE_TITLE" "$out/cancelled.avi" save-dialog-cancelled
# A new video is written at the chosen name from the start.
file_started() { [ -s "$out/cancelled.avi" ]; }
wait_for 30 "the save to start" file_started
shot saving-progress
xdotool windowfocus "$main_window" key Escape
wait_for 60 "the cancelled video to be finished" video_finished "$out/cancelled.avi"
shot save-cancelled
check_cancelled "$out/cancelled.avi" "$out/many" "$MANY_FRAMES"
rm -rf "$out/many" "$out/cancelled.avi"

click_at "$EXIT_X" "$EXIT_Y"
app_ended() { ! kill -0 "$app_pid" 2>/dev/null; }
deadline=$((SECONDS + 20))
until app_ended; do
  [ "$SECONDS" -lt "$deadline" ] || fail "\"Esci\" did not end the application"
  sleep 0.1
done
app_status=0
wait "$app_pid" || app_status=$?
[ "$app_status" -eq 0 ] || fail "the application ended with status $app_status"
echo "ok: \"Esci\" ended the application"
