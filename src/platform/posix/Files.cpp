#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "platform/CodePage.h"

namespace platform {
namespace {

// The product writes paths with backslashes; natively they are folder separators.
std::string Native(std::string name) {
  for (char& c : name)
    if (c == '\\') c = '/';
  return name;
}
std::string Native(const std::u16string& name) { return Native(WideToMultiByte(name, kCodePageUtf8)); }

FileHandle Open(const std::string& path, int flags) {
  int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
  return fd < 0 ? kInvalidFile : fd;
}

int OpenFlags(uint32_t mode) {
  switch (mode & 3) {
    case fmOpenWrite: return O_WRONLY;
    case fmOpenReadWrite: return O_RDWR;
    default: return O_RDONLY;
  }
}

constexpr int64_t kUnixEpochAsFileTime = 116444736000000000LL;  // 1970-01-01 in 100 ns since 1601

int64_t ToFileTime(const timespec& ts) {
  return kUnixEpochAsFileTime + static_cast<int64_t>(ts.tv_sec) * 10000000 + ts.tv_nsec / 100;
}
timespec ToTimespec(int64_t ft) {
  int64_t t = ft - kUnixEpochAsFileTime;
  timespec ts;
  ts.tv_sec = static_cast<time_t>(t / 10000000);
  ts.tv_nsec = static_cast<long>((t % 10000000) * 100);
  if (ts.tv_nsec < 0) {
    ts.tv_nsec += 1000000000;
    ts.tv_sec -= 1;
  }
  return ts;
}

bool IsFile(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}
bool IsDir(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirs(std::string name) {
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  if (name.empty()) return false;
  if (IsDir(name)) return true;
  auto cut = name.find_last_of('/');
  if (cut != std::string::npos && cut > 0 && !ForceDirs(name.substr(0, cut))) return false;
  return ::mkdir(name.c_str(), 0755) == 0 || IsDir(name);
}

}  // namespace

// Share modes have no native equivalent and are ignored natively.
FileHandle FileCreate(const std::string& name, uint32_t) { return Open(Native(name), O_RDWR | O_CREAT | O_TRUNC); }
FileHandle FileCreate(const std::u16string& name, uint32_t) { return Open(Native(name), O_RDWR | O_CREAT | O_TRUNC); }
FileHandle FileOpen(const std::string& name, uint32_t mode) {
  std::string p = Native(name);
  if (IsDir(p)) {
    errno = EISDIR;
    return kInvalidFile;
  }
  return Open(p, OpenFlags(mode));
}
FileHandle FileOpen(const std::u16string& name, uint32_t mode) {
  return FileOpen(WideToMultiByte(name, kCodePageUtf8), mode);
}

int32_t FileRead(FileHandle h, void* buffer, int32_t count) {
  if (count < 0) return -1;
  for (;;) {
    ssize_t n = ::read(static_cast<int>(h), buffer, static_cast<size_t>(count));
    if (n < 0 && errno == EINTR) continue;
    return static_cast<int32_t>(n);
  }
}
int32_t FileReadAt(FileHandle h, int64_t offset, void* buffer, int32_t count) {
  if (count < 0 || offset < 0) return -1;
  for (;;) {
    ssize_t n = ::pread(static_cast<int>(h), buffer, static_cast<size_t>(count), static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    return static_cast<int32_t>(n);
  }
}
int32_t FileWrite(FileHandle h, const void* buffer, int32_t count) {
  if (count < 0) return -1;
  int32_t done = 0;
  auto p = static_cast<const char*>(buffer);
  while (done < count) {
    ssize_t n = ::write(static_cast<int>(h), p + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return done > 0 ? done : -1;
    done += static_cast<int32_t>(n);
  }
  return done;
}
int64_t FileSeek(FileHandle h, int64_t offset, SeekOrigin origin) {
  int whence = origin == SeekOrigin::Begin ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
  off_t r = ::lseek(static_cast<int>(h), static_cast<off_t>(offset), whence);
  return r < 0 ? -1 : static_cast<int64_t>(r);
}
bool FileSetEnd(FileHandle h) {
  off_t pos = ::lseek(static_cast<int>(h), 0, SEEK_CUR);
  return pos >= 0 && ::ftruncate(static_cast<int>(h), pos) == 0;
}
void FileClose(FileHandle h) {
  if (h != kInvalidFile) ::close(static_cast<int>(h));
}

bool FileExists(const std::string& name) { return IsFile(Native(name)); }
bool FileExists(const std::u16string& name) { return IsFile(Native(name)); }
bool DirectoryExists(const std::string& name) { return IsDir(Native(name)); }
bool DirectoryExists(const std::u16string& name) { return IsDir(Native(name)); }
bool CreateDir(const std::string& name) { return ::mkdir(Native(name).c_str(), 0755) == 0; }
bool CreateDir(const std::u16string& name) { return ::mkdir(Native(name).c_str(), 0755) == 0; }
bool ForceDirectories(const std::string& name) { return ForceDirs(Native(name)); }
bool ForceDirectories(const std::u16string& name) { return ForceDirs(Native(name)); }
bool RemoveFile(const std::string& name) {
  std::string p = Native(name);
  return IsFile(p) && ::unlink(p.c_str()) == 0;
}
bool RemoveFile(const std::u16string& name) { return RemoveFile(WideToMultiByte(name, kCodePageUtf8)); }
bool RemoveDir(const std::string& name) { return ::rmdir(Native(name).c_str()) == 0; }
std::u16string ExpandFileName(const std::u16string& name) {
  std::string p = Native(name);
  if (p.empty() || p[0] == '/') return MultiByteToWide(p, kCodePageUtf8);
  char cwd[4096];
  if (!::getcwd(cwd, sizeof cwd)) return name;
  std::string dir = cwd;
  if (dir.empty() || dir.back() != '/') dir += '/';
  return MultiByteToWide(dir + p, kCodePageUtf8);
}
bool RenameFile(const std::string& from, const std::string& to, bool replace) {
  std::string a = Native(from), b = Native(to);
  if (replace) return ::rename(a.c_str(), b.c_str()) == 0;
  if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the flag: link fails when the new name is taken.
  if (!IsFile(a) || ::link(a.c_str(), b.c_str()) != 0) return false;
  return ::unlink(a.c_str()) == 0;
}
bool FileFlush(FileHandle h) { return ::fsync(static_cast<int>(h)) == 0; }

int64_t FileSize(const std::string& name) {
  struct stat st;
  if (::stat(Native(name).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool GetFileTimes(const std::string& name, FileTimes& times) {
  struct stat st;
  if (::stat(Native(name).c_str(), &st) != 0) return false;
  times.LastWrite = ToFileTime(st.st_mtim);
  times.LastAccess = ToFileTime(st.st_atim);
  return true;
}

bool SetFileTimes(const std::string& name, const FileTimes& times) {
  timespec ts[2];
  ts[0] = times.LastAccess ? ToTimespec(times.LastAccess) : timespec{0, UTIME_OMIT};
  ts[1] = times.LastWrite ? ToTimespec(times.LastWrite) : timespec{0, UTIME_OMIT};
  return ::utimensat(AT_FDCWD, Native(name).c_str(), ts, 0) == 0;
}

}  // namespace platform
