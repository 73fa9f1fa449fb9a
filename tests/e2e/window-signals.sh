# For end-to-end.sh, after scenario.sh has ended the first window: the window started from a
# terminal with its frames on the command line, told to end by SIGTERM while it saves. It must
# finish the file as "Esci" does and end with the status of that signal.

"$maker" "$out/many" "$MANY_FRAMES"
"$app" "$out/many" >> "$out/app.log" 2>&1 &
app_pid=$!
echo "$app_pid" > "$out/app.pid"
wait_for 30 "the window started with a folder" window_shown '^KELVORA MAKER - '
main_window=$(visible_window '^KELVORA MAKER - ')
wait_for 60 "the list to fill from the command line" list_full
# The files from the command line are added beside the window; while that runs the save
# button stands for "Annulla". Escape ends the add (or does nothing once it has ended).
xdotool windowfocus "$main_window" key Escape
sleep 1
click_at "$SAVE_X" "$SAVE_Y"
answer_dialog "$SAVE_TITLE" "$out/terminated.avi" save-dialog-terminated
terminated_started() { [ -s "$out/terminated.avi" ]; }
wait_for 30 "the save to start" terminated_started
kill -TERM "$app_pid"
deadline=$((SECONDS + 60))
until app_ended; do
  [ "$SECONDS" -lt "$deadline" ] || fail "SIGTERM did not end the window"
  sleep 0.1
done
app_status=0
wait "$app_pid" || app_status=$?
[ "$app_status" -eq 143 ] || fail "the window ended by SIGTERM exited with $app_status, not 143"
video_finished "$out/terminated.avi" || fail "the save stopped by SIGTERM left an unfinished file"
check_cancelled "$out/terminated.avi" "$out/many" "$MANY_FRAMES"
rm -rf "$out/many" "$out/terminated.avi"
echo "ok: SIGTERM during a save finished the file, then ended the window with 143"
