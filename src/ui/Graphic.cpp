#include "ui/Graphic.h"

#include <string>
#include <typeinfo>
#include <vector>

#include "base/Format.h"

namespace ui {

void TGraphic::SetSize(int32_t width, int32_t height) {
  SetWidth(width);
  SetHeight(height);
}

void TGraphic::LoadFromFile(const base::WideString& fileName) {
  base::TFileStream stream(fileName, platform::fmOpenRead | platform::fmShareDenyWrite);
  LoadFromStream(stream);
}

void TGraphic::SaveToFile(const base::WideString& fileName) {
  base::TFileStream stream(fileName, base::fmCreate);
  SaveToStream(stream);
}

void TGraphic::ReadData(base::TStream& stream) {
  int32_t size = 0;
  stream.ReadBuffer(&size, sizeof size);
  if (size < 0 || size > stream.Size() - stream.Position()) throw base::EReadError("Stream read error");
  base::TMemoryStream data;
  data.SetSize(size);
  if (size > 0) stream.ReadBuffer(data.Memory(), size);
  data.SetPosition(0);
  LoadFromStream(data);
}

void TGraphic::WriteData(base::TStream& stream) {
  base::TMemoryStream data;
  SaveToStream(data);
  int32_t size = static_cast<int32_t>(data.Size());
  stream.WriteBuffer(&size, sizeof size);
  if (size > 0) stream.WriteBuffer(data.Memory(), size);
}

void TGraphic::Assign(TGraphic& source) {
  if (&source == this) return;
  if (!source.AssignTo(*this)) AssignError(source);
}

bool TGraphic::AssignTo(TGraphic&) { return false; }

void TGraphic::AssignError(TGraphic& source) {
  throw base::EConvertError(base::Format("Cannot assign a %s to a %s", source.ClassName(), ClassName()));
}

bool TGraphic::Equals(TGraphic& other) {
  if (&other == this) return true;
  if (typeid(other) != typeid(*this)) return false;
  if (Empty() || other.Empty()) return Empty() == other.Empty();
  base::TMemoryStream mine, theirs;
  WriteData(mine);
  other.WriteData(theirs);
  return mine.Size() == theirs.Size() && std::equal(mine.Memory(), mine.Memory() + mine.Size(), theirs.Memory());
}

void TGraphic::SetTransparent(bool value) {
  if (value == FTransparent) return;
  FTransparent = value;
  Changed(this);
}

void TGraphic::Changed(base::TObject*) {
  FModified = true;
  if (OnChange) OnChange(this);
}

}  // namespace ui
