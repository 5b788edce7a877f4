#!/usr/bin/env python3
"""End-to-end tests of the Linux program under a private Xvfb, with xdotool
as the real input source and qv_target logging what reaches it.

usage: run_e2e.py QUORVANE_BINARY TARGET_BINARY PROBE_BINARY [TEST_NAME...]
Prints one line per test and finally "RESULT passed failed".
QV_E2E_DISPLAYS="FIRST-LAST" sets the display numbers tried (default 91-95).

The cases live in one file per concern (toolbar, record_play, hotkeys,
wheel, layouts, timing, monitors, files, compiled); common.py holds what
they share and the runner. The order below is the order they run in."""
import os
import sys

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import common  # noqa: E402
from compiled import *  # noqa: E402,F403
from files import *  # noqa: E402,F403
from hotkeys import *  # noqa: E402,F403
from layouts import *  # noqa: E402,F403
from monitors import *  # noqa: E402,F403
from record_play import *  # noqa: E402,F403
from timing import *  # noqa: E402,F403
from toolbar import *  # noqa: E402,F403
from wheel import *  # noqa: E402,F403

TESTS = [
    test_status_caption_under_window_manager,
    test_placed_on_the_primary_monitor,
    test_centred_on_the_primary_of_two_monitors,
    test_scaled_toolbar,
    test_wayland_notice_once,
    test_resources_match_generator,
    test_no_display,
    test_own_size_and_placeholders,
    test_toolbar_window,
    test_start_style_gives_way_to_desktop_theme,
    test_input_reading,
    test_toolbar_keys,
    test_record_and_play_back,
    test_record_and_play_back_under_window_manager,
    test_record_hotkey_left_out_of_recording,
    test_file_plays_with_timing,
    test_shared_fixture_plays_into_target,
    test_rate_and_pause_limit,
    test_wheel_recorded_and_played_back,
    test_wheel_recorded_and_played_back_under_window_manager,
    test_wheel_files_of_both_desktops_play,
    test_first_click_of_a_fast_start_lands_on_its_pixel,
    test_clicks_at_normal_speed_land_on_their_pixels,
    test_key_table_plays_pc_codes,
    test_layout_de,
    test_layout_fr,
    test_layout_gb,
    test_layout_us_fast,
    test_layout_change_while_running,
    test_layout_group_switch,
    test_dead_keys,
    test_bad_file_box,
    test_command_line_answers,
    test_pause_stops_and_releases,
    test_commands_from_a_second_start,
    test_remember_settings,
    test_rate_chosen_in_menu_is_checked_and_kept,
    test_about_box_link_and_live_hotkeys,
    test_compiled_player,
    test_compiled_player_plays_at_its_rate,
    test_failed_compile_leaves_nothing,
    test_installed_program_as_ordinary_user,
]

if __name__ == "__main__":
    sys.exit(common.main(TESTS, __doc__))
