// The library's two string types and the routines the product uses on them.
// AnsiString holds 8-bit text in the system code page (settings, URLs, HTTP headers,
// log lines); WideString holds UTF-16 (file paths for the wide APIs, the logging
// library, XML). Positions taken or returned by Pos-style routines are 1-based, 0 means
// "not found", as the product's texts count them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace base {

using AnsiString = std::string;
using WideString = std::u16string;

// System code page <-> UTF-16.
WideString AnsiToWide(std::string_view s);
AnsiString WideToAnsi(std::u16string_view s);
// UTF-8 <-> UTF-16 (for test output and the native file system).
WideString Utf8ToWide(std::string_view s);
std::string WideToUtf8(std::u16string_view s);

AnsiString IntToStr(int64_t v);
// Capital hex digits, at least `digits` of them.
AnsiString IntToHex(uint64_t v, int digits);
// Decimal or $hex/0x hex, optional sign and surrounding blanks; EConvertError
// "'%s' is not a valid integer value" otherwise.
int32_t StrToInt(std::string_view s);
int32_t StrToIntDef(std::string_view s, int32_t def);
bool TryStrToInt(std::string_view s, int32_t& out);
bool TryStrToInt64(std::string_view s, int64_t& out);

AnsiString Trim(std::string_view s);
AnsiString TrimLeft(std::string_view s);
AnsiString TrimRight(std::string_view s);
WideString Trim(std::u16string_view s);
// ASCII case mapping only, as the product's protocol texts need.
AnsiString UpperCase(std::string_view s);
AnsiString LowerCase(std::string_view s);
bool SameText(std::string_view a, std::string_view b);
bool StartsText(std::string_view prefix, std::string_view s);

// 1-based position of sub in s, 0 when absent.
size_t Pos(std::string_view sub, std::string_view s);
size_t Pos(std::u16string_view sub, std::u16string_view s);
// s[index-1 .. index-1+count), clipped to the string; index is 1-based.
AnsiString Copy(std::string_view s, int64_t index, int64_t count);

AnsiString StringReplaceAll(std::string_view s, std::string_view from, std::string_view to);
std::vector<AnsiString> SplitString(std::string_view s, char delimiter);

// Path helpers over backslash paths (a '/' also counts as a separator).
AnsiString IncludeTrailingPathDelimiter(std::string_view path);
WideString IncludeTrailingPathDelimiter(std::u16string_view path);
AnsiString ExtractFilePath(std::string_view path);  // up to and including the last separator
WideString ExtractFilePath(std::u16string_view path);
AnsiString ExtractFileName(std::string_view path);
AnsiString ExtractFileExt(std::string_view path);  // with the dot, empty when none
AnsiString ChangeFileExt(std::string_view path, std::string_view ext);

}  // namespace base
