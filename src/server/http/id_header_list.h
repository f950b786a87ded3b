// HTTP header lines "Name: value" in their order. A line that starts with a
// space or a tab continues the previous line's value.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class TIdHeaderList {
 public:
  // Lines set through SetValues that are longer than this are folded into
  // continuation lines at blanks; 0 turns folding off.
  size_t FoldLength = 1024;

  int Count() const { return static_cast<int>(lines_.size()); }
  const std::string& operator[](int index) const { return lines_.at(static_cast<size_t>(index)); }
  auto begin() const { return lines_.begin(); }
  auto end() const { return lines_.end(); }

  // Appends a raw line as received (no folding).
  void Add(std::string line) { lines_.push_back(std::move(line)); }
  void Clear() { lines_.clear(); }

  // Index of the first line whose name equals name, letter case ignored
  // (ASCII); -1 if none. Continuation lines have no name.
  int IndexOfName(std::string_view name) const;
  // The value of the first line named name, with its continuation lines
  // joined by one space each; empty when there is no such line.
  std::string Values(std::string_view name) const;
  // Replaces the first line named name (with its continuation lines) in
  // place, or appends one; an empty value deletes that line.
  void SetValues(std::string_view name, std::string_view value);

  // Every line followed by CR LF.
  std::string Text() const;

 private:
  // Number of continuation lines after the line at index.
  size_t ContinuationCount(size_t index) const;
  std::vector<std::string> FoldedLines(std::string line) const;

  std::vector<std::string> lines_;
};
