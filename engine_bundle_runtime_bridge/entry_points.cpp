// The module's entry points. The host calls vexlor_aot_bind_runtime_globals
// once, main once, then tick and render once per frame.
#include <cstdint>

#include "export.hpp"
#include "flow.hpp"
#include "gfx.hpp"
#include "host.hpp"
#include "layout.hpp"
#include "state_tree.hpp"

extern "C" {

VEXLOR_EXPORT int32_t main() {
  quillfen::request_window_size(405, 900);
  quillfen::start_game();
  return 0;
}

VEXLOR_EXPORT int32_t tick() {
  quillfen::read_host_frame();
  if (app::host::frame::quit_requested == 1) return 1;
  quillfen::compute_layout();
  return 0;
}

VEXLOR_EXPORT int32_t render() {
  quillfen::frame_begin();
  quillfen::read_host_frame();
  quillfen::compute_layout();
  return quillfen::frame_end(0);
}

}
