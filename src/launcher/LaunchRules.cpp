#include "launcher/LaunchRules.h"

#include "base/Format.h"

namespace launcher {

base::WideString ProgramDirFromModulePath(std::u16string_view modulePath) {
  size_t cut = modulePath.find_last_of(u"\\:");
  base::WideString dir(cut == std::u16string_view::npos ? std::u16string_view() : modulePath.substr(0, cut + 1));
  size_t n = dir.size();
  if (n >= 1 && dir[n - 1] == u'\\') {
    bool keep = n >= 2 && (dir[n - 2] == u':' || dir[n - 2] == u'\\');
    if (!keep) dir.pop_back();
  }
  if (dir.empty() || dir.back() != u'\\') dir.push_back(u'\\');
  return dir;
}

base::AnsiString FormatFileVersion(uint32_t versionMS, uint32_t versionLS) {
  return base::Format("%d.%d.%d", versionMS >> 16, versionMS & 0xFFFF, versionLS >> 16);
}

base::AnsiString ChooseLogFileName(const std::function<bool(const base::AnsiString& name)>& inUse) {
  const base::AnsiString first = "Log.txt";
  base::AnsiString ext = base::ExtractFileExt(first);
  base::AnsiString stem = first.substr(0, first.size() - ext.size());
  if (ext.empty()) ext = ".txt";
  base::AnsiString name = first;
  for (int n = 1; inUse(name); ++n) name = base::Format("%s(%d)%s", stem, n, ext);
  return name;
}

// The same notice in every row; only the version format could differ by language.
const TSplashText SplashTextTable[kSplashTextRows] = {
    {"ENG", "Version: %s", "Copyright (C) Norvale Orbelle. All rights reserved."},
    {"CHS", "Version: %s", "Copyright (C) Norvale Orbelle. All rights reserved."},
    {"CHT", "Version: %s", "Copyright (C) Norvale Orbelle. All rights reserved."},
};

int SelectSplashTextRow(std::string_view languageCode) {
  for (int i = 0; i < kSplashTextRows; ++i)
    if (base::SameText(SplashTextTable[i].Code, languageCode)) return i;
  return 0;
}

}  // namespace launcher
