#include "archive/string_routines.h"

TParamRec SplitParam(std::string_view text) {
  const size_t eq = text.find('=');
  if (eq == std::string_view::npos) return {std::string(), std::string(text)};
  return {std::string(text.substr(0, eq)), std::string(text.substr(eq + 1))};
}

std::string CopyLeft(std::string_view s, int n) {
  if (n <= 0) return {};
  return std::string(s.substr(0, static_cast<size_t>(n)));
}

std::string CopyAfter(std::string_view s, int n) {
  if (n <= 0) return std::string(s);
  if (static_cast<size_t>(n) >= s.size()) return {};
  return std::string(s.substr(static_cast<size_t>(n)));
}

std::string LeftOfChar(std::string_view s, char ch) {
  const size_t at = s.find(ch);
  return at == std::string_view::npos ? std::string() : std::string(s.substr(0, at));
}

std::string RightOfChar(std::string_view s, char ch) {
  const size_t at = s.find(ch);
  return at == std::string_view::npos ? std::string() : std::string(s.substr(at + 1));
}

std::string StripLeadingChar(std::string_view s, char ch) {
  const size_t first = s.find_first_not_of(ch);
  return first == std::string_view::npos ? std::string() : std::string(s.substr(first));
}

std::string StripTrailingChar(std::string_view s, char ch) {
  const size_t last = s.find_last_not_of(ch);
  return last == std::string_view::npos ? std::string() : std::string(s.substr(0, last + 1));
}

std::string StripChar(std::string_view s, char ch) { return StripTrailingChar(StripLeadingChar(s, ch), ch); }

std::string ReplaceChar(std::string_view s, char from, char to) {
  std::string result(s);
  if (from == to) return result;
  for (char& c : result)
    if (c == from) c = to;
  return result;
}
