#include "skin/SkinReader.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "base/Log.h"
#include "base/Strings.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "skin/SkinEngine.h"
#include "xml/XMLDocument.h"

namespace skin {

namespace {

bool HasDirectoryPart(const std::string& name) { return name.find_first_of("\\/:") != std::string::npos; }

// std::filesystem takes the host's separator; the product writes backslashes.
std::filesystem::path HostPath(std::string path) {
  if (std::filesystem::path::preferred_separator == '/') std::replace(path.begin(), path.end(), '\\', '/');
  return std::filesystem::path(path);
}

xml::TIntf<xml::IXMLDocument> LoadDocument(const std::string& path) {
  if (!platform::FileExists(path)) return {};
  xml::TIntf<xml::TXMLDocument> doc(new xml::TXMLDocument);
  try {
    if (!doc->LoadFromFile(base::AnsiToWide(path))) {
      base::WriteLog("Skin file " + path + " is not well-formed: " + doc->ParseError().Message());
      return {};
    }
  } catch (const std::exception& e) {
    base::WriteLog("Skin file " + path + " not read: " + e.what());
    return {};
  }
  return doc;
}

}  // namespace

TQZFileSkinReader::TQZFileSkinReader(TQZSkinEngine* engine, std::unique_ptr<ISkinImageProvider> provider)
    : TQZSkinReader(engine), FProvider(std::move(provider)) {
  if (!FProvider) FProvider = CreateDefaultSkinImageProvider();
}

std::string TQZFileSkinReader::SkinRootFolder() const {
  if (!FRootOverride.empty()) return FRootOverride;
  return base::ExtractFilePath(base::WideToAnsi(platform::ModuleFileName())) + RootName;
}

int32_t TQZFileSkinReader::EnumSkinFolders(intptr_t a, intptr_t value, TEnumSkinFolderProc proc, void* userData) {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(HostPath(SkinRootFolder()), ec), end; !ec && it != end;
       it.increment(ec)) {
    std::error_code dirEc;
    if (it->is_directory(dirEc)) names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  int32_t count = 0;
  for (const std::string& name : names) {
    if (name == "." || name == "..") continue;
    if (!proc(userData, name, name, value, a)) break;
    ++count;
  }
  return count;
}

bool TQZFileSkinReader::OpenSkinFolder(const std::string& name) {
  std::string path = name.find('\\') == std::string::npos ? SkinRootFolder() + "\\" + name : name;
  CurrentName = name;
  bool exists = platform::DirectoryExists(path);
  if (path != Folder) {
    Folder = path;
    Engine->ReloadSkin(0, 0, true, nullptr, nullptr);
  }
  return exists;
}

xml::TIntf<xml::IXMLDocument> TQZFileSkinReader::LoadDescription(const std::string& name) {
  std::string path = HasDirectoryPart(name) || Folder.empty() ? name : Folder + "\\" + name;
  if (base::ExtractFileExt(name).empty()) path += "." + DescriptionExt;
  xml::TIntf<xml::IXMLDocument> doc = LoadDocument(path);
  if (!doc) doc = LoadDocument(name);
  return doc;
}

std::unique_ptr<TSkinImageObject> TQZFileSkinReader::LoadImage(const std::string& name, const std::string& type,
                                                               int32_t kind, const std::string& folder) {
  if (name.empty()) return nullptr;
  // Skins are downloaded: their image names stay inside the skins root, so that skins
  // may share images with their siblings but never reach anything else. A skin folder
  // opened outside the root keeps its images inside itself.
  const std::string root = SkinRootFolder();
  std::string boundary = Folder, inner;
  if (Folder.size() > root.size() + 1 && base::SameText(Folder.substr(0, root.size()), root) &&
      (Folder[root.size()] == '\\' || Folder[root.size()] == '/')) {
    boundary = root;
    inner = Folder.substr(root.size() + 1);
  }
  std::string path;
  if (!ResolveContainedPath(inner, folder, name, path)) {
    base::WriteLog("Skin image path refused: " + folder + name);
    return nullptr;
  }
  if (!boundary.empty()) path = boundary + "\\" + path;
  return FProvider->Load(path, type.empty() ? ImageTypeOf(name) : type, kind);
}

}  // namespace skin
