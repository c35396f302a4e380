// The game's string literals. Game code passes them as text handles (the
// id of a literal is the FNV-1a hash of its text); vexlor_aot_bind_runtime_globals
// loads this table into the runtime.
#pragma once

#include <cstdint>
#include <string_view>

#include "fnv.hpp"

// X(name, text)
#define QUILLFEN_LITERALS(X) \
  X(asset_cheese_goal, "assets/canonical/cheese-goal.svg") \
  X(asset_completion_celebration_accent, "assets/canonical/completion-celebration-accent.svg") \
  X(asset_crumb_cheese_motif, "assets/canonical/crumb-cheese-motif.svg") \
  X(asset_footer_help_treatment, "assets/canonical/footer-help-treatment.svg") \
  X(asset_general_background, "assets/background-general.png") \
  X(asset_loading_progress_treatment, "assets/canonical/loading-progress-treatment.svg") \
  X(asset_maze_surface, "assets/maze-surface.png") \
  X(asset_maze_surface_motif, "assets/canonical/maze-surface-motif.svg") \
  X(asset_maze_wall_treatment, "assets/canonical/maze-wall-treatment.svg") \
  X(asset_mouse_idle_0, "assets/canonical/mouse-idle-frame-0.svg") \
  X(asset_mouse_idle_1, "assets/canonical/mouse-idle-frame-1.svg") \
  X(asset_mouse_scurry_0, "assets/canonical/mouse-scurry-frame-0.svg") \
  X(asset_mouse_scurry_1, "assets/canonical/mouse-scurry-frame-1.svg") \
  X(asset_outer_background_pattern, "assets/canonical/outer-background-pattern.svg") \
  X(asset_picker_button_selected, "assets/canonical/picker-button-selected.svg") \
  X(asset_picker_button_unselected, "assets/canonical/picker-button-unselected.svg") \
  X(asset_picker_panel, "assets/canonical/picker-panel.svg") \
  X(asset_sound_cheese, "assets/cheese.wav") \
  X(asset_sound_start, "assets/start.wav") \
  X(asset_sound_ui, "assets/ui.wav") \
  X(asset_title_logo_treatment, "assets/canonical/title-logo-treatment.svg") \
  X(asset_ui_font, "assets/ui.ttf") \
  X(brewing_title, "BREWING A NEW MAZE") \
  X(completion_action, "CONTINUE") \
  X(completion_hint, "TAP, CLICK, OR PRESS ENTER TO CONTINUE") \
  X(completion_result, "LEVEL CLEARED") \
  X(completion_title, "MAZE COMPLETE") \
  X(empty_text, "") \
  X(footer_link, "More from Kelm Varnholt at Varnholt Labs") \
  X(footer_shortcut, "SPACE") \
  X(help_line, "TAP / HOLD TOWARD PATH  -  HOLD ARROWS / WASD") \
  X(invalid_display, "No valid display size is available.") \
  X(invalid_safe_area, "The usable area is out of bounds.") \
  X(loading_art, "LOADING ART") \
  X(loading_audio, "LOADING AUDIO") \
  X(loading_failed, "Unable to load the maze. Press R to retry.") \
  X(metric_separator, "x") \
  X(minus_sign, "-") \
  X(origin_label, "Origin") \
  X(picker_title, "PICK A DIFFICULTY") \
  X(pixels_label, "Pixels") \
  X(play_menu_back, "BACK TO MAIN MENU") \
  X(play_menu_cancel, "CANCEL") \
  X(play_menu_title, "GAME MENU") \
  X(publisher_url, "https://varnholtlabs.com/") \
  X(quillfen_maze_3, "QUILLFEN MAZE 3") \
  X(resize_restore, "Resize or restore this window.") \
  X(resume_automatically, "Your game will resume automatically.") \
  X(size_label_challenging, "35 x 30 MAZE") \
  X(size_label_easy, "12 x 12 MAZE") \
  X(size_label_insane, "53 x 41 MAZE") \
  X(size_label_moderate, "22 x 18 MAZE") \
  X(tier_challenging, "CHALLENGING") \
  X(tier_easy, "EASY") \
  X(tier_insane, "INSANE") \
  X(tier_moderate, "MODERATE") \
  X(usable_label, "Usable") \
  X(waiting_window, "Waiting for a usable window") \
  X(window_label, "Window")

namespace quillfen::lit {

#define QUILLFEN_LITERAL_ID(name, text) inline constexpr int32_t name = vexlor::key_of(text);
QUILLFEN_LITERALS(QUILLFEN_LITERAL_ID)
#undef QUILLFEN_LITERAL_ID

}  // namespace quillfen::lit
