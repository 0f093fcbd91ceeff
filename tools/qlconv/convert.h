// One conversion, run in a process of its own: the real program (module
// image, kernel, module routines) on the headless window system, acting as
// the user would. An SKC model is chosen in the model list of a temporary
// program whose game folder holds it; an OBJ model is opened with the OBJ
// import; then the export menu item writes it, its file dialog answered with
// the output path. Every message box is answered OK.
#pragma once

#include <cstdio>
#include <filesystem>

#include "tools/qlconv/cli.h"

namespace ql::qlconv {

struct ConvertRequest {
  InputKind kind = InputKind::Skc;
  Format to = Format::Obj;
  fs::path input;       // absolute
  fs::path output;      // absolute; for OBJ its folder is made when missing
  fs::path runtimeDir;  // empty: this build's runtime folder
  fs::path textureDir;  // empty: the program's texture folder stays empty
};

// Writes what the program shows (message boxes and log lines, UTF-8, one a
// line) and its own failure reasons to `messages`. Returns the exit status:
// 0 when the output was written, 1 otherwise.
int convertOne(const ConvertRequest& request, FILE* messages);

// The arguments that make qlconv run one conversion (after the program path).
inline constexpr char kChildFlag[] = "--qlconv-child";
std::vector<std::string> childArgs(const ConvertRequest& request);
// Reads them back; nothing when they are not a child's arguments.
std::optional<ConvertRequest> parseChildArgs(std::span<const std::string> args);

}  // namespace ql::qlconv
