// Symbols the module exports; everything else stays hidden.
#pragma once

#define VEXLOR_EXPORT __attribute__((visibility("default")))
