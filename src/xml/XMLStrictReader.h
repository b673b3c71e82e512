// The strict reader: XML 1.0 (Fifth Edition) well-formedness for documents that need no
// external resource. It decodes the whole input exactly (a byte that is no character of
// the encoding is an error), checks every production and well-formedness constraint,
// parses the internal DTD subset and expands internal general entities, and builds the
// same kind of tree as the lenient reader (leading white space of a text run and white
// space between top-level nodes are not kept). External entities are never fetched: a
// reference to one is skipped. Attribute defaults and the value normalisation of
// declared non-CDATA attribute types are not applied.
//
// Entity expansion is bounded: at most kMaxEntityExpansion characters of replacement
// text in all (each reference counting eight more) and kMaxEntityDepth references inside
// one another; beyond either the load fails with xeEntityError naming the entity.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/Stream.h"

namespace xml {

class TXMLDocument;

constexpr size_t kMaxEntityExpansion = 1024 * 1024;
constexpr int32_t kMaxEntityDepth = 16;

// The decoded text of a strict load, kept for the error record: line, column and the
// source line of the place where the load stopped (Offset), or nothing when the input
// could not be decoded.
// Gives back the decoded text: Mapped bytes from platform::MapLargeBlock, or (0) the heap.
struct TDecodedTextRelease {
  size_t Mapped = 0;
  void operator()(char16_t* text) const noexcept;
};

struct TStrictPosition {
  std::unique_ptr<char16_t[], TDecodedTextRelease> Owned;  // the decoded text, unless it is the input itself
  const char16_t* Text = nullptr;
  size_t Length = 0;
  size_t Offset = 0;
};

// Reads stream into doc's (emptied) child list. Errors are EXMLException (INVALID_CHARACTER_ERR);
// position is filled before one is raised.
void ReadStrict(TXMLDocument& doc, base::TStream* stream, uint16_t codePage, TStrictPosition& position);

}  // namespace xml
