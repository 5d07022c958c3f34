#include "image/ConvertDat.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "platform/Codepage.h"
#include "platform/Files.h"

namespace kvt {
namespace {

bool IsSeparator(char c) {
  return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == ';';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;  // lower case is not a digit here
}

// What one interpreted token asks for.
struct Step {
  enum Kind { Width8, Width16, Page, Bank, Offset, Value } kind;
  unsigned number;  // byte for directives, value mod 65536 for values
};

std::optional<Step> Classify(std::string_view token, DatErrorKind& failure) {
  if (token.size() > kMaxDatToken) {
    failure = DatErrorKind::TooLong;
    return std::nullopt;
  }
  if (token == "$8bitformat") return Step{Step::Width8, 0};
  if (token == "$16bitformat") return Step{Step::Width16, 0};
  const char lead = token.front();
  if (lead == '&' || lead == '#' || lead == '>') {
    if (token.size() == 1) {
      failure = DatErrorKind::NoDigits;
      return std::nullopt;
    }
    unsigned byte = 0;
    for (char c : token.substr(1)) {
      const int d = HexDigit(c);
      if (d < 0) {
        failure = DatErrorKind::BadDigit;
        return std::nullopt;
      }
      // Only the low byte is kept, so any number of digits is safe.
      byte = (byte * 16u + unsigned(d)) & 0xFFu;
    }
    const Step::Kind kind = lead == '&' ? Step::Page : lead == '#' ? Step::Bank : Step::Offset;
    return Step{kind, byte};
  }
  unsigned value = 0;
  for (char c : token) {
    if (c < '0' || c > '9') {
      failure = DatErrorKind::UnknownToken;
      return std::nullopt;
    }
    // Stored modulo 65536 (or 256), so reducing as we go gives the same result without overflow.
    value = (value * 10u + unsigned(c - '0')) % 65536u;
  }
  return Step{Step::Value, value};
}

void Fail(DatError* error, DatErrorKind kind, std::string_view text, std::size_t start,
          std::size_t length) {
  if (!error) return;
  error->kind = kind;
  error->position = start;
  error->line = 1 + int(std::count(text.begin(), text.begin() + std::ptrdiff_t(start), '\n'));
  error->token = std::string(text.substr(start, std::min(length, kMaxDatToken + 1)));
}

// Walks the text as both converter modes read it. For every interpreted value token
// onValue(address, wide, value, tokenText) is called and returns the text that goes to the output
// in place of the token; onCopy(text) receives every piece of the text that is copied unchanged.
// Returns false at the first format error.
template <typename OnValue, typename OnCopy>
bool Walk(std::string_view text, DatError* error, OnValue&& onValue, OnCopy&& onCopy) {
  text = text.substr(0, std::min(text.find('\0'), text.size()));
  // 64 bits: the address only ever grows by 1 or 2 per token, so it cannot wrap back into the
  // image however long the text is.
  std::uint64_t address = 0;
  bool wide = false;
  bool comment = false;
  std::size_t tokenStart = 0, tokenLength = 0;

  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (!comment && !IsSeparator(c)) {
      if (tokenLength == 0) tokenStart = i;
      ++tokenLength;
      continue;
    }
    if (tokenLength > 0) {
      const std::string_view token = text.substr(tokenStart, tokenLength);
      DatErrorKind failure = DatErrorKind::None;
      const std::optional<Step> step = Classify(token, failure);
      if (!step) {
        Fail(error, failure, text, tokenStart, tokenLength);
        return false;
      }
      const std::uint64_t page = (address >> 16) & 0xFF, bank = (address >> 8) & 0xFF,
                          offset = address & 0xFF;
      switch (step->kind) {
        case Step::Width8:
          wide = false;
          onCopy(token);
          break;
        case Step::Width16:
          wide = true;
          onCopy(token);
          break;
        case Step::Page:
          address = (std::uint64_t(step->number) << 16) | (bank << 8) | offset;
          onCopy(token);
          break;
        case Step::Bank:
          address = (page << 16) | (std::uint64_t(step->number) << 8) | offset;
          onCopy(token);
          break;
        case Step::Offset:
          address = (page << 16) | (bank << 8) | step->number;
          onCopy(token);
          break;
        case Step::Value:
          onValue(address, wide, step->number, token);
          address += wide ? 2 : 1;
          break;
      }
      tokenLength = 0;
    }
    onCopy(text.substr(i, 1));
    if (c == ';') comment = true;
    if (c == '\n') comment = false;
  }
  // A token with nothing after it is not interpreted; its text is still part of the layout.
  if (tokenLength > 0) onCopy(text.substr(tokenStart, tokenLength));
  return true;
}

bool Inside(std::uint64_t address, bool wide, std::size_t size) {
  return address + (wide ? 2 : 1) <= size;
}

}  // namespace

std::string DatError::Describe() const {
  std::string what;
  switch (kind) {
    case DatErrorKind::None:
      return "нет ошибки";
    case DatErrorKind::TooLong:
      what = "лексема из 100 и более символов";
      break;
    case DatErrorKind::UnknownToken:
      what = "неизвестная лексема";
      break;
    case DatErrorKind::BadDigit:
      what = "недопустимая шестнадцатеричная цифра (0-9, A-F) в";
      break;
    case DatErrorKind::NoDigits:
      what = "нет шестнадцатеричных цифр в";
      break;
  }
  return "Строка " + std::to_string(line) + ": " + what + " \"" + platform::Cp1251ToUtf8(token) +
         "\"";
}

bool ParseDatText(std::string_view text, std::vector<std::uint8_t>& image, DatError* error) {
  // Parsed into a copy, so a format error leaves the caller's image untouched.
  std::vector<std::uint8_t> result = image;
  const bool ok = Walk(
      text, error,
      [&](std::uint64_t address, bool wide, unsigned value, std::string_view) {
        if (!Inside(address, wide, result.size())) return;
        if (wide) {
          result[address] = std::uint8_t(value >> 8);
          result[address + 1] = std::uint8_t(value & 0xFF);
        } else {
          result[address] = std::uint8_t(value & 0xFF);
        }
      },
      [](std::string_view) {});
  if (ok) image.swap(result);
  return ok;
}

std::vector<std::uint8_t> DatTextToImage(std::string_view text, std::size_t size, DatError* error) {
  std::vector<std::uint8_t> image(size, 0);
  if (!ParseDatText(text, image, error)) return {};
  return image;
}

bool ListDatValues(std::string_view text, std::vector<DatValue>& values, DatError* error) {
  values.clear();
  const char* const base = text.data();
  const bool ok = Walk(
      text, error,
      [&](std::uint64_t address, bool wide, unsigned, std::string_view token) {
        values.push_back(DatValue{address, wide, std::size_t(token.data() - base), token.size()});
      },
      [](std::string_view) {});
  if (!ok) values.clear();
  return ok;
}

bool RenderDatText(std::string_view templ, const std::uint8_t* image, std::size_t size,
                   std::string& out, DatError* error, bool dropOutside, bool* outside) {
  if (outside) *outside = false;
  // The values may come out longer than the template's digits (one digit in the template, five
  // in the image); the string grows as needed, so the text always comes out whole.
  std::string result;
  result.reserve(templ.size() + templ.size() / 4);
  const bool ok = Walk(
      templ, error,
      [&](std::uint64_t address, bool wide, unsigned, std::string_view token) {
        if (!Inside(address, wide, size)) {
          if (outside) *outside = true;
          if (!dropOutside) result.append(token);
        } else if (wide) {
          result.append(std::to_string(unsigned(image[address]) * 256u + image[address + 1]));
        } else {
          result.append(std::to_string(unsigned(image[address])));
        }
      },
      [&](std::string_view piece) { result.append(piece); });
  out.clear();
  if (ok) out.swap(result);
  return ok;
}

int ConvertDat(int mode, const std::filesystem::path& datPath, const std::filesystem::path& binPath,
               const std::filesystem::path& templatePath, std::size_t size, DatError* error) {
  if (error) *error = DatError{};
  auto cantOpen = [](const std::filesystem::path& p) {
    std::fprintf(stderr, "Can't open file %s\n", p.string().c_str());
    return 1;
  };
  // A file that cannot be written is a failed conversion, whatever was parsed.
  auto cantCreate = [](const std::filesystem::path& p) {
    std::fprintf(stderr, "Can't create file %s\n", p.string().c_str());
    return 1;
  };

  if (mode == DatToBinary) {
    const auto text = platform::ReadBinaryFile(datPath);
    if (!text) return cantOpen(datPath);
    std::vector<std::uint8_t> image(size, 0);
    const std::string_view view(reinterpret_cast<const char*>(text->data()), text->size());
    if (!ParseDatText(view, image, error)) return 1;
    if (!platform::WriteFileAtomic(binPath, image)) return cantCreate(binPath);
    return 0;
  }
  if (mode == BinaryToDat) {
    const auto templ = platform::ReadBinaryFile(templatePath);
    if (!templ) return cantOpen(templatePath);
    const auto image = platform::ReadBinaryFile(binPath);
    if (!image) return cantOpen(binPath);
    if (image->size() < size) {
      // Values past the file's end would be invented; refuse instead.
      std::fprintf(stderr, "File %s holds %zu bytes, %zu expected\n", binPath.string().c_str(),
                   image->size(), size);
      return 1;
    }
    std::string text;
    const std::string_view view(reinterpret_cast<const char*>(templ->data()), templ->size());
    if (!RenderDatText(view, image->data(), size, text, error)) return 1;
    if (!platform::WriteFileAtomic(datPath, text)) return cantCreate(datPath);
    return 0;
  }
  return 1;
}

}  // namespace kvt
