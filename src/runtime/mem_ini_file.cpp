#include "runtime/mem_ini_file.h"

#include <algorithm>

#include "runtime/ansi.h"
#include "runtime/conversions.h"
#include "runtime/streams.h"

namespace {

std::string_view Trim(std::string_view text) {
  size_t first = 0;
  while (first < text.size() && static_cast<uint8_t>(text[first]) <= ' ') ++first;
  size_t last = text.size();
  while (last > first && static_cast<uint8_t>(text[last - 1]) <= ' ') --last;
  return text.substr(first, last - first);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

size_t HexToBin(std::string_view text, uint8_t* out, size_t count) {
  size_t made = 0;
  while (made < count && 2 * made + 1 < text.size()) {
    const int high = HexDigit(text[2 * made]);
    const int low = HexDigit(text[2 * made + 1]);
    if (high < 0 || low < 0) break;
    out[made++] = static_cast<uint8_t>(high << 4 | low);
  }
  return made;
}

int32_t TCustomIniFile::ReadInteger(std::string_view section, std::string_view ident,
                                    int32_t defaultValue) const {
  const std::string text = ReadString(section, ident, "");
  return StrToIntDef(text, defaultValue);
}

int64_t TCustomIniFile::ReadBinaryStream(std::string_view section, std::string_view ident,
                                         TStream& value) const {
  const std::string text = ReadString(section, ident, "");
  const size_t count = text.size() / 2;
  if (count == 0) return 0;
  std::vector<uint8_t> bytes(count, 0);
  HexToBin(text, bytes.data(), count);
  const int64_t position = value.Position();
  value.WriteBuffer(bytes.data(), static_cast<int64_t>(count));
  value.SetPosition(position);
  return static_cast<int64_t>(count);
}

void TMemIniFile::SetStrings(const TStringList& lines) {
  sections_.clear();
  TSection* current = nullptr;
  int lineNumber = 0;
  for (const std::string& raw : lines) {
    ++lineNumber;
    const std::string_view line = Trim(raw);
    if (line.empty() || line.front() == ';') continue;
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      const std::string_view name = Trim(line.substr(1, line.size() - 2));
      const std::string upper = AnsiUpperCase(name);
      // A repeated section starts afresh: only its last occurrence is read.
      sections_.erase(std::remove_if(sections_.begin(), sections_.end(),
                                     [&](const TSection& s) { return s.UpperName == upper; }),
                      sections_.end());
      sections_.push_back(TSection{std::string(name), upper, {}, lineNumber, {}});
      current = &sections_.back();
      continue;
    }
    if (current == nullptr) continue;
    current->LineNumbers.push_back(lineNumber);
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      current->Lines.Add(std::string(line));
    } else {
      std::string stored(Trim(line.substr(0, eq)));
      stored += '=';
      stored += Trim(line.substr(eq + 1));
      current->Lines.Add(std::move(stored));
    }
  }
}

const TMemIniFile::TSection* TMemIniFile::FindSection(std::string_view section) const {
  const std::string upper = AnsiUpperCase(section);
  for (const TSection& s : sections_)
    if (s.UpperName == upper) return &s;
  return nullptr;
}

int TMemIniFile::FindKey(const TSection& section, std::string_view ident) {
  const std::string upper = AnsiUpperCase(ident);
  for (int i = section.Lines.Count() - 1; i >= 0; --i) {
    const std::string& line = section.Lines[i];
    const size_t eq = line.find('=');
    if (eq == upper.size() && AnsiUpperCase(std::string_view(line).substr(0, eq)) == upper) return i;
  }
  return -1;
}

std::string TMemIniFile::ReadString(std::string_view section, std::string_view ident,
                                    std::string_view defaultValue) const {
  const TSection* s = FindSection(section);
  if (s == nullptr) return std::string(defaultValue);
  const int index = FindKey(*s, ident);
  if (index < 0) return std::string(defaultValue);
  return s->Lines.ValueFromIndex(index);
}

bool TMemIniFile::SectionExists(std::string_view section) const { return FindSection(section) != nullptr; }

bool TMemIniFile::ValueExists(std::string_view section, std::string_view ident) const {
  const TSection* s = FindSection(section);
  return s != nullptr && FindKey(*s, ident) >= 0;
}

void TMemIniFile::ReadSectionValues(std::string_view section, TStringList& lines) const {
  lines.Clear();
  if (const TSection* s = FindSection(section)) lines.Assign(s->Lines);
}

int TMemIniFile::SectionLine(std::string_view section) const {
  const TSection* s = FindSection(section);
  return s != nullptr ? s->HeaderLine : 0;
}

int TMemIniFile::KeyLine(std::string_view section, std::string_view ident) const {
  const TSection* s = FindSection(section);
  if (s == nullptr) return 0;
  const int index = FindKey(*s, ident);
  return index < 0 ? 0 : s->LineNumbers[static_cast<size_t>(index)];
}

std::vector<int> TMemIniFile::SectionLineNumbers(std::string_view section) const {
  const TSection* s = FindSection(section);
  return s != nullptr ? s->LineNumbers : std::vector<int>();
}
