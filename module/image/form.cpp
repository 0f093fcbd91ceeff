// @form and @reloc1 data, the checked cursors, and the small model helpers.
#include <algorithm>
#include <cstdio>
#include <unordered_set>

#include "module/abi.h"
#include "module/image/detail.h"

namespace ql::image {

std::string hex(uint64_t value) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(value));
  return buf;
}

namespace detail {

Error Cursor::shortBy(uint64_t wanted, const char* field) const {
  return error(std::string(field) + " at " + hex(base_ + pos_) + " needs " + hex(wanted) + " bytes, " +
               hex(remaining()) + " left");
}

Result<uint32_t> Cursor::u32(const char* field) {
  if (remaining() < 4) return shortBy(4, field);
  uint32_t v = loadU32(bytes_.data() + pos_);
  pos_ += 4;
  return v;
}

Result<uint8_t> Cursor::u8(const char* field) {
  if (remaining() < 1) return shortBy(1, field);
  return bytes_[pos_++];
}

Status Cursor::word(const char* field, uint32_t expected) {
  uint64_t at = base_ + pos_;
  QL_TRY(uint32_t v, u32(field));
  if (v != expected) return error(std::string(field) + " at " + hex(at) + " is " + hex(v) + ", expected " + hex(expected));
  return Ok{};
}

Status Cursor::zeros(size_t count, const char* field) {
  if (remaining() < count) return shortBy(count, field);
  for (size_t i = 0; i < count; ++i)
    if (bytes_[pos_ + i] != 0)
      return error(std::string(field) + ": byte " + hex(i) + " at " + hex(base_ + pos_ + i) + " is " +
                   hex(bytes_[pos_ + i]) + ", expected 0");
  pos_ += count;
  return Ok{};
}

Result<std::string> Cursor::cstring(const char* field) {
  auto s = readCString(bytes_, pos_);
  if (!s) return error(std::string(field) + " at " + hex(base_ + pos_) + " has no NUL before the end (" +
                       hex(remaining()) + " bytes left)");
  pos_ += s->size() + 1;
  return std::string(*s);
}

Result<ByteSpan> Cursor::take(uint64_t count, const char* field) {
  if (remaining() < count) return shortBy(count, field);
  ByteSpan s = bytes_.subspan(pos_, count);
  pos_ += count;
  return s;
}

Status Cursor::fits(uint64_t count, uint64_t itemSize, const char* field) const {
  // count * itemSize may overflow for hostile counts; compare by division.
  if (itemSize != 0 && count > remaining() / itemSize)
    return error(std::string(field) + " " + hex(count) + " needs " + hex(itemSize) + " bytes each from " +
                 hex(base_ + pos_) + ", " + hex(remaining()) + " left");
  return Ok{};
}

}  // namespace detail

using detail::Cursor;

// ---- Property cursor ------------------------------------------------------------

Error PropertyCursor::shortBy(size_t wanted, const char* what) const {
  return fail(where_ + ": " + what + " at " + hex(pos_) + " needs " + hex(wanted) + " bytes, " + hex(remaining()) +
              " left");
}

Result<uint32_t> PropertyCursor::u32() {
  if (remaining() < 4) return shortBy(4, "u32");
  uint32_t v = loadU32(bytes_.data() + pos_);
  pos_ += 4;
  return v;
}

Result<int32_t> PropertyCursor::i32() {
  QL_TRY(uint32_t v, u32());
  return int32_t(v);
}

Result<uint8_t> PropertyCursor::u8() {
  if (remaining() < 1) return shortBy(1, "byte");
  return bytes_[pos_++];
}

Result<std::string> PropertyCursor::text() {
  size_t at = pos_;
  if (remaining() < 4) return shortBy(4, "text length");
  uint32_t len = loadU32(bytes_.data() + pos_);
  if (len > remaining() - 4)
    return fail(where_ + ": text at " + hex(at) + " of length " + hex(len) + " runs past the end (" +
                hex(remaining() - 4) + " bytes left)");
  pos_ += 4;
  std::string s(reinterpret_cast<const char*>(bytes_.data() + pos_), len);
  pos_ += len;
  return s;
}

Result<ByteSpan> PropertyCursor::bytes(size_t count) {
  if (remaining() < count) return shortBy(count, "bytes");
  ByteSpan s = bytes_.subspan(pos_, count);
  pos_ += count;
  return s;
}

void appendPropertyU32(ByteVec& out, uint32_t value) {
  uint8_t b[4];
  storeU32(b, value);
  out.insert(out.end(), b, b + 4);
}

void appendPropertyText(ByteVec& out, std::string_view text) {
  appendPropertyU32(out, uint32_t(text.size()));
  out.insert(out.end(), text.begin(), text.end());
}

// ---- Model helpers --------------------------------------------------------------

bool Unit::isMenuItem() const { return abi::idKind(id) == abi::kIdMenuItem; }

const Unit* Window::unit(uint32_t unitId) const {
  for (const auto& u : units)
    if (u.id == unitId) return &u;
  return nullptr;
}

const Unit* Window::windowUnit() const {
  for (const auto& u : units)
    if (abi::idKind(u.id) == abi::kIdWindowUnit) return &u;
  return nullptr;
}

const Window* Form::window(uint32_t windowId) const {
  for (const auto& w : windows)
    if (w.id == windowId) return &w;
  return nullptr;
}

// ---- @form: decode --------------------------------------------------------------

namespace {

std::string unitWhere(size_t wi, const Window& w, size_t ui, uint32_t unitId) {
  return "@form window " + std::to_string(wi) + " (id " + hex(w.id) + ") unit " + std::to_string(ui) + " (id " +
         hex(unitId) + ")";
}

Result<Unit> decodeUnit(ByteSpan body, uint64_t base, std::string where, uint32_t id) {
  Cursor c(body, std::move(where), base);
  Unit u;
  u.id = id;
  QL_TRY(u.type, c.u32("type code"));
  QL_CHECK(c.zeros(kUnitReservedSize, "reserved bytes"));
  QL_TRY(u.name, c.cstring("name"));
  QL_TRY(u.remark, c.cstring("remark"));

  const uint32_t kind = abi::idKind(id);
  if (kind == abi::kIdMenuItem) {
    if (u.type != abi::kTypeMenuItem)
      return c.error("menu item id with type code " + hex(u.type) + ", expected " + hex(abi::kTypeMenuItem));
    QL_CHECK(c.word("menu word 0", 0));
    QL_TRY(u.level, c.u32("nesting level"));
    QL_CHECK(c.word("menu word 2", 0));
    QL_TRY(u.caption, c.cstring("caption"));
    QL_TRY(u.handler, c.u32("click handler"));
    for (size_t i = 0; i < kMenuItemTailWords; ++i) QL_CHECK(c.word("menu tail word", 0));
  } else {
    if (kind != abi::kIdWindowUnit && kind != abi::kIdControl)
      return c.error("unit id kind " + hex(kind) + " is none of window unit, menu item, control");
    if (u.type == abi::kTypeMenuItem) return c.error("type code of a menu item on a unit that is not one");
    QL_CHECK(c.word("placement word 0", 0));
    QL_TRY(u.left, c.i32("left"));
    QL_TRY(u.top, c.i32("top"));
    QL_TRY(u.width, c.i32("width"));
    QL_TRY(u.height, c.i32("height"));
    QL_CHECK(c.word("placement word 5", 0));
    QL_TRY(u.container, c.u32("container id"));
    QL_TRY(uint32_t contained, c.u32("contained control count"));
    QL_CHECK(c.fits(contained, 4, "contained control count"));
    u.contained.reserve(contained);
    for (uint32_t i = 0; i < contained; ++i) {
      QL_TRY(uint32_t cid, c.u32("contained control id"));
      u.contained.push_back(cid);
    }
    QL_TRY(u.layoutWord, c.u32("layout word"));
    QL_CHECK(c.word("unit word after layout word", 0));
    QL_CHECK(c.word("unit word after layout word", 0));
    QL_CHECK(c.zeros(1, "unit byte before flags"));
    QL_TRY(u.flags, c.u32("flags"));
    QL_CHECK(c.word("word after flags", 0));
    QL_TRY(uint32_t events, c.u32("event count"));
    QL_CHECK(c.fits(events, 8, "event count"));
    u.events.reserve(events);
    for (uint32_t i = 0; i < events; ++i) {
      Event e;
      QL_TRY(e.number, c.i32("event number"));
      QL_TRY(e.handler, c.u32("event handler"));
      u.events.push_back(e);
    }
    QL_CHECK(c.zeros(kPropertiesLeadSize, "leading zero bytes of the properties"));
    QL_TRY(ByteSpan props, c.take(c.remaining(), "properties"));
    u.properties.assign(props.begin(), props.end());
  }
  if (!c.atEnd())
    return c.error("unit length " + hex(body.size()) + " leaves " + hex(c.remaining()) + " bytes after the menu item");
  return u;
}

// Relations between the units of one window, once all are decoded.
Status checkWindowUnits(size_t wi, const Window& w) {
  const std::string where = "@form window " + std::to_string(wi) + " (id " + hex(w.id) + ")";
  std::unordered_set<uint32_t> ids;
  size_t windowUnits = 0;
  for (const auto& u : w.units) {
    if (!ids.insert(u.id).second) return fail(where + ": unit id " + hex(u.id) + " appears twice");
    if (abi::idKind(u.id) == abi::kIdWindowUnit) ++windowUnits;
  }
  if (windowUnits != 1)
    return fail(where + ": " + std::to_string(windowUnits) + " window units (id kind 0x6), expected 1");

  int64_t previousLevel = -1;
  for (size_t ui = 0; ui < w.units.size(); ++ui) {
    const Unit& u = w.units[ui];
    const std::string uw = unitWhere(wi, w, ui, u.id);
    if (u.isMenuItem()) {
      // An item belongs to the nearest preceding item one level up, so no
      // item may sit deeper than one below the item before it.
      if (int64_t(u.level) > previousLevel + 1)
        return fail(uw + ": menu level " + hex(u.level) + " follows level " +
                    (previousLevel < 0 ? std::string("none") : hex(uint64_t(previousLevel))));
      previousLevel = u.level;
      continue;
    }
    if (u.container != 0) {
      const Unit* c = w.unit(u.container);
      if (!c || abi::idKind(c->id) != abi::kIdControl)
        return fail(uw + ": container id " + hex(u.container) + " is no control of this window");
    }
    for (uint32_t cid : u.contained) {
      const Unit* c = w.unit(cid);
      if (!c || abi::idKind(c->id) != abi::kIdControl)
        return fail(uw + ": contained id " + hex(cid) + " is no control of this window");
    }
  }
  return Ok{};
}

}  // namespace

Result<Form> decodeForm(ByteSpan data, uint64_t base) {
  Cursor c(data, "@form", base);
  QL_TRY(uint32_t listSize, c.u32("window list size"));
  if (listSize % kWindowListEntrySize != 0)
    return c.error("window list size " + hex(listSize) + " is not a multiple of 8");
  const uint32_t count = listSize / kWindowListEntrySize;
  QL_CHECK(c.fits(count, kWindowListEntrySize, "window count"));

  Form form;
  form.windows.resize(count);
  std::unordered_set<uint32_t> windowIds;
  for (uint32_t i = 0; i < count; ++i) {
    QL_TRY(form.windows[i].id, c.u32("window id"));
    if (abi::idKind(form.windows[i].id) != abi::kIdWindow)
      return c.error("window id " + std::to_string(i) + " is " + hex(form.windows[i].id) + ", kind not 0x52");
    if (!windowIds.insert(form.windows[i].id).second)
      return c.error("window id " + hex(form.windows[i].id) + " appears twice");
  }
  for (uint32_t i = 0; i < count; ++i) {
    QL_TRY(form.windows[i].listWord, c.u32("window list word"));
  }

  for (uint32_t wi = 0; wi < count; ++wi) {
    Window& w = form.windows[wi];
    const uint64_t recordStart = c.pos();
    Cursor r(data.subspan(recordStart), "@form window " + std::to_string(wi) + " (id " + hex(w.id) + ")",
             base + recordStart);
    QL_TRY(w.recordWord, r.u32("record word"));
    QL_TRY(w.codeUnitId, r.u32("code unit id"));
    if (abi::idKind(w.codeUnitId) != abi::kIdCodeUnit)
      return r.error("code unit id " + hex(w.codeUnitId) + " is not of kind 0x19");
    QL_CHECK(r.word("record word 2", 0));
    QL_CHECK(r.word("record word 3", 0));
    QL_TRY(uint32_t unitCount, r.u32("unit count"));
    QL_TRY(uint32_t partsSize, r.u32("size of ids, offsets and units"));
    const uint64_t partsBase = base + recordStart + r.pos();
    QL_TRY(ByteSpan parts, r.take(partsSize, "ids, offsets and units"));
    Cursor p(parts, r.where(), partsBase);
    QL_CHECK(p.fits(unitCount, 8, "unit count"));
    std::vector<uint32_t> ids(unitCount), offsets(unitCount);
    for (auto& id : ids) {
      QL_TRY(id, p.u32("unit id"));
    }
    for (auto& off : offsets) {
      QL_TRY(off, p.u32("unit offset"));
    }

    // Units lie back to back from the first one; the offsets must say so.
    const uint64_t unitsBase = partsBase + p.pos();
    QL_TRY(ByteSpan area, p.take(p.remaining(), "units"));
    Cursor u(area, r.where(), unitsBase);
    w.units.reserve(unitCount);
    for (uint32_t ui = 0; ui < unitCount; ++ui) {
      const std::string where = unitWhere(wi, w, ui, ids[ui]);
      if (offsets[ui] != u.pos())
        return fail(where + ": offset " + hex(offsets[ui]) + " but the unit before ends at " + hex(u.pos()));
      QL_TRY(uint32_t length, u.u32("unit length"));
      const uint64_t bodyBase = unitsBase + u.pos();
      if (length > u.remaining())
        return fail(where + ": length " + hex(length) + " at " + hex(bodyBase - 4) + " runs past the window record (" +
                    hex(u.remaining()) + " bytes left)");
      QL_TRY(ByteSpan body, u.take(length, "unit"));
      QL_TRY(Unit unit, decodeUnit(body, bodyBase, where, ids[ui]));
      w.units.push_back(std::move(unit));
    }
    if (!u.atEnd())
      return r.error(hex(u.remaining()) + " bytes after the last unit inside the declared size " + hex(partsSize));
    QL_CHECK(checkWindowUnits(wi, w));
    QL_CHECK(c.take(r.pos(), "window record"));
  }
  if (!c.atEnd()) return c.error(hex(c.remaining()) + " bytes after the last window record at " + hex(c.pos()));
  return form;
}

// ---- @form: encode --------------------------------------------------------------

namespace {

bool holdsNul(std::string_view s) { return s.find('\0') != std::string_view::npos; }

Status checkTexts(size_t wi, const Window& w, size_t ui, const Unit& u) {
  for (const std::string* s : {&u.name, &u.remark, &u.caption})
    if (holdsNul(*s)) return fail(unitWhere(wi, w, ui, u.id) + ": a text holds a NUL byte");
  return Ok{};
}

void encodeUnit(ByteWriter& out, const Unit& u) {
  out.u32(u.type);
  out.zeros(kUnitReservedSize);
  out.cstring(u.name);
  out.cstring(u.remark);
  if (u.isMenuItem()) {
    out.u32(0);
    out.u32(u.level);
    out.u32(0);
    out.cstring(u.caption);
    out.u32(u.handler);
    for (size_t i = 0; i < kMenuItemTailWords; ++i) out.u32(0);
    return;
  }
  out.u32(0);
  out.u32(uint32_t(u.left));
  out.u32(uint32_t(u.top));
  out.u32(uint32_t(u.width));
  out.u32(uint32_t(u.height));
  out.u32(0);
  out.u32(u.container);
  out.u32(uint32_t(u.contained.size()));
  for (uint32_t id : u.contained) out.u32(id);
  out.u32(u.layoutWord);
  out.u32(0);
  out.u32(0);
  out.u8(0);
  out.u32(u.flags);
  out.u32(0);
  out.u32(uint32_t(u.events.size()));
  for (const Event& e : u.events) {
    out.u32(uint32_t(e.number));
    out.u32(e.handler);
  }
  out.zeros(kPropertiesLeadSize);
  out.bytes(u.properties);
}

constexpr uint64_t kMaxFormSize = 0xFFFFFFFEu;

}  // namespace

Result<ByteVec> encodeForm(const Form& form) {
  if (form.windows.size() > kMaxFormSize / kWindowListEntrySize) return fail("@form: too many windows");
  ByteWriter out;
  out.u32(uint32_t(form.windows.size() * kWindowListEntrySize));
  for (const Window& w : form.windows) out.u32(w.id);
  for (const Window& w : form.windows) out.u32(w.listWord);
  for (size_t wi = 0; wi < form.windows.size(); ++wi) {
    const Window& w = form.windows[wi];
    ByteWriter units;
    std::vector<uint32_t> offsets;
    for (size_t ui = 0; ui < w.units.size(); ++ui) {
      QL_CHECK(checkTexts(wi, w, ui, w.units[ui]));
      ByteWriter body;
      encodeUnit(body, w.units[ui]);
      if (body.size() > kMaxFormSize || units.size() > kMaxFormSize) return fail("@form: a window's units are too large");
      offsets.push_back(uint32_t(units.size()));
      units.u32(uint32_t(body.size()));
      units.bytes(body.data());
    }
    const uint64_t parts = uint64_t(w.units.size()) * 8 + units.size();
    if (parts > kMaxFormSize || out.size() + parts > kMaxFormSize) return fail("@form: too large");
    out.u32(w.recordWord);
    out.u32(w.codeUnitId);
    out.u32(0);
    out.u32(0);
    out.u32(uint32_t(w.units.size()));
    out.u32(uint32_t(parts));
    for (const Unit& u : w.units) out.u32(u.id);
    for (uint32_t off : offsets) out.u32(off);
    out.bytes(units.data());
  }
  // What the reader would reject (ids of the wrong kind, menu levels that skip,
  // dangling containers) is rejected here, with the reader's reason.
  auto back = decodeForm(out.data());
  if (!back) return back.error();
  return out.take();
}

// ---- @reloc1 ----------------------------------------------------------------------

ByteVec encodeReloc1(const Reloc1& reloc) {
  ByteWriter out;
  for (const auto& group : reloc.groups) {
    out.u32(uint32_t(group.size()));
    for (uint32_t off : group) out.u32(off);
  }
  return out.take();
}

uint32_t reloc1DeclaredSize(const Reloc1& reloc) {
  uint64_t total = 0;
  for (const auto& group : reloc.groups) total += 4 + 4 * uint64_t(group.size());
  return uint32_t(total - kReloc1Shortfall);
}

Result<Reloc1> decodeReloc1(ByteSpan from, size_t* consumed, uint64_t base) {
  Cursor c(from, "@reloc1", base);
  Reloc1 reloc;
  for (size_t g = 0; g < kReloc1GroupCount; ++g) {
    c.setWhere("@reloc1 group " + std::to_string(g));
    QL_TRY(uint32_t count, c.u32("count"));
    QL_CHECK(c.fits(count, 4, "count"));
    reloc.groups[g].resize(count);
    for (auto& off : reloc.groups[g]) {
      QL_TRY(off, c.u32("offset"));
    }
  }
  if (consumed) *consumed = c.pos();
  return reloc;
}

}  // namespace ql::image
