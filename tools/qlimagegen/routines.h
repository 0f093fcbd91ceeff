// The module routines the image names by code offset. Each one with a symbol
// gets a pointer-sized entry in @code holding its address; the runtime calls
// the routine through that entry. Routines without a symbol are still to be
// written: the wiring may name them, and their events and menu clicks are left
// out of @form until they exist (add the symbol and its header here then).
#pragma once

#include <span>
#include <string_view>

namespace ql::imagegen {

struct RoutineDef {
  std::string_view name;    // constant in ql::gen::code (its code offset)
  std::string_view symbol;  // qualified C++ name; empty: not written yet
};

inline constexpr RoutineDef kRoutines[] = {
    {"kStart", "ql::app::startRoutine"},
    {"kCleanup", "ql::app::cleanupRoutine"},
    {"kMainCreated", "ql::ui::onMainCreated"},
    {"kMainMoved", "ql::ui::onMainMoved"},
    {"kLogResized", "ql::ui::onLogResized"},
    {"kModeChanged", "ql::ui::onModeChanged"},
    {"kTimerTick", "ql::ui::onTimerTick"},
    // Still to come.
    {"kViewRelease", "ql::ui::onViewRelease"},
    {"kViewportUpdate", "ql::ui::onViewportUpdate"},
    {"kModelSelected", "ql::game::onModelSelected"},
    {"kMouseDown", "ql::ui::onMouseDown"},
    {"kMouseUp", "ql::ui::onMouseUp"},
    {"kMouseMove", "ql::ui::onMouseMove"},
    {"kImportObj", "ql::formats::importObj"},
    {"kExportObj", "ql::formats::exportObj"},
    {"kExportAc3d", "ql::formats::exportAc3d"},
    {"kExportSkc", "ql::model::exportSkc"},
    {"kExportGltf", "ql::formats::exportGltf"},
    {"kImportGltf", "ql::formats::importGltf"},
    {"kSaveToGame", "ql::model::saveToGame"},
    {"kOpenForumBar", "ql::ui::openForumBar"},
    {"kOpenHelpThread", "ql::ui::openHelpThread"},
    {"kUpdateCheck", "ql::ui::updateCheck"},
    {"kOpenVersionNotes", "ql::ui::openVersionNotes"},
};

// Headers that declare the routines above (included by the generated source).
inline constexpr std::string_view kRoutineHeaders[] = {
    "module/app/start.h",
    "ui/main_window.h",
    "ui/view.h",
    "game/model_list.h",
    "ui/help.h",
    "model/skc_writer.h",
    "formats/ac3d_writer.h",
    "formats/obj_export.h",
    "formats/obj_import.h",
    "formats/gltf_commands.h",
};

// The routines the loader and the start routine need by role.
inline constexpr std::string_view kStartRoutine = "kStart";
inline constexpr std::string_view kCleanupRoutine = "kCleanup";

}  // namespace ql::imagegen
