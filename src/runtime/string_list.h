// An ordered list of byte-string lines, with "Name=Value" access.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class TStream;

class TStringList {
 public:
  int Count() const { return static_cast<int>(lines_.size()); }
  const std::string& operator[](int index) const { return lines_.at(static_cast<size_t>(index)); }
  std::string& operator[](int index) { return lines_.at(static_cast<size_t>(index)); }
  auto begin() const { return lines_.begin(); }
  auto end() const { return lines_.end(); }

  void Add(std::string line) { lines_.push_back(std::move(line)); }
  void Clear() { lines_.clear(); }
  void Delete(int index) { lines_.erase(lines_.begin() + index); }
  void Assign(const TStringList& other) { lines_ = other.lines_; }

  // Splits text into lines: a line ends at CR LF, LF or CR, a NUL byte ends
  // the whole text, and a last line without a line break still counts.
  void SetText(std::string_view text);
  // Every line followed by CR LF.
  std::string Text() const;
  // Replaces the lines with the text from the stream's current position to
  // its end.
  void LoadFromStream(TStream& stream);

  // The text before the first "=" of line index (empty without "=").
  std::string Names(int index) const;
  // The text after the first "=" of line index.
  std::string ValueFromIndex(int index) const;
  // First line whose name equals name, letter case ignored (ANSI); -1 if none.
  int IndexOfName(std::string_view name) const;
  std::string Values(std::string_view name) const;

 private:
  std::vector<std::string> lines_;
};
