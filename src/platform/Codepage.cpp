#include "platform/Codepage.h"

#include <array>
#include <cstdint>
#include <unordered_map>

namespace platform {

namespace {

// windows-1251 is a single-byte code page, so both directions are table look-ups. The upper half:
// 0x80 to 0xBF are listed, 0xC0 to 0xFF are А to я in order. The code page leaves 0x98 undefined;
// it reads as '?'.
constexpr char16_t kUpperQuarters[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 0x88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 0x98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // 0xA0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // 0xA8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // 0xB0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // 0xB8
};

struct Cp1251Tables {
  std::array<char32_t, 256> toUnicode{};
  std::unordered_map<char32_t, unsigned char> fromUnicode;

  Cp1251Tables() {
    for (int i = 0; i < 128; ++i) toUnicode[i] = static_cast<char32_t>(i);
    for (int i = 0x80; i < 0xC0; ++i) {
      const char32_t cp = kUpperQuarters[i - 0x80];
      toUnicode[i] = cp != 0 ? cp : U'?';
    }
    for (int i = 0xC0; i < 0x100; ++i) toUnicode[i] = static_cast<char32_t>(0x0410 + (i - 0xC0));
    for (int i = 0x80; i < 0x100; ++i) {
      if (toUnicode[i] != U'?') fromUnicode.emplace(toUnicode[i], static_cast<unsigned char>(i));
    }
  }
};

const Cp1251Tables& Tables() {
  static const Cp1251Tables tables;
  return tables;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one strict UTF-8 sequence at text[i]; returns its length, 0 when it is malformed
// (overlong forms, surrogates and values above U+10FFFF are malformed).
std::size_t DecodeUtf8(std::string_view text, std::size_t i, char32_t& cp) {
  const auto b0 = static_cast<unsigned char>(text[i]);
  std::size_t len;
  char32_t min;
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  } else if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (i + len > text.size()) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(text[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

}  // namespace

std::string Cp1251ToUtf8(std::string_view text) {
  const auto& t = Tables();
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text) AppendUtf8(out, t.toUnicode[static_cast<unsigned char>(c)]);
  return out;
}

std::string Utf8ToCp1251(std::string_view text) {
  const auto& t = Tables();
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    std::size_t len = DecodeUtf8(text, i, cp);
    if (len == 0) {  // a broken byte stands for one unknown character
      out += '?';
      ++i;
      continue;
    }
    i += len;
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (auto it = t.fromUnicode.find(cp); it != t.fromUnicode.end()) {
      out += static_cast<char>(it->second);
    } else {
      out += '?';
    }
  }
  return out;
}

bool LooksLikeUtf8(std::string_view bytes) {
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") return true;
  bool nonAscii = false;
  for (std::size_t i = 0; i < bytes.size();) {
    char32_t cp = 0;
    std::size_t len = DecodeUtf8(bytes, i, cp);
    if (len == 0) return false;
    if (len > 1) nonAscii = true;
    i += len;
  }
  return nonAscii;
}

}  // namespace platform
