// Files, folders and file times. Handles are plain integers; kInvalidFile marks a
// failure, after which LastError() tells why. Paths come as 8-bit strings in the system
// code page or as UTF-16; the product writes them with backslashes, which the native
// build maps to '/'.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

using FileHandle = intptr_t;
constexpr FileHandle kInvalidFile = -1;

// Open modes, combined with one share mode (the values of the product's file API).
constexpr uint32_t fmOpenRead = 0x0000;
constexpr uint32_t fmOpenWrite = 0x0001;
constexpr uint32_t fmOpenReadWrite = 0x0002;
constexpr uint32_t fmShareCompat = 0x0000;
constexpr uint32_t fmShareExclusive = 0x0010;
constexpr uint32_t fmShareDenyWrite = 0x0020;
constexpr uint32_t fmShareDenyRead = 0x0030;
constexpr uint32_t fmShareDenyNone = 0x0040;

enum class SeekOrigin { Begin = 0, Current = 1, End = 2 };

// Creates or truncates a file for reading and writing; share is one of fmShare*.
FileHandle FileCreate(const std::string& name, uint32_t share = fmShareExclusive);
FileHandle FileCreate(const std::u16string& name, uint32_t share = fmShareExclusive);
FileHandle FileOpen(const std::string& name, uint32_t mode);
FileHandle FileOpen(const std::u16string& name, uint32_t mode);
// Bytes transferred, or -1 on failure.
int32_t FileRead(FileHandle h, void* buffer, int32_t count);
// Reads at offset without regard to (and on Windows possibly moving) the handle's
// position, so that several threads can read one open file at once. Bytes transferred
// (0 at or past the end), or -1 on failure.
int32_t FileReadAt(FileHandle h, int64_t offset, void* buffer, int32_t count);
int32_t FileWrite(FileHandle h, const void* buffer, int32_t count);
// The new position, or -1 on failure.
int64_t FileSeek(FileHandle h, int64_t offset, SeekOrigin origin);
// Cuts or extends the file at the current position.
bool FileSetEnd(FileHandle h);
void FileClose(FileHandle h);

bool FileExists(const std::string& name);  // a file, not a folder
bool FileExists(const std::u16string& name);
bool DirectoryExists(const std::string& name);
bool DirectoryExists(const std::u16string& name);
bool CreateDir(const std::string& name);
bool CreateDir(const std::u16string& name);
// Creates a folder and every missing parent; true when it exists afterwards.
bool ForceDirectories(const std::string& name);
bool ForceDirectories(const std::u16string& name);
bool RemoveFile(const std::string& name);
bool RemoveFile(const std::u16string& name);
bool RemoveDir(const std::string& name);
// The full path of a file name relative to the current folder (the name as given when
// that fails).
std::u16string ExpandFileName(const std::u16string& name);
// Moves a file to another name on the same volume. With replace, an existing file of
// the new name is replaced; without it the move fails when the name is taken. The move
// is written through before it returns. Works for a running executable and its loaded
// libraries on Windows (they cannot be deleted, but they can be renamed).
bool RenameFile(const std::string& from, const std::string& to, bool replace = false);
// Writes the file's buffered data to the disk.
bool FileFlush(FileHandle h);
// Size in bytes, or -1 when the file cannot be read.
int64_t FileSize(const std::string& name);

// File times as 100-nanosecond intervals since 1601-01-01 UTC (the Windows file time).
struct FileTimes {
  int64_t LastWrite = 0;
  int64_t LastAccess = 0;
};
bool GetFileTimes(const std::string& name, FileTimes& times);
// Sets the times that are non-zero and keeps the other.
bool SetFileTimes(const std::string& name, const FileTimes& times);

// The platform's path separator as the product writes it.
constexpr char kPathDelim = '\\';

}  // namespace platform
