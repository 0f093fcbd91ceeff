// The SKC reader: loads a character-skin text into the model store. It is no
// tokenizer: each piece of the model is found by a regular expression run over
// single lines (or, for the vertex count, over the whole text), and the line
// each search starts on and the counts that end each loop are part of the
// format as read.
#pragma once

#include <cstdint>

#include "module/support/array.h"
#include "module/support/text.h"

namespace ql::model {

// The load the model list starts: stops the redraw timer, replaces the log
// with the load banner, parses the file, prepares the model's textures, logs
// the vertex count and starts the timer again. Success and failure show only
// in the log, in message boxes and in the store.
void loadSkcModel(TextRef path);

// Parses the SKC file at `path`. The two tables and the two counts are written
// through the parameters; materialCount, texturePaths, textureIds, skcHead,
// boneTexts and modelLoaded directly in the store.
void parseSkcFile(ArrayVar<float> vertexTable, ArrayVar<int32_t> triangleTable, TextRef path,
                  int32_t& vertexCount, int32_t& triangleCount);

}  // namespace ql::model
