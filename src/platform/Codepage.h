#pragma once
// Internal text is UTF-8; the apparatus's files are windows-1251 on disk.

#include <string>
#include <string_view>

namespace platform {

std::string Cp1251ToUtf8(std::string_view text);
// Characters windows-1251 cannot hold become '?'.
std::string Utf8ToCp1251(std::string_view text);
// True for text that carries a UTF-8 byte-order mark, or is valid UTF-8 with non-ASCII bytes.
bool LooksLikeUtf8(std::string_view bytes);

}  // namespace platform
