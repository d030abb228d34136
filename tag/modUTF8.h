#pragma once

#include <string>
#include <string_view>

namespace modUTF8 {

/// Lenient UTF-8: continuation bytes are not checked, a sequence cut off by the end of the input
/// ends the decoding. Well-formed four-byte sequences become surrogate pairs.
std::u16string DecodeUTF8(std::string_view bytes);

}  // namespace modUTF8
