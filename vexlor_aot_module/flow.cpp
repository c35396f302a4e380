#include <cstdint>

#include "flow.hpp"

#include "state_tree.hpp"

namespace quillfen {

void start_game() { app::schema_version = schema_version; }

}  // namespace quillfen
