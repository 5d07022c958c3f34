#include "platform/Codepage.h"

#include <iconv.h>

#include <array>
#include <cstdint>
#include <unordered_map>

namespace platform {

namespace {

// windows-1251 is a single-byte code page, so both directions are table look-ups; iconv fills
// the tables once. Bytes the code page leaves undefined (0x98) map to '?'.
struct Cp1251Tables {
  std::array<char32_t, 256> toUnicode{};
  std::unordered_map<char32_t, unsigned char> fromUnicode;

  Cp1251Tables() {
    for (int i = 0; i < 128; ++i) toUnicode[i] = static_cast<char32_t>(i);
    iconv_t cd = iconv_open("UTF-32LE", "CP1251");
    for (int i = 128; i < 256; ++i) {
      char32_t cp = U'?';
      if (cd != reinterpret_cast<iconv_t>(-1)) {
        char in = static_cast<char>(i);
        unsigned char out[8] = {};
        char* inp = &in;
        char* outp = reinterpret_cast<char*>(out);
        size_t inLeft = 1, outLeft = sizeof out;
        if (iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<size_t>(-1) &&
            outLeft == sizeof out - 4) {
          cp = static_cast<char32_t>(out[0] | (out[1] << 8) | (out[2] << 16) |
                                     (static_cast<std::uint32_t>(out[3]) << 24));
        }
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
      }
      toUnicode[i] = cp;
      if (cp != U'?') fromUnicode.emplace(cp, static_cast<unsigned char>(i));
    }
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
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
