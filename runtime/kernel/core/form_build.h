// From the module's window definitions (@form) to the window system's
// descriptions, and the one table of which unit kinds the window system can
// build and which of their properties are texts.
#pragma once

#include <cstdint>
#include <optional>

#include "common/result.h"
#include "module/image/image.h"
#include "runtime/window/window_system.h"

namespace ql::rt {

// The control kind of a unit's library-qualified type code; nullopt for the
// window's own unit, menu items and every type the window system lacks.
std::optional<window::ControlKind> controlKindOf(uint32_t typeCode);

// The window, its menu (depth-first, as stored) and its controls with their
// type-specific settings. Fails, naming the window and the unit, when a unit
// has a type the window system cannot build or settings that do not decode.
// The result is hidden; whoever opens it decides when it shows.
Result<window::WindowDef> buildWindowDef(const image::Window& window);

// Whether property `number` of a unit of `typeCode` holds a text: the text
// box's whole text (8) and the file dialog's file name, filter and initial
// folder (10, 11, 13). Every other property is an integer.
bool isTextProperty(uint32_t typeCode, int32_t number);

}  // namespace ql::rt
