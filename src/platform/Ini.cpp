#include "platform/Ini.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <mutex>
#include <optional>
#include <system_error>
#include <unordered_map>
#include <utility>

#include "platform/Codepage.h"
#include "platform/Files.h"

namespace platform {

namespace {

// A settings file is a few kilobytes; anything this large is not one, and reading it whole for
// every single value would stall the program.
constexpr std::size_t kMaxIniBytes = 16u << 20;
constexpr std::string_view kBom = "\xEF\xBB\xBF";

// Profile access is read-modify-write of the whole file; one lock keeps two threads writing the
// same file from losing each other's change.
std::mutex& IniMutex() {
  static std::mutex m;
  return m;
}

std::atomic<std::uint64_t> filesWritten{0};

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// Case folding for name comparison: ASCII and Cyrillic (А-Я, Ё and the other letters of the
// Cyrillic block that windows-1251 holds). Input is UTF-8; broken bytes are kept as they are.
std::string Fold(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c >= 'A' && c <= 'Z') {
      out += static_cast<char>(c + 32);
    } else if ((c == 0xD0) && i + 1 < s.size()) {
      const auto d = static_cast<unsigned char>(s[i + 1]);
      ++i;
      if (d >= 0x90 && d <= 0x9F) {  // U+0410..U+041F -> U+0430..U+043F
        out += '\xD0';
        out += static_cast<char>(d + 0x20);
      } else if (d >= 0xA0 && d <= 0xAF) {  // U+0420..U+042F -> U+0440..U+044F
        out += '\xD1';
        out += static_cast<char>(d - 0x20);
      } else if (d >= 0x80 && d <= 0x8F) {  // U+0400..U+040F -> U+0450..U+045F
        out += '\xD1';
        out += static_cast<char>(d + 0x10);
      } else {
        out += '\xD0';
        out += static_cast<char>(d);
      }
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

enum class Kind { Blank, Comment, Section, Key, Other };

struct Line {
  std::size_t begin = 0;       // first byte of the line
  std::size_t contentEnd = 0;  // before the line end ("\r\n" or "\n")
  std::size_t end = 0;         // after the line end
  Kind kind = Kind::Blank;
  std::size_t nameBegin = 0, nameEnd = 0;  // section or key name (raw, trimmed)
  std::size_t eq = 0;                      // position of '=' for keys
};

struct Document {
  bool exists = false;
  bool utf8 = false;
  std::size_t bodyStart = 0;  // after a byte-order mark
  std::string raw;
  std::vector<Line> lines;

  std::string Decode(std::string_view bytes) const {
    return utf8 ? std::string(bytes) : Cp1251ToUtf8(bytes);
  }
  std::string Encode(std::string_view text) const {
    return utf8 ? std::string(text) : Utf8ToCp1251(text);
  }
  std::string_view Raw(std::size_t b, std::size_t e) const {
    return std::string_view(raw).substr(b, e - b);
  }
  std::string Name(const Line& l) const { return Decode(Raw(l.nameBegin, l.nameEnd)); }
  // Like the Windows profile functions, a value wholly enclosed in single or double quotation
  // marks is given without them.
  std::string Value(const Line& l) const {
    std::string_view v = Trim(Raw(l.eq + 1, l.contentEnd));
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
      v = v.substr(1, v.size() - 2);
    return Decode(v);
  }

  std::string LineEnd() const {
    std::size_t crlf = 0, lf = 0;
    for (const auto& l : lines) {
      if (l.end == l.contentEnd) continue;
      if (l.end - l.contentEnd == 2)
        ++crlf;
      else
        ++lf;
    }
    return crlf >= lf ? "\r\n" : "\n";
  }
};

void Classify(const std::string& raw, Line& l) {
  std::size_t p = l.begin;
  while (p < l.contentEnd && IsBlank(raw[p])) ++p;
  if (p == l.contentEnd || (p + 1 == l.contentEnd && raw[p] == '\r')) {
    l.kind = Kind::Blank;
    return;
  }
  if (raw[p] == ';') {
    l.kind = Kind::Comment;
    return;
  }
  if (raw[p] == '[') {
    l.kind = Kind::Section;
    std::size_t close = raw.find(']', p + 1);
    if (close == std::string::npos || close > l.contentEnd) close = l.contentEnd;
    std::string_view name = Trim(std::string_view(raw).substr(p + 1, close - p - 1));
    l.nameBegin = static_cast<std::size_t>(name.data() - raw.data());
    l.nameEnd = l.nameBegin + name.size();
    return;
  }
  std::size_t eq = raw.find('=', p);
  if (eq == std::string::npos || eq >= l.contentEnd) {
    l.kind = Kind::Other;
    return;
  }
  l.kind = Kind::Key;
  l.eq = eq;
  std::string_view name = Trim(std::string_view(raw).substr(p, eq - p));
  l.nameBegin = static_cast<std::size_t>(name.data() - raw.data());
  l.nameEnd = l.nameBegin + name.size();
}

// Reads and splits the file. nullopt when it exists but cannot be used (unreadable or too big).
std::optional<Document> Load(const std::filesystem::path& path) {
  Document doc;
  std::error_code ec;
  const bool present = std::filesystem::exists(path, ec);
  if (present) {
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || size > kMaxIniBytes) return std::nullopt;
    auto text = ReadTextFile(path);
    if (!text) return std::nullopt;
    doc.raw = std::move(*text);
    if (doc.raw.size() > kMaxIniBytes) return std::nullopt;
    doc.exists = true;
  }
  doc.utf8 = LooksLikeUtf8(doc.raw);
  if (doc.raw.compare(0, kBom.size(), kBom) == 0) doc.bodyStart = kBom.size();
  std::size_t pos = doc.bodyStart;
  while (pos < doc.raw.size()) {
    Line l;
    l.begin = pos;
    std::size_t nl = doc.raw.find('\n', pos);
    if (nl == std::string::npos) {
      l.contentEnd = l.end = doc.raw.size();
    } else {
      l.end = nl + 1;
      l.contentEnd = (nl > pos && doc.raw[nl - 1] == '\r') ? nl - 1 : nl;
    }
    Classify(doc.raw, l);
    doc.lines.push_back(l);
    pos = l.end;
  }
  return doc;
}

struct Found {
  std::optional<std::size_t> section;  // index of the section's header line
  std::optional<std::size_t> key;      // index of the key's line
  std::size_t lastEntry = 0;           // last non-blank, non-comment line of the section
};

Found Find(const Document& doc, const std::string& section, const std::string* key) {
  Found f;
  const std::string wantSection = Fold(section);
  const std::string wantKey = key ? Fold(*key) : std::string();
  for (std::size_t i = 0; i < doc.lines.size(); ++i) {
    const Line& l = doc.lines[i];
    if (!f.section) {
      if (l.kind == Kind::Section && Fold(doc.Name(l)) == wantSection) {
        f.section = i;
        f.lastEntry = i;
      }
      continue;
    }
    if (l.kind == Kind::Section) break;  // the first matching section alone counts
    if (l.kind == Kind::Key || l.kind == Kind::Other) f.lastEntry = i;
    if (key && !f.key && l.kind == Kind::Key && Fold(doc.Name(l)) == wantKey) {
      f.key = i;
      break;
    }
  }
  return f;
}

std::optional<std::string> Lookup(const std::filesystem::path& path, const std::string& section,
                                  const std::string& key) {
  auto doc = Load(path);
  if (!doc) return std::nullopt;
  Found f = Find(*doc, section, &key);
  if (!f.key) return std::nullopt;
  return doc->Value(doc->lines[*f.key]);
}

bool ValidName(std::string_view name) {
  return name.find_first_of("\r\n") == std::string_view::npos && !name.empty();
}

// The file held for a batch of writes: lines grouped by section, so a write touches only its
// section's lines and finds the section without walking the whole file.
struct EditLine {
  std::string text;  // without its line end
  std::string eol;   // "\r\n", "\n" or "" (last line without one)
  Kind kind = Kind::Blank;
  std::string fold;            // folded name of a key
  std::size_t valueBegin = 0;  // where a key's value starts in text
};

struct EditSection {
  EditLine header;
  std::vector<EditLine> lines;
};

class EditModel {
 public:
  explicit EditModel(const Document& doc) : utf8_(doc.utf8), eol_(doc.LineEnd()) {
    bom_ = doc.raw.substr(0, doc.bodyStart);
    for (const Line& l : doc.lines) {
      EditLine e;
      e.text = doc.raw.substr(l.begin, l.contentEnd - l.begin);
      e.eol = doc.raw.substr(l.contentEnd, l.end - l.contentEnd);
      e.kind = l.kind;
      if (l.kind == Kind::Key) {
        e.fold = Fold(doc.Name(l));
        std::size_t v = l.eq + 1;
        while (v < l.contentEnd && IsBlank(doc.raw[v])) ++v;
        e.valueBegin = v - l.begin;
      }
      if (l.kind == Kind::Section) {
        // The first section of a name is the one every access uses.
        index_.emplace(Fold(doc.Name(l)), sections_.size());
        sections_.push_back({std::move(e), {}});
      } else if (sections_.empty()) {
        preamble_.push_back(std::move(e));
      } else {
        sections_.back().lines.push_back(std::move(e));
      }
    }
  }

  void Write(const std::string& section, const std::string& key, const std::string& value) {
    const std::string encodedKey = Encode(key);
    const std::string entry = encodedKey + "=" + Encode(value);
    // Names compare as a later read will see them: decoded from the file's bytes.
    const std::string keyFold = Fold(Decode(encodedKey));
    const std::string encodedSection = Encode(section);
    const auto found = index_.find(Fold(Decode(encodedSection)));
    if (found == index_.end()) {
      if (EditLine* last = LastLine(); last && last->eol.empty()) last->eol = eol_;
      EditSection s;
      s.header.text = "[" + encodedSection + "]";
      s.header.eol = eol_;
      s.header.kind = Kind::Section;
      s.lines.push_back(KeyLine(entry, encodedKey.size() + 1, keyFold, eol_));
      index_.emplace(Fold(Decode(encodedSection)), sections_.size());
      sections_.push_back(std::move(s));
      return;
    }
    EditSection& s = sections_[found->second];
    EditLine* anchor = &s.header;
    std::size_t insertAt = 0;
    for (std::size_t i = 0; i < s.lines.size(); ++i) {
      EditLine& l = s.lines[i];
      if (l.kind == Kind::Key && l.fold == keyFold) {
        // Keep the line's own "key =" text; replace only the value.
        l.text.resize(l.valueBegin);
        l.text += Encode(value);
        return;
      }
      if (l.kind == Kind::Key || l.kind == Kind::Other) {
        anchor = &l;
        insertAt = i + 1;
      }
    }
    std::string eol = eol_;
    if (anchor->eol.empty()) {  // last line of a file without a final line end
      anchor->eol = eol_;
      eol.clear();
    }
    s.lines.insert(s.lines.begin() + std::ptrdiff_t(insertAt),
                   KeyLine(entry, encodedKey.size() + 1, keyFold, eol));
  }

  std::string Text() const {
    std::string out = bom_;
    auto put = [&](const EditLine& l) {
      out += l.text;
      out += l.eol;
    };
    for (const auto& l : preamble_) put(l);
    for (const auto& s : sections_) {
      put(s.header);
      for (const auto& l : s.lines) put(l);
    }
    return out;
  }

 private:
  std::string Decode(std::string_view bytes) const {
    return utf8_ ? std::string(bytes) : Cp1251ToUtf8(bytes);
  }
  std::string Encode(std::string_view text) const {
    return utf8_ ? std::string(text) : Utf8ToCp1251(text);
  }
  static EditLine KeyLine(const std::string& entry, std::size_t valueBegin, const std::string& fold,
                          const std::string& eol) {
    EditLine l;
    l.text = entry;
    l.eol = eol;
    l.kind = Kind::Key;
    l.fold = fold;
    l.valueBegin = valueBegin;
    return l;
  }
  EditLine* LastLine() {
    if (!sections_.empty()) {
      EditSection& s = sections_.back();
      return s.lines.empty() ? &s.header : &s.lines.back();
    }
    return preamble_.empty() ? nullptr : &preamble_.back();
  }

  bool utf8_ = false;
  std::string eol_;
  std::string bom_;
  std::vector<EditLine> preamble_;
  std::vector<EditSection> sections_;
  std::unordered_map<std::string, std::size_t> index_;
};

}  // namespace

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& def) const {
  std::lock_guard lock(IniMutex());
  auto value = Lookup(path_, section, key);
  return value ? *value : def;
}

int IniFile::ReadInteger(const std::string& section, const std::string& key, int def) const {
  std::optional<std::string> value;
  {
    std::lock_guard lock(IniMutex());
    value = Lookup(path_, section, key);
  }
  if (!value) return def;
  std::string_view s = Trim(*value);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  if (s.empty() || s.front() < '0' || s.front() > '9') return def;
  long long n = 0;
  for (char c : s) {
    if (c < '0' || c > '9') break;
    n = n * 10 + (c - '0');
    if (n > static_cast<long long>(INT_MAX) + 1) n = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) n = -n;
  return static_cast<int>(std::clamp<long long>(n, INT_MIN, INT_MAX));
}

bool IniFile::SectionExists(const std::string& section) const {
  std::lock_guard lock(IniMutex());
  auto doc = Load(path_);
  return doc && Find(*doc, section, nullptr).section.has_value();
}

std::vector<std::string> IniFile::ReadSectionKeys(const std::string& section) const {
  std::lock_guard lock(IniMutex());
  std::vector<std::string> keys;
  auto doc = Load(path_);
  if (!doc) return keys;
  Found f = Find(*doc, section, nullptr);
  if (!f.section) return keys;
  std::vector<std::string> folded;
  for (std::size_t i = *f.section + 1; i < doc->lines.size(); ++i) {
    const Line& l = doc->lines[i];
    if (l.kind == Kind::Section) break;
    if (l.kind != Kind::Key) continue;
    std::string name = doc->Name(l);
    std::string fold = Fold(name);
    if (std::find(folded.begin(), folded.end(), fold) != folded.end()) continue;
    folded.push_back(std::move(fold));
    keys.push_back(std::move(name));
  }
  return keys;
}

bool IniFile::WriteString(const std::string& section, const std::string& key,
                          const std::string& value) {
  IniEdit edit(path_);
  return edit.WriteString(section, key, value) && edit.Commit();
}

bool IniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
  return WriteString(section, key, std::to_string(value));
}

bool IniEdit::WriteString(const std::string& section, const std::string& key,
                          const std::string& value) {
  Change c{std::string(Trim(section)), std::string(Trim(key)), value};
  // Names that would change the file's structure are refused rather than written.
  if (!ValidName(c.section) || c.section.find(']') != std::string::npos || !ValidName(c.key) ||
      c.key.find('=') != std::string::npos || c.key.front() == ';' || c.key.front() == '[') {
    refused_ = true;
    return false;
  }
  // A line break inside a value would split it into another entry.
  std::replace(c.value.begin(), c.value.end(), '\r', ' ');
  std::replace(c.value.begin(), c.value.end(), '\n', ' ');
  changes_.push_back(std::move(c));
  return true;
}

bool IniEdit::WriteInteger(const std::string& section, const std::string& key, int value) {
  return WriteString(section, key, std::to_string(value));
}

bool IniEdit::Commit() {
  std::vector<Change> changes = std::move(changes_);
  changes_.clear();
  const bool refused = std::exchange(refused_, false);
  if (changes.empty()) return !refused;
  std::lock_guard lock(IniMutex());
  const auto doc = Load(path_);
  if (!doc) return false;
  EditModel model(*doc);
  for (const auto& c : changes) model.Write(c.section, c.key, c.value);
  ++filesWritten;
  if (!WriteFileAtomic(path_, model.Text())) return false;
  return !refused;
}

std::uint64_t IniFile::FilesWritten() {
  return filesWritten.load();
}

}  // namespace platform
