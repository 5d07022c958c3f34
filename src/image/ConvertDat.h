#pragma once
// The ".dat" configuration text and its converter.
//
// A ".dat" text lists image values in decimal together with directives that set the address
// ("&" page, "#" bank, ">" offset, upper-case hexadecimal) and the value width ("$8bitformat",
// "$16bitformat"). Separators are space, tab, CR, LF and ";"; a ";" starts a comment that runs to
// the line feed. A token is interpreted only when a separator follows it. The text is windows-1251
// (or anything ASCII-compatible): only ASCII carries meaning, other bytes are token characters.
//
// The converter works on raw bytes and never changes the code page of what it copies.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kvt {

enum ConvertMode : int {
  DatToBinary = 0,  // text -> image bytes
  BinaryToDat = 1,  // image bytes + template -> text
};

enum class DatErrorKind {
  None,
  TooLong,       // a token of 100 or more characters
  UnknownToken,  // neither a directive nor a decimal value
  BadDigit,      // a non-hexadecimal character (or lower case) after "&", "#" or ">"
  NoDigits,      // "&", "#" or ">" alone
};

// Where a text stopped being understood: enough for the terminal to point at the wrong token.
struct DatError {
  DatErrorKind kind = DatErrorKind::None;
  std::size_t position = 0;  // byte offset of the token's first character in the text
  int line = 0;              // 1-based line of the token
  std::string token;         // the token as written (raw bytes; at most 100 of them)

  // One line for a person, in Russian: "Строка 3: неизвестная лексема \"1x\"" (UTF-8; the token
  // bytes are taken as windows-1251).
  std::string Describe() const;
};

// Longest token the format accepts; 100 characters or more is an error.
inline constexpr std::size_t kMaxDatToken = 99;

// Mode 0 in memory: fills `image` (its size is the image size; bytes not named by the text are
// left as they are) from `text`. On a format error returns false, fills *error, and `image` is
// left exactly as it was.
bool ParseDatText(std::string_view text, std::vector<std::uint8_t>& image,
                  DatError* error = nullptr);

// Convenience: a fresh image of `size` zero bytes filled from `text`; empty vector and *error on
// failure (check the error kind, an image of size 0 is empty too).
std::vector<std::uint8_t> DatTextToImage(std::string_view text, std::size_t size,
                                         DatError* error = nullptr);

// Mode 1 in memory: the template text with every value token whose bytes lie inside the image
// replaced by the image's value. Comments, directives, separators and out-of-image values keep
// their text. On a format error returns false, fills *error and leaves `out` empty.
// With `dropOutside` an out-of-image value is left out instead, so the text shows no value that
// is not the image's; *outside tells whether the template named any.
bool RenderDatText(std::string_view templ, const std::uint8_t* image, std::size_t size,
                   std::string& out, DatError* error = nullptr, bool dropOutside = false,
                   bool* outside = nullptr);
inline bool RenderDatText(std::string_view templ, const std::vector<std::uint8_t>& image,
                          std::string& out, DatError* error = nullptr, bool dropOutside = false,
                          bool* outside = nullptr) {
  return RenderDatText(templ, image.data(), image.size(), out, error, dropOutside, outside);
}

// Every interpreted value token of a text, in order: where its bytes go and where it is written.
// Lets a viewer map a token to its address (and a check see which bytes a template covers).
struct DatValue {
  std::uint64_t address = 0;  // page << 16 | bank << 8 | offset
  bool wide = false;          // 16-bit value (two bytes, high first)
  std::size_t position = 0;   // byte offset of the token in the text
  std::size_t length = 0;     // its length in bytes
};
bool ListDatValues(std::string_view text, std::vector<DatValue>& values, DatError* error = nullptr);

// The file converter. Returns 0 on success and 1 on failure.
//   DatToBinary: reads datPath, writes exactly `size` bytes to binPath (templatePath unused).
//   BinaryToDat: reads templatePath and the first `size` bytes of binPath, writes datPath.
// File errors go to standard error ("Can't open file %s\n", "Can't create file %s\n"); every
// output is written beside its target under a temporary name and renamed into place, so a
// failed conversion never leaves a half-written or stale-looking file. When `error` is given it
// receives the format error, if that was the cause.
int ConvertDat(int mode, const std::filesystem::path& datPath, const std::filesystem::path& binPath,
               const std::filesystem::path& templatePath, std::size_t size,
               DatError* error = nullptr);

}  // namespace kvt
