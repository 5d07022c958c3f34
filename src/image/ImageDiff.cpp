#include "image/ImageDiff.h"

#include <algorithm>
#include <cstdio>

#include "image/ConvertDat.h"
#include "platform/Codepage.h"

namespace kvt {

namespace {

// A value as the template writes it: one byte, or a word of two (high byte first).
struct Unit {
  std::size_t start = 0;
  bool wide = false;
  int note = -1;  // index into the notes, -1 without a comment
};

std::string Address(std::size_t a) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%03zX", a);
  return text;
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// "0x013 KUAN - ..." -> "KUAN - ...": the line prints the address itself.
std::string_view DropAddress(std::string_view s) {
  auto skipAddress = [&s]() {
    if (s.size() < 3 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X') || !IsHexDigit(s[2]))
      return false;
    std::size_t i = 2;
    while (i < s.size() && IsHexDigit(s[i])) ++i;
    s.remove_prefix(i);
    return true;
  };
  if (!skipAddress()) return s;
  if (!s.empty() && s[0] == '-') {
    s.remove_prefix(1);
    skipAddress();
  }
  while (!s.empty() && (s[0] == ' ' || s[0] == '\t')) s.remove_prefix(1);
  return s;
}

std::string_view Trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

// The comment after a value token on its line, or empty.
std::string_view CommentAfter(std::string_view text, std::size_t tokenEnd) {
  const std::size_t eol = std::min(text.find('\n', tokenEnd), text.size());
  const std::size_t semi = text.find(';', tokenEnd);
  if (semi == std::string_view::npos || semi >= eol) return {};
  return Trim(text.substr(semi + 1, eol - semi - 1));
}

// "KUAN - коэффициент ..." names the value: the name goes before the values, the rest after.
void SplitName(const std::string& note, std::string& name, std::string& rest) {
  std::size_t i = 0;
  while (i < note.size() && ((note[i] >= 'A' && note[i] <= 'Z') || note[i] == '_' ||
                             (i > 0 && note[i] >= '0' && note[i] <= '9')))
    ++i;
  if (i > 0 && note.compare(i, 3, " - ") == 0) {
    name = note.substr(0, i);
    rest = note.substr(i + 3);
  } else {
    name.clear();
    rest = note;
  }
}

unsigned Value(const std::vector<std::uint8_t>& image, const Unit& u) {
  return u.wide ? unsigned(image[u.start]) << 8 | image[u.start + 1] : image[u.start];
}

}  // namespace

ImageDiffResult DiffImages(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b,
                           std::string_view templ, const std::string& nameA,
                           const std::string& nameB) {
  ImageDiffResult result;
  const std::size_t common = std::min(a.size(), b.size());

  // Which value of the template each byte belongs to, and the comment of its line.
  std::vector<Unit> unitOf(common);
  for (std::size_t i = 0; i < common; ++i) unitOf[i].start = i;
  std::vector<std::string> notes;
  std::vector<DatValue> values;
  if (!templ.empty() && ListDatValues(templ, values)) {
    const bool utf8 = platform::LooksLikeUtf8(templ);
    std::size_t lastLine = std::string_view::npos;
    for (const DatValue& v : values) {
      const std::size_t width = v.wide ? 2 : 1;
      if (v.address + width > common) continue;
      const std::size_t eol = templ.find('\n', v.position);
      if (eol != lastLine || notes.empty()) {
        const std::string_view raw = CommentAfter(templ, v.position + v.length);
        const std::string text = utf8 ? std::string(raw) : platform::Cp1251ToUtf8(raw);
        notes.emplace_back(DropAddress(text));
        lastLine = eol;
      }
      const int note = notes.back().empty() ? -1 : int(notes.size() - 1);
      for (std::size_t k = 0; k < width; ++k)
        unitOf[v.address + k] = Unit{std::size_t(v.address), v.wide, note};
    }
  }

  // Differing values, merged into one line while they follow each other under one comment.
  struct Run {
    std::size_t first = 0, last = 0;
    int note = -1;
    std::vector<Unit> units;
  };
  std::vector<Run> runs;
  for (std::size_t i = 0; i < common;) {
    const Unit u = unitOf[i];
    const std::size_t end = u.start + (u.wide ? 2 : 1);
    if (u.start != i || end > common) {  // a template word cut by another value: bytewise
      unitOf[i] = Unit{i, false, u.note};
      continue;
    }
    if (Value(a, u) != Value(b, u)) {
      if (!runs.empty() && runs.back().last + 1 == u.start && runs.back().note == u.note) {
        runs.back().last = end - 1;
        runs.back().units.push_back(u);
      } else {
        runs.push_back(Run{u.start, end - 1, u.note, {u}});
      }
    }
    i = end;
  }

  for (const Run& run : runs) {
    std::string name, rest;
    if (run.note >= 0) SplitName(notes[std::size_t(run.note)], name, rest);
    // Appended piece by piece: GCC 12 takes "literal" + string for an overlapping copy.
    std::string line = Address(run.first);
    if (run.units.size() > 1) line.append("-").append(Address(run.last));
    if (!name.empty()) line.append(" ").append(name);
    std::string before, after;
    for (const Unit& u : run.units) {
      if (!before.empty()) before += ' ';
      before += std::to_string(Value(a, u));
      if (!after.empty()) after += ' ';
      after += std::to_string(Value(b, u));
    }
    line.append(" ").append(before).append(" → ").append(after);
    if (!rest.empty()) line.append(" (").append(rest).append(")");
    result.lines.push_back(std::move(line));
  }
  if (a.size() != b.size()) {
    const bool longerA = a.size() > b.size();
    const std::size_t n = (longerA ? a.size() : b.size()) - common;
    std::string line = Address(common);
    if (n > 1) line += "-" + Address(common + n - 1);
    line += " only in " + (longerA ? nameA : nameB) + " (" + std::to_string(n) +
            (n == 1 ? " byte)" : " bytes)");
    result.lines.push_back(std::move(line));
  }
  result.equal = result.lines.empty();
  return result;
}

}  // namespace kvt
