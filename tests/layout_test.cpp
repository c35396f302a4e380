// The layout step: the reference canvas fitted into windows and safe areas,
// its modes, its change detection, the derived rectangles and the hit tests,
// and its behaviour on display values no host would send.
#include "layout.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iterator>
#include <limits>
#include <random>
#include <vector>

#include "bridge.hpp"
#include "state_tables.hpp"
#include "state_tree.hpp"

namespace {

using namespace quillfen;
namespace display = app::host::frame::display;
namespace layout = app::layout;

constexpr float nan_value = std::numeric_limits<float>::quiet_NaN();
constexpr float inf_value = std::numeric_limits<float>::infinity();
constexpr float float_max = std::numeric_limits<float>::max();

struct Rect {
  float x, y, width, height;
};

bool operator==(const Rect& a, const Rect& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

std::ostream& operator<<(std::ostream& out, const Rect& r) {
  return out << "(" << r.x << ", " << r.y << ", " << r.width << ", " << r.height << ")";
}

Rect canvas() { return {layout::canvas::x, layout::canvas::y, layout::canvas::width, layout::canvas::height}; }
Rect header() { return {layout::header::x, layout::header::y, layout::header::width, layout::header::height}; }
Rect safe() { return {layout::safe::x, layout::safe::y, layout::safe::width, layout::safe::height}; }
Rect gear_button() {
  return {layout::gear_button::x, layout::gear_button::y, layout::gear_button::width, layout::gear_button::height};
}
Rect footer_link() {
  return {layout::footer_link::x, layout::footer_link::y, layout::footer_link::width, layout::footer_link::height};
}
Rect play_menu_back() {
  return {layout::play_menu::back::x, layout::play_menu::back::y, layout::play_menu::back::width,
          layout::play_menu::back::height};
}
Rect play_menu_cancel() {
  return {layout::play_menu::cancel::x, layout::play_menu::cancel::y, layout::play_menu::cancel::width,
          layout::play_menu::cancel::height};
}
Rect picker_option(int32_t i) {
  namespace options = layout::picker::options;
  return {options::x.get(i), options::y.get(i), options::width.get(i), options::height.get(i)};
}

struct Display {
  float logical_width, logical_height;
  Rect safe_area;
  int32_t drawable_width_px = 0, drawable_height_px = 0;
};

void set_display(const Display& d) {
  display::logical_width = d.logical_width;
  display::logical_height = d.logical_height;
  display::safe_x = d.safe_area.x;
  display::safe_y = d.safe_area.y;
  display::safe_width = d.safe_area.width;
  display::safe_height = d.safe_area.height;
  display::drawable_width_px = d.drawable_width_px;
  display::drawable_height_px = d.drawable_height_px;
}

// A fully safe window of the given logical size.
Display window(float width, float height) { return {width, height, {0, 0, width, height}}; }

void restore_image(const std::vector<uint8_t>& image) {
  ASSERT_EQ(replay_image_restore(image.data(), static_cast<int32_t>(image.size())), replay_image_size);
}

// The replay image leaves the host copy alone, so the fields the layout reads
// there are set apart.
float* const host_display_floats[] = {
    &display::logical_width,   &display::logical_height,   &display::safe_x,        &display::safe_y,
    &display::safe_width,      &display::safe_height,      &display::content_scale, &display::raster_scale,
    &display::available_width, &display::available_height,
};
int32_t* const host_display_words[] = {
    &app::host::frame::version,   &display::resized,           &display::generation,
    &display::density_generation, &display::drawable_width_px, &display::drawable_height_px,
};

void fill_host_display(const std::function<uint32_t()>& next_bits) {
  for (float* field : host_display_floats) {
    const uint32_t bits = next_bits();
    std::memcpy(field, &bits, sizeof bits);
  }
  for (int32_t* field : host_display_words) *field = static_cast<int32_t>(next_bits());
}

class LayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    restore_image(std::vector<uint8_t>(replay_image_size, 0));
    fill_host_display([] { return 0u; });
  }

  static void step(const Display& d) {
    set_display(d);
    compute_layout();
  }
};

struct FitCase {
  const char* name;
  Display display;
  float scale;
  Rect canvas;
  Rect header;
};

TEST_F(LayoutTest, FitsTheReferenceCanvasUniformlyAndCentredIntoTheSafeArea) {
  const FitCase cases[] = {
      {"reference window", window(540, 1200), 1, {0, 0, 540, 1200}, {18, 18, 504, 118}},
      {"wide window limited by height", window(1080, 1200), 1, {270, 0, 540, 1200}, {288, 18, 504, 118}},
      {"405 x 900", window(405, 900), 0.75f, {0, 0, 405, 900}, {13.5f, 13.5f, 378, 88.5f}},
      {"405 x 900 with top and bottom insets",
       {405, 900, {0, 75, 405, 750}},
       0.625f,
       {33.75f, 75, 337.5f, 750},
       {45, 86.25f, 315, 73.75f}},
      {"405 x 900 with insets on three sides",
       {405, 900, {10, 75, 395, 750}},
       0.625f,
       {38.75f, 75, 337.5f, 750},
       {50, 86.25f, 315, 73.75f}},
      {"landscape", window(1600, 900), 0.75f, {597.5f, 0, 405, 900}, {611, 13.5f, 378, 88.5f}},
      {"tall narrow window limited by width", window(270, 1200), 0.5f, {0, 300, 270, 600}, {9, 309, 252, 59}},
  };
  for (const FitCase& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    step(c.display);
    EXPECT_EQ(layout::mode, layout_mode_normal);
    EXPECT_EQ(layout_is_normal(), 1);
    EXPECT_EQ(layout::ready, 1);
    EXPECT_EQ(layout::reference_scale, c.scale);
    EXPECT_EQ(canvas(), c.canvas);
    EXPECT_EQ(header(), c.header);
    EXPECT_EQ(safe(), c.display.safe_area);
    EXPECT_EQ(layout::logical_width, c.display.logical_width);
    EXPECT_EQ(layout::logical_height, c.display.logical_height);
  }
}

// Every rectangle on a canvas that is both scaled and offset, so that a
// region missing its canvas offset or its scale shows.
TEST_F(LayoutTest, DerivesEveryRectangleFromTheCanvas) {
  step(window(1600, 900));  // s = 0.75, canvas (597.5, 0, 405, 900)
  using namespace app::layout;
  struct Expected {
    const char* name;
    Rect actual;
    Rect expected;
  };
  const Expected rects[] = {
      {"header", {header::x, header::y, header::width, header::height}, {611, 13.5f, 378, 88.5f}},
      {"play", {play::x, play::y, play::width, play::height}, {620, 127.5f, 360, 690}},
      {"footer", {footer::x, footer::y, footer::width, footer::height}, {611, 828, 378, 55.5f}},
      {"footer_link", footer_link(), {617, 855, 366, 24}},
      {"gear_button", gear_button(), {936.5f, 36.75f, 42, 42}},
      {"picker panel",
       {picker::panel::x, picker::panel::y, picker::panel::width, picker::panel::height},
       {629, 112.5f, 342, 33}},
      {"picker option 0", picker_option(0), {650, 157.5f, 300, 81}},
      {"picker option 1", picker_option(1), {650, 262.5f, 300, 81}},
      {"picker option 2", picker_option(2), {650, 367.5f, 300, 81}},
      {"picker option 3", picker_option(3), {650, 472.5f, 300, 81}},
      {"completion panel",
       {completion::panel::x, completion::panel::y, completion::panel::width, completion::panel::height},
       {638, 349.5f, 324, 246}},
      {"completion content",
       {completion::content::x, completion::content::y, completion::content::width, completion::content::height},
       {656, 367.5f, 288, 210}},
      {"completion title",
       {completion::title::x, completion::title::y, completion::title::width, completion::title::height},
       {665, 367.5f, 270, 33}},
      {"completion result",
       {completion::result::x, completion::result::y, completion::result::width, completion::result::height},
       {665, 406.5f, 270, 25.5f}},
      {"completion action",
       {completion::action::x, completion::action::y, completion::action::width, completion::action::height},
       {669.5f, 447, 261, 48}},
      {"completion hint",
       {completion::hint::x, completion::hint::y, completion::hint::width, completion::hint::height},
       {656, 523.5f, 288, 22.5f}},
      {"play menu panel",
       {play_menu::panel::x, play_menu::panel::y, play_menu::panel::width, play_menu::panel::height},
       {638, 340.5f, 324, 264}},
      {"play menu back", play_menu_back(), {669.5f, 438, 261, 48}},
      {"play menu cancel", play_menu_cancel(), {669.5f, 505.5f, 261, 48}},
  };
  for (const Expected& r : rects) EXPECT_EQ(r.actual, r.expected) << r.name;
}

TEST_F(LayoutTest, HighPixelDensityKeepsLogicalRectanglesAndReportsThePixelScale) {
  step({405, 900, {0, 0, 405, 900}, 1215, 2700});
  EXPECT_EQ(layout::mode, layout_mode_normal);
  EXPECT_EQ(canvas(), (Rect{0, 0, 405, 900}));
  EXPECT_EQ(header(), (Rect{13.5f, 13.5f, 378, 88.5f}));
  EXPECT_EQ(layout::surface_width, 1215);
  EXPECT_EQ(layout::surface_height, 2700);
  EXPECT_EQ(pixel_scale_x(), 3);
  EXPECT_EQ(pixel_scale_y(), 3);

  step({540, 1200, {0, 0, 540, 1200}, 1080, 1800});
  EXPECT_EQ(pixel_scale_x(), 2);
  EXPECT_EQ(pixel_scale_y(), 1.5f);
}

TEST_F(LayoutTest, PixelScaleIsZeroWithoutPositiveSizes) {
  const Display cases[] = {
      {0, 900, {0, 0, 0, 900}, 1215, 2700},
      {405, -900, {0, 0, 405, 900}, 1215, 2700},
      {405, 900, {0, 0, 405, 900}, 0, 2700},
      {405, 900, {0, 0, 405, 900}, 1215, -5},
  };
  for (const Display& d : cases) {
    step(d);
    EXPECT_EQ(pixel_scale_x() == 0, d.logical_width <= 0 || d.drawable_width_px <= 0) << d.logical_width;
    EXPECT_EQ(pixel_scale_y() == 0, d.logical_height <= 0 || d.drawable_height_px <= 0) << d.logical_height;
  }
}

struct ModeCase {
  const char* name;
  Display display;
  int32_t mode;
};

TEST_F(LayoutTest, ErrorModesKeepThePreviousRectangles) {
  const ModeCase cases[] = {
      {"zero logical height", {405, 0, {0, 0, 405, 900}}, layout_mode_no_display_size},
      {"zero logical height and a bad safe area", {405, 0, {-5, -5, 0, 0}}, layout_mode_no_display_size},
      {"negative logical width", {-405, 900, {0, 0, 405, 900}}, layout_mode_no_display_size},
      {"safe area one unit wider than the window", {405, 900, {0, 0, 406, 900}}, layout_mode_out_of_bounds},
      {"safe area one unit taller than the window", {405, 900, {0, 0, 405, 901}}, layout_mode_out_of_bounds},
      {"safe area shifted past the right edge", {405, 900, {1, 0, 405, 900}}, layout_mode_out_of_bounds},
      {"safe area shifted past the bottom edge", {405, 900, {0, 1, 405, 900}}, layout_mode_out_of_bounds},
      {"negative safe x", {405, 900, {-1, 0, 300, 900}}, layout_mode_out_of_bounds},
      {"negative safe y", {405, 900, {0, -1, 405, 800}}, layout_mode_out_of_bounds},
      {"zero safe width", {405, 900, {0, 0, 0, 900}}, layout_mode_out_of_bounds},
      {"zero safe height", {405, 900, {0, 0, 405, 0}}, layout_mode_out_of_bounds},
  };
  for (const ModeCase& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    step(window(405, 900));
    const Rect gear_before = gear_button();
    const Rect option_before = picker_option(3);

    step(c.display);
    EXPECT_EQ(layout::mode, c.mode);
    EXPECT_EQ(layout_is_normal(), 0);
    EXPECT_EQ(layout::changed, 1);
    EXPECT_EQ(layout::reference_scale, 0.75f);
    EXPECT_EQ(canvas(), (Rect{0, 0, 405, 900}));
    EXPECT_EQ(gear_button(), gear_before);
    EXPECT_EQ(picker_option(3), option_before);
    EXPECT_EQ(safe(), c.display.safe_area);  // the host's values are stored in every mode

    // The game resumes by itself once the host reports a usable area again.
    step(window(540, 1200));
    EXPECT_EQ(layout::mode, layout_mode_normal);
    EXPECT_EQ(layout::changed, 1);
    EXPECT_EQ(canvas(), (Rect{0, 0, 540, 1200}));
  }
}

TEST_F(LayoutTest, FirstStepInAnErrorModeStillDefinesEveryRectangle) {
  step({405, 0, {0, 0, 405, 900}});
  EXPECT_EQ(layout::mode, layout_mode_no_display_size);
  EXPECT_EQ(layout::ready, 1);
  EXPECT_EQ(layout::changed, 1);
  EXPECT_EQ(layout::reference_scale, 1);
  EXPECT_EQ(canvas(), (Rect{0, 0, 540, 1200}));
  EXPECT_EQ(header(), (Rect{18, 18, 504, 118}));
  EXPECT_EQ(gear_button(), (Rect{452, 49, 56, 56}));
  EXPECT_EQ(picker_option(3), (Rect{70, 630, 400, 108}));
  EXPECT_EQ(play_menu_cancel(), (Rect{96, 674, 348, 64}));
}

TEST_F(LayoutTest, ChangedOnlyWhenARelevantValueChanged) {
  struct ChangeCase {
    const char* name;
    void (*alter)();
    int32_t changed;
  };
  const ChangeCase cases[] = {
      {"nothing", [] {}, 0},
      {"logical width", [] { display::logical_width = 406; }, 1},
      {"logical height", [] { display::logical_height = 901; }, 1},
      {"safe x", [] { display::safe_x = 1; }, 1},
      {"safe y", [] { display::safe_y = 1; }, 1},
      {"safe width", [] { display::safe_width = 404; }, 1},
      {"safe height", [] { display::safe_height = 899; }, 1},
      {"display generation", [] { display::generation = 8; }, 1},
      {"resized flag", [] { display::resized = 1; }, 1},
      {"density generation only", [] { display::density_generation = 4; }, 0},
      {"drawable size only",
       [] {
         display::drawable_width_px = 1620;
         display::drawable_height_px = 3600;
       },
       0},
      {"host version only", [] { app::host::frame::version = 3; }, 0},
  };
  for (const ChangeCase& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    display::generation = 7;
    display::density_generation = 3;
    step({405, 900, {0, 0, 405, 900}, 810, 1800});
    EXPECT_EQ(layout::changed, 1);  // the first step always changes
    const Rect header_before = header();

    c.alter();
    compute_layout();
    EXPECT_EQ(layout::changed, c.changed);
    // Whatever changed, the step records the host's latest values.
    EXPECT_EQ(layout::display_generation, display::generation);
    EXPECT_EQ(layout::density_generation, display::density_generation);
    EXPECT_EQ(layout::surface_width, static_cast<float>(display::drawable_width_px));
    EXPECT_EQ(layout::surface_height, static_cast<float>(display::drawable_height_px));
    if (c.changed == 0) {
      EXPECT_EQ(header(), header_before);
    }
  }
}

TEST_F(LayoutTest, DensityChangeUpdatesThePixelScaleWithoutChanged) {
  step({405, 900, {0, 0, 405, 900}, 810, 1800});
  EXPECT_EQ(pixel_scale_x(), 2);
  display::density_generation = 1;
  display::drawable_width_px = 1215;
  display::drawable_height_px = 2700;
  compute_layout();
  EXPECT_EQ(layout::changed, 0);
  EXPECT_EQ(layout::density_generation, 1);
  EXPECT_EQ(pixel_scale_x(), 3);
  EXPECT_EQ(pixel_scale_y(), 3);
}

TEST_F(LayoutTest, AModeDifferentFromTheStoredOneSetsChanged) {
  step(window(405, 900));
  compute_layout();
  ASSERT_EQ(layout::changed, 0);
  layout::mode = 7;  // as a replay image may leave it
  compute_layout();
  EXPECT_EQ(layout::mode, layout_mode_normal);
  EXPECT_EQ(layout::changed, 1);
}

TEST_F(LayoutTest, ARepeatedNaNCountsAsAChangeEveryStep) {
  step({405, 900, {nan_value, 0, 405, 900}});
  step({405, 900, {nan_value, 0, 405, 900}});
  EXPECT_EQ(layout::changed, 1);
  EXPECT_EQ(layout::mode, layout_mode_out_of_bounds);
}

TEST_F(LayoutTest, SnapshotAvailableOnceTheHostFillsTheBlock) {
  struct SnapshotCase {
    int32_t version, generation, available;
  };
  const SnapshotCase cases[] = {{0, 0, 0}, {1, 0, 1}, {0, 1, 1}, {-1, -1, 0}, {5, 9, 1}};
  for (const SnapshotCase& c : cases) {
    app::host::frame::version = c.version;
    display::generation = c.generation;
    step(window(405, 900));
    EXPECT_EQ(layout::snapshot_available, c.available) << c.version << " " << c.generation;
  }
}

struct HitCase {
  const char* name;
  int32_t (*hit)(float, float);
  Rect (*rect)();
};

// Points relative to the rectangle; the 405 x 900 layout puts every edge on
// an exactly representable value, so x + width is the edge itself.
TEST_F(LayoutTest, RectangleHitTestsIncludeTheLeftAndTopEdgesOnly) {
  const HitCase cases[] = {
      {"gear button", hit_gear_button, gear_button},
      {"footer link", hit_footer_link, footer_link},
      {"play menu back", hit_play_menu_back, play_menu_back},
      {"play menu cancel", hit_play_menu_cancel, play_menu_cancel},
  };
  step(window(405, 900));
  for (const HitCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Rect r = c.rect();
    ASSERT_GT(r.width, 0);
    const float right = r.x + r.width;
    const float bottom = r.y + r.height;
    const float mid_x = r.x + r.width * 0.5f;
    const float mid_y = r.y + r.height * 0.5f;
    EXPECT_EQ(c.hit(mid_x, mid_y), 1);
    EXPECT_EQ(c.hit(r.x, r.y), 1);
    EXPECT_EQ(c.hit(std::nextafter(right, 0.0f), std::nextafter(bottom, 0.0f)), 1);
    EXPECT_EQ(c.hit(right, mid_y), 0);
    EXPECT_EQ(c.hit(mid_x, bottom), 0);
    EXPECT_EQ(c.hit(std::nextafter(r.x, 0.0f), mid_y), 0);
    EXPECT_EQ(c.hit(mid_x, std::nextafter(r.y, 0.0f)), 0);
    EXPECT_EQ(c.hit(nan_value, mid_y), 0);
  }
}

TEST_F(LayoutTest, GearButtonRightEdgeIsOutside) {
  step(window(405, 900));
  ASSERT_EQ(gear_button(), (Rect{339, 36.75f, 42, 42}));
  EXPECT_EQ(hit_gear_button(339, 36.75f), 1);
  EXPECT_EQ(hit_gear_button(381, 50), 0);
  EXPECT_EQ(hit_gear_button(380.9f, 50), 1);
}

TEST_F(LayoutTest, PickerOptionHitTestIncludesTheRightEdge) {
  step(window(405, 900));
  ASSERT_EQ(picker_option(1), (Rect{52.5f, 262.5f, 300, 81}));
  struct PickerCase {
    int32_t option;
    float px, py;
    int32_t hit;
  };
  const PickerCase cases[] = {
      {1, 200, 300, 1},    {1, 52.5f, 262.5f, 1},                       // left top corner
      {1, 352.5f, 300, 1},                                              // right edge
      {1, 352.6f, 300, 0}, {1, 52.4f, 300, 0},    {1, 200, 343.5f, 0},  // bottom edge
      {1, 200, 262.4f, 0}, {0, 200, 300, 0},                            // another option's rectangle
      {-1, 200, 300, 0},   {4, 200, 300, 0},      {std::numeric_limits<int32_t>::min(), 200, 300, 0},
  };
  for (const PickerCase& c : cases)
    EXPECT_EQ(hit_picker_option(c.option, c.px, c.py), c.hit) << c.option << " " << c.px << " " << c.py;
}

TEST_F(LayoutTest, HitTestsMissWhileTheLayoutIsNotNormal) {
  step(window(405, 900));
  const Rect gear = gear_button();
  const Rect link = footer_link();
  const Rect back = play_menu_back();
  const Rect cancel = play_menu_cancel();
  const Rect option = picker_option(0);
  ASSERT_EQ(hit_gear_button(gear.x, gear.y), 1);

  for (const Display& bad : {Display{405, 900, {0, 0, 406, 900}}, Display{0, 0, {0, 0, 0, 0}}}) {
    step(bad);
    ASSERT_NE(layout::mode, layout_mode_normal);
    ASSERT_EQ(gear_button(), gear);  // the rectangles are still there
    EXPECT_EQ(hit_gear_button(gear.x, gear.y), 0);
    EXPECT_EQ(hit_footer_link(link.x, link.y), 0);
    EXPECT_EQ(hit_play_menu_back(back.x, back.y), 0);
    EXPECT_EQ(hit_play_menu_cancel(cancel.x, cancel.y), 0);
    EXPECT_EQ(hit_picker_option(0, option.x, option.y), 0);
  }
}

TEST_F(LayoutTest, ReferenceToLogicalConversions) {
  step({405, 900, {0, 75, 405, 750}});  // s = 0.625, canvas (33.75, 75)
  EXPECT_EQ(canvas_x(0), 33.75f);
  EXPECT_EQ(canvas_x(540), 33.75f + 337.5f);
  EXPECT_EQ(canvas_y(1200), 75 + 750);
  EXPECT_EQ(canvas_y(-8), 70);
  EXPECT_EQ(scaled(56), 35);
  EXPECT_EQ(scaled(-3), -1.875f);
}

TEST_F(LayoutTest, ScaledIntTruncatesTowardZeroAndSaturates) {
  struct TruncCase {
    float scale, v;
    int32_t expected;
  };
  constexpr int32_t int32_max = std::numeric_limits<int32_t>::max();
  constexpr int32_t int32_min = std::numeric_limits<int32_t>::min();
  const TruncCase cases[] = {
      {0.75f, 10, 7},                  // 7.5
      {0.75f, -10, -7},                // -7.5
      {0.75f, 1, 0},                   // 0.75
      {1, 2147483520.0f, 2147483520},  // the largest float below 2^31
      {1, 2147483648.0f, int32_max},   // 2^31
      {1, 3e9f, int32_max},
      {1, -2147483648.0f, int32_min},
      {1, -3e9f, int32_min},
      {1, inf_value, int32_max},
      {1, -inf_value, int32_min},
      {1, nan_value, 0},
      {nan_value, 10, 0},  // a scale restored as NaN
      {float_max, 10, int32_max},
  };
  for (const TruncCase& c : cases) {
    layout::reference_scale = c.scale;
    EXPECT_EQ(scaled_int(c.v), c.expected) << c.scale << " x " << c.v;
  }
}

TEST_F(LayoutTest, LayoutIsNormalOnlyInModeZero) {
  const std::pair<int32_t, int32_t> cases[] = {{0, 1}, {1, 0}, {2, 0}, {-1, 0}, {7, 0}};
  for (const auto& [mode, normal] : cases) {
    layout::mode = mode;
    EXPECT_EQ(layout_is_normal(), normal) << mode;
  }
}

TEST_F(LayoutTest, NonFiniteDisplayValuesGiveAnErrorMode) {
  const ModeCase cases[] = {
      {"NaN logical width", {nan_value, 900, {0, 0, 405, 900}}, layout_mode_no_display_size},
      {"NaN logical height", {405, nan_value, {0, 0, 405, 900}}, layout_mode_no_display_size},
      {"infinite logical width", {inf_value, 900, {0, 0, 405, 900}}, layout_mode_no_display_size},
      {"infinite window with an infinite safe area",
       {inf_value, inf_value, {0, 0, inf_value, inf_value}},
       layout_mode_no_display_size},
      {"negative infinite logical height", {405, -inf_value, {0, 0, 405, 900}}, layout_mode_no_display_size},
      {"NaN safe x", {405, 900, {nan_value, 0, 405, 900}}, layout_mode_out_of_bounds},
      {"NaN safe y", {405, 900, {0, nan_value, 405, 900}}, layout_mode_out_of_bounds},
      {"NaN safe width", {405, 900, {0, 0, nan_value, 900}}, layout_mode_out_of_bounds},
      {"NaN safe height", {405, 900, {0, 0, 405, nan_value}}, layout_mode_out_of_bounds},
      {"infinite safe width", {405, 900, {0, 0, inf_value, 900}}, layout_mode_out_of_bounds},
      {"negative infinite safe x", {405, 900, {-inf_value, 0, inf_value, 900}}, layout_mode_out_of_bounds},
      {"safe origin and size overflowing together",
       {float_max, float_max, {float_max, 0, float_max, 900}},
       layout_mode_out_of_bounds},
      {"huge finite window, fully safe", window(float_max, float_max), layout_mode_normal},
  };
  for (const ModeCase& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    step(window(405, 900));
    step(c.display);
    EXPECT_EQ(layout::mode, c.mode);
    EXPECT_TRUE(std::isfinite(layout::reference_scale));
    EXPECT_TRUE(std::isfinite(canvas().x) && std::isfinite(canvas().width));
    if (c.mode != layout_mode_normal) {
      EXPECT_EQ(canvas(), (Rect{0, 0, 405, 900}));
    }
  }
}

// A replay image may restore any bytes into the layout and the host copy; the
// step and every function on it must still be defined and pick a mode.
TEST_F(LayoutTest, ArbitraryRestoredStateGivesADefinedMode) {
  std::mt19937 random(20261211);
  const float odd_values[] = {nan_value, inf_value, -inf_value, 0.0f,
                              -0.0f,     float_max, -float_max, std::numeric_limits<float>::denorm_min(),
                              1e-30f,    1e30f,     -1};
  // Every field of the host copy as random bits.
  auto random_display = [&] { fill_host_display([&] { return static_cast<uint32_t>(random()); }); };
  // A plausible display with one field replaced, so that some draws reach the fit.
  auto display_with_one_odd_field = [&] {
    set_display({405, 900, {0, 0, 405, 900}, 810, 1800});
    const auto field = random() % (std::size(host_display_floats) + std::size(host_display_words));
    if (field < std::size(host_display_floats)) {
      *host_display_floats[field] = odd_values[random() % std::size(odd_values)];
    } else {
      *host_display_words[field - std::size(host_display_floats)] = static_cast<int32_t>(random());
    }
  };
  struct GarbageCase {
    uint8_t image_byte;  // 0 for random bytes
    std::function<void()> set_host_display;
  };
  std::vector<GarbageCase> cases = {
      {0xFF, [] { fill_host_display([] { return 0xFFFFFFFFu; }); }},  // NaN floats, -1 integers
      {0x7F, [] { fill_host_display([] { return 0x7F7F7F7Fu; }); }},  // huge positive values
  };
  for (int i = 0; i < 40; ++i)
    cases.push_back({0, i % 2 == 0 ? std::function<void()>(random_display) : display_with_one_odd_field});
  int32_t normal_steps = 0;
  for (const GarbageCase& c : cases) {
    std::vector<uint8_t> image(replay_image_size, c.image_byte);
    if (c.image_byte == 0) {
      for (uint8_t& byte : image) byte = static_cast<uint8_t>(random());
    }
    restore_image(image);
    c.set_host_display();
    const int32_t ready_before = layout::ready;
    const float scale_before = layout::reference_scale;
    // Conversions and hit tests on the restored layout, before any step.
    hit_gear_button(layout::canvas::x, layout::canvas::y);
    hit_picker_option(layout::mode, layout::canvas::x, layout::canvas::y);
    scaled_int(1200);
    pixel_scale_x();
    pixel_scale_y();

    compute_layout();
    const int32_t mode = layout::mode;
    EXPECT_TRUE(mode == layout_mode_normal || mode == layout_mode_no_display_size || mode == layout_mode_out_of_bounds)
        << mode;
    EXPECT_EQ(layout::ready, ready_before == 0 ? 1 : ready_before);
    if (mode == layout_mode_normal) {
      EXPECT_TRUE(std::isfinite(layout::reference_scale));
      EXPECT_TRUE(std::isfinite(layout::canvas::x) && std::isfinite(layout::canvas::y));
    } else if (ready_before != 0 && !std::isnan(scale_before)) {
      EXPECT_EQ(layout::reference_scale, scale_before);
    }
    for (int32_t i = -1; i <= picker_option_count; ++i) hit_picker_option(i, canvas_x(100), canvas_y(300));
    hit_footer_link(canvas_x(270), canvas_y(1160));
    scaled_int(1200);
    if (mode == layout_mode_normal) ++normal_steps;
  }
  EXPECT_GT(normal_steps, 0);  // the draws reach the fit, not only the error modes
}

}  // namespace
