// Bone texts and the weights glTF carries per vertex. A bone text (the part
// of an SKC vertex line after "Bones ") is a count n, then n pairs of bone
// number and weight, all separated by blanks: "2 11 0.83333  2 0.16667".
//
// The export turns each text into influences; the import turns a vertex's
// joints and weights back into a text. A text travels with the file as well,
// so that a vertex whose weights come back unchanged gets its own text back
// byte for byte: influenceKey() tells whether two sets of weights are the
// same at the precision of the game's texts.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ql::gltf {

struct Influence {
  int32_t bone = 0;
  double weight = 0;
};

// The game's texts give weights in units of 1/100000 (five decimals).
inline constexpr int32_t kWeightUnits = 100000;

// The influences of a bone text: one per bone number (weights of a repeated
// bone added up), weights above 0 only, scaled to add up to 1, heaviest
// first (equal weights by bone number). Empty when the text gives none: a
// count of 0, a malformed text (a token that is not a number, a negative
// bone number, fewer pairs than its count), or no weight above 0.
std::vector<Influence> parseBoneText(std::string_view text);

// The weights as written into the file: single precision, nudged so that
// they add up to 1 as closely as single precision allows.
std::vector<float> fileWeights(std::span<const Influence> influences);

// A key that is equal for two sets of (bone, weight) pairs exactly when they
// name the same bones with the same weights at five decimals. Pairs whose
// weight rounds to 0 do not count. `weights` is scaled to add up to 1 first.
std::string influenceKey(std::span<const Influence> influences);

// A bone text in the game's format for influences read from a file: the
// count, then each bone and its weight with five decimals, heaviest first;
// bone numbers after the first take two columns ("2 11 0.83333  2 0.16667").
// The weights are scaled to add up to exactly 1.00000. No influences give "0".
std::string gameBoneText(std::span<const Influence> influences);

}  // namespace ql::gltf
