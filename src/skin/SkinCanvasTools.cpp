#include "skin/SkinCanvasTools.h"

namespace skin {

namespace {

bool IsColor(TColor color) { return color != ColorNotSet && color != ColorDefault; }

}  // namespace

void AssignTo(const TSkinFont& font, ui::TFont& dest) {
  if (!font.Name.empty()) dest.SetName(font.Name);
  if (IsColor(font.Color)) dest.SetColor(font.Color);
  if (font.Size != 0) dest.SetSize(font.Size);
  if (font.StyleSet) dest.SetStyle(font.Style);
  if (font.Charset != 0) dest.SetCharset(font.Charset);
}

void Assign(TSkinFont& font, const ui::TFont& source) {
  font.Name = source.Name();
  font.Size = source.Size();
  font.Color = source.Color();
  font.SetStyle(source.Style());
  font.Charset = source.Charset();
}

void AssignTo(const TSkinPen& pen, ui::TPen& dest) {
  if (IsColor(pen.Color)) dest.SetColor(pen.Color);
  dest.SetStyle(pen.Style);
  dest.SetWidth(pen.Width);
}

void Assign(TSkinPen& pen, const ui::TPen& source) {
  pen.Color = source.Color();
  pen.Style = source.Style();
  pen.Width = source.Width();
}

void AssignTo(const TSkinBrush& brush, ui::TBrush& dest) {
  if (IsColor(brush.Color)) dest.SetColor(brush.Color);
  dest.SetStyle(brush.Style);
}

void Assign(TSkinBrush& brush, const ui::TBrush& source) {
  brush.Color = source.Color();
  brush.Style = source.Style();
}

}  // namespace skin
