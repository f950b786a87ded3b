#include "runtime/string_list.h"

#include <cstring>

#include "runtime/ansi.h"
#include "runtime/streams.h"

void TStringList::SetText(std::string_view text) {
  lines_.clear();
  const size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = start;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    lines_.emplace_back(text.substr(start, end - start));
    if (end < text.size()) {
      const bool crlf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
      end += crlf ? 2 : 1;
    }
    start = end;
  }
}

std::string TStringList::Text() const {
  std::string result;
  for (const auto& line : lines_) {
    result += line;
    result += "\r\n";
  }
  return result;
}

void TStringList::LoadFromStream(TStream& stream) {
  const int64_t left = stream.Size() - stream.Position();
  std::string text(static_cast<size_t>(left > 0 ? left : 0), '\0');
  if (left > 0) stream.ReadBuffer(text.data(), left);
  SetText(text);
}

std::string TStringList::Names(int index) const {
  const std::string& line = (*this)[index];
  const size_t eq = line.find('=');
  return eq == std::string::npos ? std::string() : line.substr(0, eq);
}

std::string TStringList::ValueFromIndex(int index) const {
  const std::string& line = (*this)[index];
  const size_t eq = line.find('=');
  return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

int TStringList::IndexOfName(std::string_view name) const {
  const std::string wanted = AnsiUpperCase(name);
  for (int i = 0; i < Count(); ++i) {
    const std::string& line = lines_[static_cast<size_t>(i)];
    const size_t eq = line.find('=');
    if (eq != std::string::npos && eq == wanted.size() && AnsiUpperCase(std::string_view(line).substr(0, eq)) == wanted)
      return i;
  }
  return -1;
}

std::string TStringList::Values(std::string_view name) const {
  const int index = IndexOfName(name);
  return index < 0 ? std::string() : ValueFromIndex(index);
}
