#include "platform/Files.h"

#include <windows.h>

#include "platform/CodePage.h"

namespace platform {
namespace {

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

DWORD ShareFlags(uint32_t mode) {
  switch (mode & 0xF0) {
    case fmShareExclusive: return 0;
    case fmShareDenyWrite: return FILE_SHARE_READ;
    case fmShareDenyRead: return FILE_SHARE_WRITE;
    case fmShareDenyNone: return FILE_SHARE_READ | FILE_SHARE_WRITE;
    default: return FILE_SHARE_READ | FILE_SHARE_WRITE;  // compatibility mode
  }
}

DWORD AccessFlags(uint32_t mode) {
  switch (mode & 3) {
    case fmOpenWrite: return GENERIC_WRITE;
    case fmOpenReadWrite: return GENERIC_READ | GENERIC_WRITE;
    default: return GENERIC_READ;
  }
}

FileHandle Wrap(HANDLE h) { return h == INVALID_HANDLE_VALUE ? kInvalidFile : reinterpret_cast<FileHandle>(h); }
HANDLE Unwrap(FileHandle h) { return reinterpret_cast<HANDLE>(h); }

int64_t ToInt64(const FILETIME& ft) {
  return static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}
FILETIME ToFileTime(int64_t v) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(v) & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(v) >> 32);
  return ft;
}

}  // namespace

FileHandle FileCreate(const std::string& name, uint32_t share) {
  return Wrap(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, ShareFlags(share), nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
}
FileHandle FileCreate(const std::u16string& name, uint32_t share) {
  return Wrap(CreateFileW(W(name), GENERIC_READ | GENERIC_WRITE, ShareFlags(share), nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
}
FileHandle FileOpen(const std::string& name, uint32_t mode) {
  return Wrap(CreateFileA(name.c_str(), AccessFlags(mode), ShareFlags(mode), nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
}
FileHandle FileOpen(const std::u16string& name, uint32_t mode) {
  return Wrap(CreateFileW(W(name), AccessFlags(mode), ShareFlags(mode), nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                          nullptr));
}

int32_t FileRead(FileHandle h, void* buffer, int32_t count) {
  DWORD done = 0;
  if (count < 0 || !ReadFile(Unwrap(h), buffer, static_cast<DWORD>(count), &done, nullptr)) return -1;
  return static_cast<int32_t>(done);
}
int32_t FileReadAt(FileHandle h, int64_t offset, void* buffer, int32_t count) {
  if (count < 0 || offset < 0) return -1;
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset) & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
  DWORD done = 0;
  if (!ReadFile(Unwrap(h), buffer, static_cast<DWORD>(count), &done, &at))
    return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
  return static_cast<int32_t>(done);
}
int32_t FileWrite(FileHandle h, const void* buffer, int32_t count) {
  DWORD done = 0;
  if (count < 0 || !WriteFile(Unwrap(h), buffer, static_cast<DWORD>(count), &done, nullptr)) return -1;
  return static_cast<int32_t>(done);
}
int64_t FileSeek(FileHandle h, int64_t offset, SeekOrigin origin) {
  LARGE_INTEGER dist, pos;
  dist.QuadPart = offset;
  if (!SetFilePointerEx(Unwrap(h), dist, &pos, static_cast<DWORD>(origin))) return -1;
  return pos.QuadPart;
}
bool FileSetEnd(FileHandle h) { return SetEndOfFile(Unwrap(h)) != FALSE; }
void FileClose(FileHandle h) {
  if (h != kInvalidFile) CloseHandle(Unwrap(h));
}

bool FileExists(const std::string& name) {
  DWORD a = GetFileAttributesA(name.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}
bool FileExists(const std::u16string& name) {
  DWORD a = GetFileAttributesW(W(name));
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}
bool DirectoryExists(const std::string& name) {
  DWORD a = GetFileAttributesA(name.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}
bool DirectoryExists(const std::u16string& name) {
  DWORD a = GetFileAttributesW(W(name));
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}
bool CreateDir(const std::string& name) { return CreateDirectoryA(name.c_str(), nullptr) != FALSE; }
bool CreateDir(const std::u16string& name) { return CreateDirectoryW(W(name), nullptr) != FALSE; }

template <class S>
static bool ForceDirs(S name) {
  while (!name.empty() && (name.back() == '\\' || name.back() == '/')) name.pop_back();
  if (name.empty() || DirectoryExists(name)) return !name.empty();
  auto cut = name.find_last_of(typename S::value_type('\\'));
  auto cut2 = name.find_last_of(typename S::value_type('/'));
  if (cut == S::npos || (cut2 != S::npos && cut2 > cut)) cut = cut2;
  if (cut != S::npos && cut > 0 && name[cut - 1] != ':') {
    if (!ForceDirs(name.substr(0, cut))) return false;
  }
  return CreateDir(name) || DirectoryExists(name);
}
bool ForceDirectories(const std::string& name) { return ForceDirs(name); }
bool ForceDirectories(const std::u16string& name) { return ForceDirs(name); }

bool RemoveFile(const std::string& name) { return DeleteFileA(name.c_str()) != FALSE; }
bool RemoveFile(const std::u16string& name) { return DeleteFileW(W(name)) != FALSE; }
bool RemoveDir(const std::string& name) { return RemoveDirectoryA(name.c_str()) != FALSE; }
std::u16string ExpandFileName(const std::u16string& name) {
  DWORD n = GetFullPathNameW(W(name), 0, nullptr, nullptr);
  if (n == 0) return name;
  std::u16string full(n, u'\0');
  DWORD len = GetFullPathNameW(W(name), n, reinterpret_cast<wchar_t*>(full.data()), nullptr);
  if (len == 0 || len >= n) return name;
  full.resize(len);
  return full;
}
bool RenameFile(const std::string& from, const std::string& to, bool replace) {
  DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  return MoveFileExA(from.c_str(), to.c_str(), flags) != FALSE;
}
bool FileFlush(FileHandle h) { return FlushFileBuffers(Unwrap(h)) != FALSE; }

int64_t FileSize(const std::string& name) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &d)) return -1;
  return (static_cast<int64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
}

bool GetFileTimes(const std::string& name, FileTimes& times) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &d)) return false;
  times.LastWrite = ToInt64(d.ftLastWriteTime);
  times.LastAccess = ToInt64(d.ftLastAccessTime);
  return true;
}

bool SetFileTimes(const std::string& name, const FileTimes& times) {
  HANDLE h = CreateFileA(name.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  FILETIME w = ToFileTime(times.LastWrite), a = ToFileTime(times.LastAccess);
  BOOL ok = SetFileTime(h, nullptr, times.LastAccess ? &a : nullptr, times.LastWrite ? &w : nullptr);
  CloseHandle(h);
  return ok != FALSE;
}

}  // namespace platform
