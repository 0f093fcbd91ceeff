// Arrays as the runtime holds them: u32 dimension count, one u32 size per
// dimension, then the elements row-major. Numbers are 4 bytes wide; texts and
// records are pointer-sized. Indices count from 1.
//
// NOTE: a two-dimensional header is 12 bytes, so pointer elements of a table
// are not pointer-aligned: every element goes through memcpy.
//
// The raw routines in ql::arr work on blocks; Array<T> owns one block and
// ArrayVar<T> is a view of a variable (local or module-wide) that holds one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>
#include <utility>

#include "module/support/services.h"
#include "module/support/text.h"

namespace ql::arr {

// Dimension count of a block; 0 for null.
uint32_t dimensionCount(const void* block);
// Size of dimension k (0-based); the caller keeps k below dimensionCount().
uint32_t dimensionSize(const void* block, uint32_t k);
// Bytes before the first element: 4 + 4 × dimension count.
size_t headerSize(const void* block);
// Product of the sizes; 0 for no dimensions.
uint64_t elementCount(const void* block);
// As elementCount(), and 0 for null.
uint64_t elementCountOrZero(const void* block);
// Element number of zero-based indices in an array of the given sizes:
// sum over k of index[k] × size[k+1] × … × size[n−1].
uint64_t flatIndex(std::span<const uint32_t> zeroBasedIndices, std::span<const uint32_t> sizes);

// Address of the element at 1-based indices. Runtime error 3 when the number
// of indices is not the dimension count, and svc::kErrIndexRange when an
// index lies outside 1 … size.
void* elementAddress(void* block, size_t width, std::span<const int32_t> indices);

using ReleaseFn = void (*)(void* block);
// Replaces *var by a new zeroed array of the given sizes; runtime error 10
// when a size is not above 0 (or the array could not be addressed at all).
// The old block goes to `releaseOld` (texts of a text list with it).
void dimension(void** var, size_t width, std::span<const int32_t> sizes, ReleaseFn releaseOld = svc::release);
// Appends one element (`width` bytes at `element`) to the list in *var,
// flattening an array of several dimensions into one. For a module-wide
// variable the runtime is told first (support selector 2).
void append(void** var, size_t width, const void* element, bool moduleWide);
// A new array with a copy of `shape` (u32 count, sizes; as stored in @const)
// and zeroed elements.
void* freshFromShape(const void* shape, size_t width);

// How many rows of a table of 4-byte elements a reader may take when the
// store says `count`: `count` kept within 0 … the table's rows, and 0 when
// the table is not a two-dimensional one with at least `columns` columns
// (the start-up shapes).
int32_t readableRows(const void* table, int32_t count, uint32_t columns);
// Columns 1 … out.size() of row `row` (from 1) of such a table. The caller
// keeps `row` within readableRows() for that many columns.
void readRow(const void* table, int32_t row, std::span<float> out);
void readRow(const void* table, int32_t row, std::span<int32_t> out);

// Frees each present element, then the block.
void releaseTextList(void* block);
// Frees each field text of each present record, then the record, then the block.
void releaseRecordList(void* block, size_t textFields);

}  // namespace ql::arr

namespace ql {

// ---- Element kinds --------------------------------------------------------------
// A record of text fields only (MaterialEntry): declares its field count so a
// list of such records can be released.
template <class R>
concept TextRecord = std::is_standard_layout_v<R> && std::is_trivial_v<R> &&
                     requires { R::kTextFields; } && sizeof(R) == R::kTextFields * sizeof(char*);

template <class T>
struct ElementTraits;
template <>
struct ElementTraits<int32_t> {
  static constexpr size_t width = 4;
  static void release(void* block) { svc::release(block); }
};
template <>
struct ElementTraits<float> {
  static constexpr size_t width = 4;
  static void release(void* block) { svc::release(block); }
};
template <>
struct ElementTraits<char*> {
  static constexpr size_t width = sizeof(char*);
  static void release(void* block) { arr::releaseTextList(block); }
};
template <TextRecord R>
struct ElementTraits<R*> {
  static constexpr size_t width = sizeof(R*);
  static void release(void* block) { arr::releaseRecordList(block, R::kTextFields); }
};

// One element seen through its (possibly unaligned) address.
template <class T>
class ElementRef {
 public:
  explicit ElementRef(void* at) : at_(at) {}
  operator T() const {
    T v;
    std::memcpy(&v, at_, sizeof(T));
    return v;
  }
  ElementRef& operator=(T v) {
    std::memcpy(at_, &v, sizeof(T));
    return *this;
  }
  ElementRef& operator=(const ElementRef& other) { return *this = T(other); }

 private:
  void* at_;
};

// A variable that holds an array block: a module-wide variable in the
// globals, or an Array's own member. Copying the view copies the address.
template <class T>
class ArrayVar {
 public:
  using Traits = ElementTraits<T>;
  static constexpr size_t kWidth = Traits::width;

  ArrayVar(void** var, bool moduleWide) : var_(var), moduleWide_(moduleWide) {}

  void* block() const { return *var_; }
  uint32_t dims() const { return arr::dimensionCount(*var_); }
  // Size of dimension k, counting from 1 as indices do; 0 beyond the last.
  uint32_t size(uint32_t k = 1) const {
    return k >= 1 && k <= dims() ? arr::dimensionSize(*var_, k - 1) : 0;
  }
  uint64_t count() const { return arr::elementCountOrZero(*var_); }

  template <class... I>
  ElementRef<T> at(I... indices) const {
    const std::array<int32_t, sizeof...(I)> idx{static_cast<int32_t>(indices)...};
    return ElementRef<T>(arr::elementAddress(*var_, kWidth, idx));
  }
  template <class... I>
  T get(I... indices) const {
    return at(indices...);
  }

  // New zeroed shape; the old contents are released, not kept.
  template <class... S>
  void dimension(S... sizes) {
    const std::array<int32_t, sizeof...(S)> s{static_cast<int32_t>(sizes)...};
    arr::dimension(var_, kWidth, s, &Traits::release);
  }
  void dimensionList(std::span<const int32_t> sizes) { arr::dimension(var_, kWidth, sizes, &Traits::release); }

  // Numbers and record pointers; a record appended here belongs to the list.
  void append(T value)
    requires(!std::is_same_v<T, char*>)
  {
    arr::append(var_, kWidth, &value, moduleWide_);
  }

  // ---- Text lists: the list owns a copy of every text put into it ----
  template <class... I>
  TextRef text(I... indices) const
    requires std::is_same_v<T, char*>
  {
    return TextRef(static_cast<char*>(at(indices...)));
  }
  template <class... I>
  void setText(TextRef s, I... indices)
    requires std::is_same_v<T, char*>
  {
    storeText(Text::copy(s), indices...);
  }
  template <class... I>
  void storeText(Text&& s, I... indices)
    requires std::is_same_v<T, char*>
  {
    ElementRef<char*> e = at(indices...);
    char* old = e;
    e = s.release();
    svc::release(old);
  }
  void appendText(TextRef s)
    requires std::is_same_v<T, char*>
  {
    appendText(Text::copy(s));
  }
  void appendText(Text&& s)
    requires std::is_same_v<T, char*>
  {
    char* p = s.get();
    arr::append(var_, kWidth, &p, moduleWide_);
    s.release();  // only now does the list hold it
  }

  // Releases the array (and what its elements own) and leaves the variable null.
  void free() { Traits::release(std::exchange(*var_, nullptr)); }
  // Puts another block into the variable, releasing the old one.
  void replace(void* block) {
    void* old = std::exchange(*var_, block);
    if (old != block) Traits::release(old);
  }

 protected:
  void** var_;
  bool moduleWide_;
};

// Owns one array block (null when there is none) and releases it, with what
// its elements own, when it goes.
template <class T>
class Array : public ArrayVar<T> {
 public:
  Array() : ArrayVar<T>(&block_, false) {}
  ~Array() { ArrayVar<T>::Traits::release(block_); }
  Array(Array&& other) noexcept : ArrayVar<T>(&block_, false), block_(std::exchange(other.block_, nullptr)) {}
  Array& operator=(Array&& other) noexcept {
    if (this != &other) this->replace(std::exchange(other.block_, nullptr));
    return *this;
  }
  Array(const Array&) = delete;
  Array& operator=(const Array&) = delete;

  static Array adopt(void* block) {
    Array a;
    a.block_ = block;
    return a;
  }
  // A fresh array from a shape held in the constants.
  static Array fromShape(const void* shape) { return adopt(arr::freshFromShape(shape, ArrayVar<T>::kWidth)); }
  // Gives up ownership, for storing the block in a module-wide variable.
  void* release() { return std::exchange(block_, nullptr); }

 private:
  void* block_ = nullptr;
};

using IntList = Array<int32_t>;     // one dimension
using IntTable = Array<int32_t>;    // two dimensions
using FloatTable = Array<float>;
using TextList = Array<char*>;

}  // namespace ql
