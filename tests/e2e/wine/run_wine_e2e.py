#!/usr/bin/env python3
"""End-to-end tests of the Windows program under Wine.

Runs each test against fresh copies of quorvane.exe in a scratch folder,
drives it with qvdriver.exe and watches a logging window (qvtarget.exe).
Expects DISPLAY and WINEPREFIX to be set up by the caller. Prints one line
per test and ends with "RESULT <passed> <failed>".

usage: run_wine_e2e.py EXE TOOLS_DIR WORK_DIR FIXTURES_DIR [TEST...]

The cases live in one file per concern (image, files, timing,
buttons_wheel, layouts, toolbar, monitors, hotkeys, compiled); common.py
holds what they share and the runner. The order below is the order they
run in."""
import os
import sys

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
if len(sys.argv) < 5:
    sys.exit(__doc__)
import common  # noqa: E402
import buttons_wheel  # noqa: E402
import compiled  # noqa: E402
import files  # noqa: E402
import hotkeys  # noqa: E402
import image  # noqa: E402
import layouts  # noqa: E402
import monitors  # noqa: E402
import timing  # noqa: E402
import toolbar  # noqa: E402

TESTS = [
    image.test_import_table,
    image.test_own_size_and_placeholders,
    image.test_resources,
    files.test_start_window_and_no_ini,
    files.test_ini_written_when_present_and_deleted_when_turned_off,
    files.test_bad_file_box_titled_with_path,
    files.test_command_line_answers,
    timing.test_plays_recording_into_target,
    timing.test_rate_and_pause_limit,
    buttons_wheel.test_plays_wheel_records_into_target,
    buttons_wheel.test_records_the_wheel,
    buttons_wheel.test_first_click_of_a_fast_start_lands_on_its_pixel,
    buttons_wheel.test_clicks_at_normal_speed_land_on_their_pixels,
    layouts.test_linux_recording_types_the_same_characters_under_the_same_layout,
    toolbar.test_repeat_box_gets_field_and_keeps_text,
    toolbar.test_rate_and_pause_boxes_take_decimals,
    toolbar.test_about_box_gets_link,
    toolbar.test_toolbar_paints_buttons_over_background,
    monitors.test_toolbar_doubles_at_192_dpi,
    toolbar.test_toolbar_click_and_enter_key,
    files.test_save_through_dialog_adds_extension_and_keeps_bytes,
    compiled.test_player_with_bad_records_reports_and_exits_hidden,
    buttons_wheel.test_records_input_saves_and_plays_it_back,
    hotkeys.test_hotkeys_work_while_another_window_has_the_focus,
    hotkeys.test_stop_lets_go_of_held_buttons,
    hotkeys.test_commands_from_a_second_start,
    compiled.test_compiled_player_plays_twice_hidden_and_exits,
    compiled.test_player_compiled_at_2x_plays_at_2x,
    compiled.test_compile_onto_a_folder_fails_and_leaves_nothing,
]

if __name__ == "__main__":
    common.main([(t.__name__, t) for t in TESTS])
