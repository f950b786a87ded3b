#include "server/http/id_header_list.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// The name of a header line: the text before its first ":", without blanks
// around it. Continuation lines and lines without ":" have none.
bool LineName(std::string_view line, std::string_view& name) {
  if (line.empty() || IsBlank(line.front())) return false;
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  name = Trim(line.substr(0, colon));
  return true;
}

}  // namespace

int TIdHeaderList::IndexOfName(std::string_view name) const {
  for (size_t i = 0; i < lines_.size(); ++i) {
    std::string_view lineName;
    if (LineName(lines_[i], lineName) && SameTextAscii(lineName, name)) return static_cast<int>(i);
  }
  return -1;
}

size_t TIdHeaderList::ContinuationCount(size_t index) const {
  size_t count = 0;
  while (index + 1 + count < lines_.size()) {
    const std::string& next = lines_[index + 1 + count];
    if (next.empty() || !IsBlank(next.front())) break;
    ++count;
  }
  return count;
}

std::string TIdHeaderList::Values(std::string_view name) const {
  const int index = IndexOfName(name);
  if (index < 0) return {};
  const std::string& line = lines_[static_cast<size_t>(index)];
  std::string value(Trim(std::string_view(line).substr(line.find(':') + 1)));
  const size_t continuations = ContinuationCount(static_cast<size_t>(index));
  for (size_t i = 1; i <= continuations; ++i) {
    const std::string_view part = Trim(lines_[static_cast<size_t>(index) + i]);
    if (part.empty()) continue;
    if (!value.empty()) value += ' ';
    value += part;
  }
  return value;
}

std::vector<std::string> TIdHeaderList::FoldedLines(std::string line) const {
  std::vector<std::string> result;
  // Never fold inside the name or at the blank after ": ": the first part
  // must keep some of the value, or reading it back would change the value.
  const size_t valueStart = line.find(':') + 2;
  size_t firstBreak = valueStart + 1;
  while (FoldLength > 0 && line.size() > FoldLength) {
    // The last blank that keeps the current part within FoldLength; the
    // blank starts the continuation line, which is what marks it as one.
    size_t at = std::string::npos;
    for (size_t i = FoldLength; i >= firstBreak && i > 0; --i) {
      if (IsBlank(line[i])) {
        at = i;
        break;
      }
    }
    if (at == std::string::npos) break;  // no blank to fold at: keep the line whole
    result.push_back(line.substr(0, at));
    line.erase(0, at);
    firstBreak = 1;
  }
  result.push_back(std::move(line));
  return result;
}

void TIdHeaderList::SetValues(std::string_view name, std::string_view value) {
  const int found = IndexOfName(name);
  auto at = lines_.end();
  if (found >= 0) {
    const auto first = lines_.begin() + found;
    at = lines_.erase(first, first + 1 + static_cast<std::ptrdiff_t>(ContinuationCount(static_cast<size_t>(found))));
  }
  if (value.empty()) return;
  std::vector<std::string> folded = FoldedLines(std::string(name) + ": " + std::string(value));
  lines_.insert(at, folded.begin(), folded.end());
}

std::string TIdHeaderList::Text() const {
  std::string text;
  for (const std::string& line : lines_) {
    text += line;
    text += "\r\n";
  }
  return text;
}
