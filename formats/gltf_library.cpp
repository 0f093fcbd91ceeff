// The glTF library's implementation, compiled once.
// NOTE: its writers to files use std::ofstream even without its file-system
// callbacks, which leave <fstream> out; we never call them.
#include <fstream>

#define TINYGLTF_IMPLEMENTATION
#include "formats/gltf_library.h"
