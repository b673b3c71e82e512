// Arbitrary description files through the XML parser into the skin engine, then every
// state's and slice's bitmap asked for: no overrun, no leak, and no image path that
// leaves the skin folder ever reaches the image provider.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/Log.h"
#include "base/Stream.h"
#include "skin/SkinEngine.h"
#include "xml/XMLDocument.h"

using namespace skin;

namespace {

const std::string kFolder = "fuzzskin";

// A path below the skin folder as the reader resolves it: relative, no drive or stream,
// and no part that climbs out or that Windows would trim to something else.
bool StaysInside(const std::string& rest) {
  if (rest.empty() || rest.find(':') != std::string::npos) return false;
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = rest.find_first_of("\\/", start);
    if (end == std::string::npos) end = rest.size();
    std::string part = rest.substr(start, end - start);
    if (part.empty() || part.find_first_not_of(". ") == std::string::npos) return false;
    start = end + 1;
  }
  return true;
}

class CheckingProvider : public ISkinImageProvider {
 public:
  std::unique_ptr<TSkinImageObject> Load(const std::string& path, const std::string&, int32_t kind) override {
    if (path.compare(0, kFolder.size() + 1, kFolder + "\\") != 0 || !StaysInside(path.substr(kFolder.size() + 1)))
      std::abort();
    if (kind != ikBitmap) return nullptr;
    // Sizes from the name, so rectangles fall inside and outside alike.
    int32_t side = static_cast<int32_t>(1 + path.size() % 40);
    return std::make_unique<TSkinBitmap>(side, side + 3, path.size() % 2 ? 32 : 24);
  }
};

void Quiet(void*, const std::string&) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  base::SetLogSink({&Quiet, nullptr});
  xml::TIntf<xml::TXMLDocument> doc(new xml::TXMLDocument);
  base::TStringStream stream(std::string(reinterpret_cast<const char*>(data), size));
  try {
    if (!doc->Load(&stream, 65001)) return 0;
  } catch (const std::exception&) {
    return 0;
  }
  TQZSkinEngine engine;
  auto& reader = static_cast<TQZFileSkinReader&>(engine.Reader());
  reader.Folder = kFolder;
  reader.SetImageProvider(std::make_unique<CheckingProvider>());
  engine.PixelsPerInch = 144;
  engine.LoadSkinDocument("Controls", doc.Get());
  engine.LoadSkinDocument("sub\\Extra", doc.Get());
  for (TSkinItem* item : [&] {
         std::vector<TSkinItem*> items;
         for (int32_t i = 0; i < engine.Index().Count(); ++i) items.push_back(engine.Index().Item(i));
         return items;
       }()) {
    for (auto& part : item->Parts)
      for (auto& state : part->States) {
        state->GetRect();
        if (TSkinBitmap* b = state->PrepareStateBitmap(); b && !state->Rect.Empty()) {
          // A validated rectangle lies inside its bitmap.
          if (state->Rect.Right > b->Width() || state->Rect.Bottom > b->Height()) std::abort();
        }
      }
    for (auto& slice : item->Slices) slice->PrepareBitmap();
  }
  engine.ReloadSkin(0, 0, false, nullptr, nullptr);
  return 0;
}
