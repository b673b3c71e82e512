// The Windows reference converter: the system's conversion functions in one piece.
#include "TextTestSupport.h"
#include "platform/CodePage.h"

namespace texttest {

const bool kHostConvertsEveryXmlCodePage = false;

std::string ReferenceEncode(const std::u16string& text, uint16_t cp) { return platform::WideToMultiByte(text, cp); }

std::u16string ReferenceDecode(const std::string& bytes, uint16_t cp) { return platform::MultiByteToWide(bytes, cp); }

}  // namespace texttest
