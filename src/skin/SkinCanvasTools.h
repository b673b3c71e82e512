// The skin's font, pen and brush descriptions applied to a canvas's tools and taken from
// them. Applying sets only what the description states: a font's name when not empty,
// size when not 0, style once one was set, character set when not 0; a pen's style and
// width always; a brush's style always; a colour unless it is ColorNotSet or ColorDefault
// (neither is a colour GDI could draw with). Taking copies every field; a font taken from
// a canvas counts as having its style set. Windows only.
#pragma once

#include "skin/SkinItems.h"
#include "ui/Brush.h"
#include "ui/Font.h"
#include "ui/Pen.h"

namespace skin {

void AssignTo(const TSkinFont& font, ui::TFont& dest);
void Assign(TSkinFont& font, const ui::TFont& source);
void AssignTo(const TSkinPen& pen, ui::TPen& dest);
void Assign(TSkinPen& pen, const ui::TPen& source);
void AssignTo(const TSkinBrush& brush, ui::TBrush& dest);
void Assign(TSkinBrush& brush, const ui::TBrush& source);

}  // namespace skin
