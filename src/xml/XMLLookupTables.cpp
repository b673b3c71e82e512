#include "xml/XMLLookupTables.h"

#include <algorithm>

#include "platform/TextCodec.h"

#if XML_HAVE_SSE2 && !defined(__SSE2__)
#include <cpuid.h>
#endif

namespace xml {

uint8_t XMLCharClasses[65536];

namespace {

struct TRange {
  char16_t Lo, Hi;
};

// The character classes of XML 1.0 (first edition), as closed ranges.
constexpr TRange kBaseChar[] = {
    {0x0041, 0x005A}, {0x0061, 0x007A}, {0x00C0, 0x00D6}, {0x00D8, 0x00F6}, {0x00F8, 0x00FF}, {0x0100, 0x0131},
    {0x0134, 0x013E}, {0x0141, 0x0148}, {0x014A, 0x017E}, {0x0180, 0x01C3}, {0x01CD, 0x01F0}, {0x01F4, 0x01F5},
    {0x01FA, 0x0217}, {0x0250, 0x02A8}, {0x02BB, 0x02C1}, {0x0386, 0x0386}, {0x0388, 0x038A}, {0x038C, 0x038C},
    {0x038E, 0x03A1}, {0x03A3, 0x03CE}, {0x03D0, 0x03D6}, {0x03DA, 0x03DA}, {0x03DC, 0x03DC}, {0x03DE, 0x03DE},
    {0x03E0, 0x03E0}, {0x03E2, 0x03F3}, {0x0401, 0x040C}, {0x040E, 0x044F}, {0x0451, 0x045C}, {0x045E, 0x0481},
    {0x0490, 0x04C4}, {0x04C7, 0x04C8}, {0x04CB, 0x04CC}, {0x04D0, 0x04EB}, {0x04EE, 0x04F5}, {0x04F8, 0x04F9},
    {0x0531, 0x0556}, {0x0559, 0x0559}, {0x0561, 0x0586}, {0x05D0, 0x05EA}, {0x05F0, 0x05F2}, {0x0621, 0x063A},
    {0x0641, 0x064A}, {0x0671, 0x06B7}, {0x06BA, 0x06BE}, {0x06C0, 0x06CE}, {0x06D0, 0x06D3}, {0x06D5, 0x06D5},
    {0x06E5, 0x06E6}, {0x0905, 0x0939}, {0x093D, 0x093D}, {0x0958, 0x0961}, {0x0985, 0x098C}, {0x098F, 0x0990},
    {0x0993, 0x09A8}, {0x09AA, 0x09B0}, {0x09B2, 0x09B2}, {0x09B6, 0x09B9}, {0x09DC, 0x09DD}, {0x09DF, 0x09E1},
    {0x09F0, 0x09F1}, {0x0A05, 0x0A0A}, {0x0A0F, 0x0A10}, {0x0A13, 0x0A28}, {0x0A2A, 0x0A30}, {0x0A32, 0x0A33},
    {0x0A35, 0x0A36}, {0x0A38, 0x0A39}, {0x0A59, 0x0A5C}, {0x0A5E, 0x0A5E}, {0x0A72, 0x0A74}, {0x0A85, 0x0A8B},
    {0x0A8D, 0x0A8D}, {0x0A8F, 0x0A91}, {0x0A93, 0x0AA8}, {0x0AAA, 0x0AB0}, {0x0AB2, 0x0AB3}, {0x0AB5, 0x0AB9},
    {0x0ABD, 0x0ABD}, {0x0AE0, 0x0AE0}, {0x0B05, 0x0B0C}, {0x0B0F, 0x0B10}, {0x0B13, 0x0B28}, {0x0B2A, 0x0B30},
    {0x0B32, 0x0B33}, {0x0B36, 0x0B39}, {0x0B3D, 0x0B3D}, {0x0B5C, 0x0B5D}, {0x0B5F, 0x0B61}, {0x0B85, 0x0B8A},
    {0x0B8E, 0x0B90}, {0x0B92, 0x0B95}, {0x0B99, 0x0B9A}, {0x0B9C, 0x0B9C}, {0x0B9E, 0x0B9F}, {0x0BA3, 0x0BA4},
    {0x0BA8, 0x0BAA}, {0x0BAE, 0x0BB5}, {0x0BB7, 0x0BB9}, {0x0C05, 0x0C0C}, {0x0C0E, 0x0C10}, {0x0C12, 0x0C28},
    {0x0C2A, 0x0C33}, {0x0C35, 0x0C39}, {0x0C60, 0x0C61}, {0x0C85, 0x0C8C}, {0x0C8E, 0x0C90}, {0x0C92, 0x0CA8},
    {0x0CAA, 0x0CB3}, {0x0CB5, 0x0CB9}, {0x0CDE, 0x0CDE}, {0x0CE0, 0x0CE1}, {0x0D05, 0x0D0C}, {0x0D0E, 0x0D10},
    {0x0D12, 0x0D28}, {0x0D2A, 0x0D39}, {0x0D60, 0x0D61}, {0x0E01, 0x0E2E}, {0x0E30, 0x0E30}, {0x0E32, 0x0E33},
    {0x0E40, 0x0E45}, {0x0E81, 0x0E82}, {0x0E84, 0x0E84}, {0x0E87, 0x0E88}, {0x0E8A, 0x0E8A}, {0x0E8D, 0x0E8D},
    {0x0E94, 0x0E97}, {0x0E99, 0x0E9F}, {0x0EA1, 0x0EA3}, {0x0EA5, 0x0EA5}, {0x0EA7, 0x0EA7}, {0x0EAA, 0x0EAB},
    {0x0EAD, 0x0EAE}, {0x0EB0, 0x0EB0}, {0x0EB2, 0x0EB3}, {0x0EBD, 0x0EBD}, {0x0EC0, 0x0EC4}, {0x0F40, 0x0F47},
    {0x0F49, 0x0F69}, {0x10A0, 0x10C5}, {0x10D0, 0x10F6}, {0x1100, 0x1100}, {0x1102, 0x1103}, {0x1105, 0x1107},
    {0x1109, 0x1109}, {0x110B, 0x110C}, {0x110E, 0x1112}, {0x113C, 0x113C}, {0x113E, 0x113E}, {0x1140, 0x1140},
    {0x114C, 0x114C}, {0x114E, 0x114E}, {0x1150, 0x1150}, {0x1154, 0x1155}, {0x1159, 0x1159}, {0x115F, 0x1161},
    {0x1163, 0x1163}, {0x1165, 0x1165}, {0x1167, 0x1167}, {0x1169, 0x1169}, {0x116D, 0x116E}, {0x1172, 0x1173},
    {0x1175, 0x1175}, {0x119E, 0x119E}, {0x11A8, 0x11A8}, {0x11AB, 0x11AB}, {0x11AE, 0x11AF}, {0x11B7, 0x11B8},
    {0x11BA, 0x11BA}, {0x11BC, 0x11C2}, {0x11EB, 0x11EB}, {0x11F0, 0x11F0}, {0x11F9, 0x11F9}, {0x1E00, 0x1E9B},
    {0x1EA0, 0x1EF9}, {0x1F00, 0x1F15}, {0x1F18, 0x1F1D}, {0x1F20, 0x1F45}, {0x1F48, 0x1F4D}, {0x1F50, 0x1F57},
    {0x1F59, 0x1F59}, {0x1F5B, 0x1F5B}, {0x1F5D, 0x1F5D}, {0x1F5F, 0x1F7D}, {0x1F80, 0x1FB4}, {0x1FB6, 0x1FBC},
    {0x1FBE, 0x1FBE}, {0x1FC2, 0x1FC4}, {0x1FC6, 0x1FCC}, {0x1FD0, 0x1FD3}, {0x1FD6, 0x1FDB}, {0x1FE0, 0x1FEC},
    {0x1FF2, 0x1FF4}, {0x1FF6, 0x1FFC}, {0x2126, 0x2126}, {0x212A, 0x212B}, {0x212E, 0x212E}, {0x2180, 0x2182},
    {0x3041, 0x3094}, {0x30A1, 0x30FA}, {0x3105, 0x312C}, {0xAC00, 0xD7A3}};

constexpr TRange kIdeographic[] = {{0x4E00, 0x9FA5}, {0x3007, 0x3007}, {0x3021, 0x3029}};

constexpr TRange kCombiningChar[] = {
    {0x0300, 0x0345}, {0x0360, 0x0361}, {0x0483, 0x0486}, {0x0591, 0x05A1}, {0x05A3, 0x05B9}, {0x05BB, 0x05BD},
    {0x05BF, 0x05BF}, {0x05C1, 0x05C2}, {0x05C4, 0x05C4}, {0x064B, 0x0652}, {0x0670, 0x0670}, {0x06D6, 0x06DC},
    {0x06DD, 0x06DF}, {0x06E0, 0x06E4}, {0x06E7, 0x06E8}, {0x06EA, 0x06ED}, {0x0901, 0x0903}, {0x093C, 0x093C},
    {0x093E, 0x094C}, {0x094D, 0x094D}, {0x0951, 0x0954}, {0x0962, 0x0963}, {0x0981, 0x0983}, {0x09BC, 0x09BC},
    {0x09BE, 0x09BE}, {0x09BF, 0x09BF}, {0x09C0, 0x09C4}, {0x09C7, 0x09C8}, {0x09CB, 0x09CD}, {0x09D7, 0x09D7},
    {0x09E2, 0x09E3}, {0x0A02, 0x0A02}, {0x0A3C, 0x0A3C}, {0x0A3E, 0x0A3E}, {0x0A3F, 0x0A3F}, {0x0A40, 0x0A42},
    {0x0A47, 0x0A48}, {0x0A4B, 0x0A4D}, {0x0A70, 0x0A71}, {0x0A81, 0x0A83}, {0x0ABC, 0x0ABC}, {0x0ABE, 0x0AC5},
    {0x0AC7, 0x0AC9}, {0x0ACB, 0x0ACD}, {0x0B01, 0x0B03}, {0x0B3C, 0x0B3C}, {0x0B3E, 0x0B43}, {0x0B47, 0x0B48},
    {0x0B4B, 0x0B4D}, {0x0B56, 0x0B57}, {0x0B82, 0x0B83}, {0x0BBE, 0x0BC2}, {0x0BC6, 0x0BC8}, {0x0BCA, 0x0BCD},
    {0x0BD7, 0x0BD7}, {0x0C01, 0x0C03}, {0x0C3E, 0x0C44}, {0x0C46, 0x0C48}, {0x0C4A, 0x0C4D}, {0x0C55, 0x0C56},
    {0x0C82, 0x0C83}, {0x0CBE, 0x0CC4}, {0x0CC6, 0x0CC8}, {0x0CCA, 0x0CCD}, {0x0CD5, 0x0CD6}, {0x0D02, 0x0D03},
    {0x0D3E, 0x0D43}, {0x0D46, 0x0D48}, {0x0D4A, 0x0D4D}, {0x0D57, 0x0D57}, {0x0E31, 0x0E31}, {0x0E34, 0x0E3A},
    {0x0E47, 0x0E4E}, {0x0EB1, 0x0EB1}, {0x0EB4, 0x0EB9}, {0x0EBB, 0x0EBC}, {0x0EC8, 0x0ECD}, {0x0F18, 0x0F19},
    {0x0F35, 0x0F35}, {0x0F37, 0x0F37}, {0x0F39, 0x0F39}, {0x0F3E, 0x0F3E}, {0x0F3F, 0x0F3F}, {0x0F71, 0x0F84},
    {0x0F86, 0x0F8B}, {0x0F90, 0x0F95}, {0x0F97, 0x0F97}, {0x0F99, 0x0FAD}, {0x0FB1, 0x0FB7}, {0x0FB9, 0x0FB9},
    {0x20D0, 0x20DC}, {0x20E1, 0x20E1}, {0x302A, 0x302F}, {0x3099, 0x3099}, {0x309A, 0x309A}};

constexpr TRange kDigit[] = {{0x0030, 0x0039}, {0x0660, 0x0669}, {0x06F0, 0x06F9}, {0x0966, 0x096F}, {0x09E6, 0x09EF},
                             {0x0A66, 0x0A6F}, {0x0AE6, 0x0AEF}, {0x0B66, 0x0B6F}, {0x0BE7, 0x0BEF}, {0x0C66, 0x0C6F},
                             {0x0CE6, 0x0CEF}, {0x0D66, 0x0D6F}, {0x0E50, 0x0E59}, {0x0ED0, 0x0ED9}, {0x0F20, 0x0F29}};

constexpr TRange kExtender[] = {{0x00B7, 0x00B7}, {0x02D0, 0x02D0}, {0x02D1, 0x02D1}, {0x0387, 0x0387},
                                {0x0640, 0x0640}, {0x0E46, 0x0E46}, {0x0EC6, 0x0EC6}, {0x3005, 0x3005},
                                {0x3031, 0x3035}, {0x309D, 0x309E}, {0x30FC, 0x30FE}};

constexpr TRange kChar[] = {{0x0009, 0x000A}, {0x000D, 0x000D}, {0x0020, 0xD7FF}, {0xE000, 0xFFFD}};

template <size_t N>
void Mark(const TRange (&ranges)[N], uint8_t bits) {
  for (const TRange& r : ranges)
    for (uint32_t c = r.Lo; c <= r.Hi; ++c) XMLCharClasses[c] |= bits;
}

struct TEntity {
  const char16_t* Name;
  char16_t Ch;
};

// First match wins; the Latin-1 names follow in code point order from 160.
constexpr const char16_t* kLatin1Names[96] = {
    u"nbsp",   u"iexcl",  u"cent",   u"pound",  u"curren", u"yen",    u"brvbar", u"sect",   u"uml",    u"copy",
    u"ordf",   u"laquo",  u"not",    u"shy",    u"reg",    u"macr",   u"deg",    u"plusmn", u"sup2",   u"sup3",
    u"acute",  u"micro",  u"para",   u"middot", u"cedil",  u"sup1",   u"ordm",   u"raquo",  u"frac14", u"frac12",
    u"frac34", u"iquest", u"Agrave", u"Aacute", u"Acirc",  u"Atilde", u"Auml",   u"Aring",  u"AElig",  u"Ccedil",
    u"Egrave", u"Eacute", u"Ecirc",  u"Euml",   u"Igrave", u"Iacute", u"Icirc",  u"Iuml",   u"ETH",    u"Ntilde",
    u"Ograve", u"Oacute", u"Ocirc",  u"Otilde", u"Ouml",   u"times",  u"Oslash", u"Ugrave", u"Uacute", u"Ucirc",
    u"Uuml",   u"Yacute", u"THORN",  u"szlig",  u"agrave", u"aacute", u"acirc",  u"atilde", u"auml",   u"aring",
    u"aelig",  u"ccedil", u"egrave", u"eacute", u"ecirc",  u"euml",   u"igrave", u"iacute", u"icirc",  u"iuml",
    u"eth",    u"ntilde", u"ograve", u"oacute", u"ocirc",  u"otilde", u"ouml",   u"divide", u"oslash", u"ugrave",
    u"uacute", u"ucirc",  u"uuml",   u"yacute", u"thorn",  u"yuml"};

constexpr TEntity kMarkupEntities[] = {{u"quot", 34}, {u"amp", 38}, {u"apos", 39}, {u"lt", 60}, {u"gt", 62}};

struct TCodePageName {
  const char* Name;
  uint16_t CodePage;
};

// The names of the product's first table come first; after them the registered names
// and aliases of the character sets the platform converts, under Windows code-page
// numbers. Whether this host can convert one is asked of the platform when it is used.
constexpr TCodePageName kCodePages[] = {{"shift-jis", 932},
                                        {"utf-16", 1200},
                                        {"windows-1250", 1250},
                                        {"windows-1251", 1251},
                                        {"windows-1252", 1252},
                                        {"windows-1253", 1253},
                                        {"windows-1254", 1254},
                                        {"windows-1255", 1255},
                                        {"windows-1256", 1256},
                                        {"windows-1257", 1257},
                                        {"windows-1258", 1258},
                                        {"utf-8", 65001},
                                        {"iso-8859-1", 28591},
                                        {"iso-8859-2", 28592},
                                        {"iso-8859-3", 28593},
                                        {"iso-8859-4", 28594},
                                        {"iso-8859-5", 28595},
                                        {"iso-8859-6", 28596},
                                        {"iso-8859-7", 28597},
                                        {"iso-8859-8", 28598},
                                        {"iso-8859-9", 28599},
                                        {"iso-2022-jp", 50220},
                                        {"euc-jp", 51932},
                                        // Unicode.
                                        {"csutf8", 65001},
                                        {"utf-16le", 1200},
                                        {"csutf16le", 1200},
                                        {"utf-16be", 1201},
                                        {"csutf16be", 1201},
                                        {"csutf16", 1200},
                                        {"iso-10646-ucs-2", 1200},
                                        {"csunicode", 1200},
                                        {"utf-32", 12000},
                                        {"utf-32le", 12000},
                                        {"csutf32", 12000},
                                        {"csutf32le", 12000},
                                        // Japanese, Chinese, Korean.
                                        {"shift_jis", 932},
                                        {"ms_kanji", 932},
                                        {"csshiftjis", 932},
                                        {"windows-31j", 932},
                                        {"cswindows31j", 932},
                                        {"extended_unix_code_packed_format_for_japanese", 51932},
                                        {"cseucpkdfmtjapanese", 51932},
                                        {"csiso2022jp", 50220},
                                        {"gbk", 936},
                                        {"cp936", 936},
                                        {"ms936", 936},
                                        {"windows-936", 936},
                                        {"csgbk", 936},
                                        {"gb2312", 936},
                                        {"csgb2312", 936},
                                        {"gb18030", 54936},
                                        {"csgb18030", 54936},
                                        {"big5", 950},
                                        {"csbig5", 950},
                                        {"euc-kr", 51949},
                                        {"cseuckr", 51949},
                                        {"ks_c_5601-1987", 949},
                                        {"iso-ir-149", 949},
                                        {"ks_c_5601-1989", 949},
                                        {"ksc_5601", 949},
                                        {"korean", 949},
                                        {"csksc56011987", 949},
                                        // Windows and DOS code pages.
                                        {"cswindows1250", 1250},
                                        {"cswindows1251", 1251},
                                        {"cswindows1252", 1252},
                                        {"cswindows1253", 1253},
                                        {"cswindows1254", 1254},
                                        {"cswindows1255", 1255},
                                        {"cswindows1256", 1256},
                                        {"cswindows1257", 1257},
                                        {"cswindows1258", 1258},
                                        {"windows-874", 874},
                                        {"cswindows874", 874},
                                        {"ibm437", 437},
                                        {"cp437", 437},
                                        {"437", 437},
                                        {"cspc8codepage437", 437},
                                        {"ibm850", 850},
                                        {"cp850", 850},
                                        {"850", 850},
                                        {"cspc850multilingual", 850},
                                        {"ibm852", 852},
                                        {"cp852", 852},
                                        {"852", 852},
                                        {"cspcp852", 852},
                                        {"ibm866", 866},
                                        {"cp866", 866},
                                        {"866", 866},
                                        {"csibm866", 866},
                                        {"koi8-r", 20866},
                                        {"cskoi8r", 20866},
                                        {"koi8-u", 21866},
                                        {"cskoi8u", 21866},
                                        {"macintosh", 10000},
                                        {"mac", 10000},
                                        {"csmacintosh", 10000},
                                        // ASCII and the ISO 8859 family.
                                        {"us-ascii", 20127},
                                        {"ansi_x3.4-1968", 20127},
                                        {"iso-ir-6", 20127},
                                        {"ansi_x3.4-1986", 20127},
                                        {"iso_646.irv:1991", 20127},
                                        {"iso646-us", 20127},
                                        {"us", 20127},
                                        {"ibm367", 20127},
                                        {"cp367", 20127},
                                        {"csascii", 20127},
                                        {"iso_8859-1:1987", 28591},
                                        {"iso-ir-100", 28591},
                                        {"iso_8859-1", 28591},
                                        {"latin1", 28591},
                                        {"l1", 28591},
                                        {"ibm819", 28591},
                                        {"cp819", 28591},
                                        {"csisolatin1", 28591},
                                        {"iso_8859-2:1987", 28592},
                                        {"iso-ir-101", 28592},
                                        {"iso_8859-2", 28592},
                                        {"latin2", 28592},
                                        {"l2", 28592},
                                        {"csisolatin2", 28592},
                                        {"iso_8859-3:1988", 28593},
                                        {"iso-ir-109", 28593},
                                        {"iso_8859-3", 28593},
                                        {"latin3", 28593},
                                        {"l3", 28593},
                                        {"csisolatin3", 28593},
                                        {"iso_8859-4:1988", 28594},
                                        {"iso-ir-110", 28594},
                                        {"iso_8859-4", 28594},
                                        {"latin4", 28594},
                                        {"l4", 28594},
                                        {"csisolatin4", 28594},
                                        {"iso_8859-5:1988", 28595},
                                        {"iso-ir-144", 28595},
                                        {"iso_8859-5", 28595},
                                        {"cyrillic", 28595},
                                        {"csisolatincyrillic", 28595},
                                        {"iso_8859-6:1987", 28596},
                                        {"iso-ir-127", 28596},
                                        {"iso_8859-6", 28596},
                                        {"ecma-114", 28596},
                                        {"asmo-708", 28596},
                                        {"arabic", 28596},
                                        {"csisolatinarabic", 28596},
                                        {"iso_8859-7:1987", 28597},
                                        {"iso-ir-126", 28597},
                                        {"iso_8859-7", 28597},
                                        {"elot_928", 28597},
                                        {"ecma-118", 28597},
                                        {"greek", 28597},
                                        {"greek8", 28597},
                                        {"csisolatingreek", 28597},
                                        {"iso_8859-8:1988", 28598},
                                        {"iso-ir-138", 28598},
                                        {"iso_8859-8", 28598},
                                        {"hebrew", 28598},
                                        {"csisolatinhebrew", 28598},
                                        {"iso_8859-9:1989", 28599},
                                        {"iso-ir-148", 28599},
                                        {"iso_8859-9", 28599},
                                        {"latin5", 28599},
                                        {"l5", 28599},
                                        {"csisolatin5", 28599},
                                        {"iso-8859-13", 28603},
                                        {"csiso885913", 28603},
                                        {"iso-8859-15", 28605},
                                        {"iso_8859-15", 28605},
                                        {"latin-9", 28605},
                                        {"csiso885915", 28605}};

char16_t AsciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

// Built when the unit is initialised, before main.
const bool kTableBuilt = (BuildCharClassTable(), true);

}  // namespace

void BuildCharClassTable() {
  if (XMLCharClasses[u'A'] != 0) return;
  Mark(kBaseChar, ccBaseChar | ccLetter | ccNameChar);
  Mark(kIdeographic, ccIdeographic | ccLetter | ccNameChar);
  Mark(kCombiningChar, ccCombiningChar | ccNameChar);
  Mark(kDigit, ccDigit | ccNameChar);
  Mark(kExtender, ccExtender | ccNameChar);
  Mark(kChar, ccChar);
  for (char16_t c : {u'.', u'-', u'_', u':'}) XMLCharClasses[c] |= ccNameChar;
}

bool LookupCharEntity(std::u16string_view name, char16_t& ch) {
  (void)kTableBuilt;
  for (const TEntity& e : kMarkupEntities)
    if (name == e.Name) {
      ch = e.Ch;
      return true;
    }
  for (int i = 0; i < 96; ++i)
    if (name == kLatin1Names[i]) {
      ch = static_cast<char16_t>(160 + i);
      return true;
    }
  return false;
}

bool LookupCodePage(std::u16string_view name, uint16_t& codePage) {
  for (const TCodePageName& e : kCodePages) {
    std::string_view n(e.Name);
    if (n.size() != name.size()) continue;
    bool same = true;
    for (size_t i = 0; i < n.size() && same; ++i) same = AsciiLower(name[i]) == static_cast<char16_t>(n[i]);
    if (same) {
      codePage = e.CodePage;
      return true;
    }
  }
  return false;
}

bool CanConvertCodePage(uint16_t codePage) {
  if (codePage == 1200 || codePage == 1201 || codePage == 12000 || codePage == 65001) return true;
  return platform::TextDecoder(codePage).Error() == 0 && platform::TextEncoder(codePage).Error() == 0;
}

WideString EscapeExact(std::u16string_view text, bool attribute) {
  WideString out;
  out.reserve(text.size() + text.size() / 10);
  for (char16_t c : text) {
    switch (c) {
      case u'\r': out += u"&#13;"; break;
      case u'\n': out += u"&#10;"; break;
      case u'\t':
        if (attribute)
          out += u"&#9;";
        else
          out += c;
        break;
      case u'"': out += u"&quot;"; break;
      case u'&': out += u"&amp;"; break;
      case u'<': out += u"&lt;"; break;
      case u'>': out += u"&gt;"; break;
      case u'\'':
        if (attribute)
          out += c;
        else
          out += u"&apos;";
        break;
      default: out += c;
    }
  }
  return out;
}

WideString EscapeMarkup(std::u16string_view text, bool escapeApostrophe) {
  WideString out;
  out.reserve(text.size() + text.size() / 10);
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    switch (c) {
      case u'\r':
      case u'\n':
        // One reference a line break: CR LF is one, LF CR or two of a kind are two.
        out += u"&#10;";
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        break;
      case u'"': out += u"&quot;"; break;
      case u'&': out += u"&amp;"; break;
      case u'<': out += u"&lt;"; break;
      case u'>': out += u"&gt;"; break;
      case u'\'':
        if (escapeApostrophe)
          out += u"&apos;";
        else
          out += c;
        break;
      default: out += c;
    }
  }
  return out;
}

#if XML_HAVE_SSE2 && !defined(__SSE2__)
namespace {

bool DetectSse2() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  return __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (edx & bit_SSE2) != 0;
}

}  // namespace

const bool gHasSse2 = DetectSse2();
#endif

#if XML_HAVE_SSE2
namespace {

XML_SSE2_TARGET size_t FindFirstOfSse2(const char16_t* p, size_t n, char16_t a, char16_t b, char16_t c) {
  const TFirstOf8 any(a, b, c);
  size_t i = 0;
  for (; i + 8 <= n; i += 8)
    if (unsigned mask = any.Hits(p + i)) return i + TFirstOf8::First(mask);
  for (; i < n; ++i)
    if (p[i] == a || p[i] == b || p[i] == c) return i;
  return n;
}

}  // namespace
#endif

size_t FindFirstOf(const char16_t* p, size_t n, char16_t a, char16_t b, char16_t c) {
#if XML_HAVE_SSE2
  if (HasSse2() && n >= 8) return FindFirstOfSse2(p, n, a, b, c);
#endif
  for (size_t i = 0; i < n; ++i)
    if (p[i] == a || p[i] == b || p[i] == c) return i;
  return n;
}

WideString NormalizeLineBreaks(WideString text) {
  if (FindFirstOf(text.data(), text.size(), u'\r', u'\r', u'\r') == text.size()) return text;  // moved, not copied
  WideString out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r') {
      out += u'\n';
      if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

WideString ExpandLineBreaks(const WideString& text) {
  if (text.find(u'\n') == WideString::npos) return text;
  WideString out;
  out.reserve(text.size() + 16);
  for (char16_t c : text) {
    if (c == u'\n') out += u'\r';
    out += c;
  }
  return out;
}

WideString TrimWhiteSpace(std::u16string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && IsWhiteSpaceChar(text[b])) ++b;
  while (e > b && IsWhiteSpaceChar(text[e - 1])) --e;
  return WideString(text.substr(b, e - b));
}

WideString GetPseudoAttribute(std::u16string_view name, std::u16string_view text, const WideString& def) {
  size_t at = name.empty() ? std::u16string_view::npos : text.find(name);
  if (at == std::u16string_view::npos) return def;
  size_t open = text.find_first_of(u"\"'", at + name.size());
  if (open == std::u16string_view::npos) return WideString();
  size_t close = text.find_first_of(u"\"'", open + 1);
  if (close == std::u16string_view::npos) close = text.size();
  return WideString(text.substr(open + 1, close - open - 1));
}

void AppendPseudoAttribute(WideString& text, std::u16string_view name, std::u16string_view value) {
  if (value.empty()) return;
  if (!text.empty()) text += u' ';
  text += name;
  text += u"=\"";
  text += value;
  text += u'"';
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  if (a == b) return true;
  return platform::CompareWideText(a, b, true) == 0;
}

WideString LowerCaseName(std::u16string_view s) {
  WideString out(s);
  for (char16_t& c : out) {
    if (c < 0x80)
      c = AsciiLower(c);
    else if ((c >= 0xC0 && c <= 0xDE && c != 0xD7))
      c = static_cast<char16_t>(c + 32);
  }
  return out;
}

}  // namespace xml
