// What the model writers (SKC, AC3D) share: the rows of the store's tables
// they may read, path pieces, the export file dialog and the checked write.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "module/support/array.h"
#include "module/support/byteset.h"
#include "module/support/text.h"

namespace ql::model {

// Columns a writer reads from each row of the store's tables.
constexpr uint32_t kVertexColumns = 5;    // x, y, z, u, v
constexpr uint32_t kTriangleColumns = 4;  // material, three vertex indices

// The rows of the store's tables a writer may read, and reading them.
using arr::readableRows;
using arr::readRow;

// The entries of a list; 0 for an absent list or one of several dimensions.
uint32_t listEntries(const void* list);

// True when every number of the vertex rows a writer writes is finite.
// Otherwise the user is told the first vertex and number that is not, and
// false comes back: the number-to-text conversion would write "inf", which
// every reader (this tool's too) reads back as 0.
bool verticesAreFinite();

// The part of a path after its last backslash; "" when it holds none.
Text fileNameOf(TextRef path);
// The same, but a path without a backslash is a file name of its own.
Text plainFileNameOf(TextRef path);

// When the store holds bone texts but not one per vertex (an OBJ whose
// vertices another program dropped or added): a text that names both
// counts. Nothing when they agree or there are no bone texts at all.
std::optional<Text> bonesMismatch();

// Opens the export dialog 通用对话框3 in the program folder with the given
// filter (an offset of the texts in @const). The chosen path, or nothing when
// the user did not confirm a name.
std::optional<Text> chooseExportFile(uint32_t filterText);

// Writes `content` as the whole file at `path`. When the write fails the
// user is told which file, and false comes back. Writers that build their
// text as a byte set (TextBuilder::Layout::kByteSet) hand it over as it is.
bool writeBytesFile(TextRef path, BytesRef content);
// The same for the bytes of `text`, which the runtime first copies into a
// byte set.
bool writeTextFile(TextRef path, TextRef text);

// The user sees "写入文件失败：" and the path.
void reportWriteFailure(TextRef path);

}  // namespace ql::model
