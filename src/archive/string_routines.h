// Small byte-string routines used on settings values. Positions count single
// bytes.
#pragma once

#include <string>
#include <string_view>

struct TParamRec {
  std::string Name;
  std::string Value;
};

// Splits at the first "=": Name before it, Value after it. Without "=" the
// Name is empty and the Value is the whole text.
TParamRec SplitParam(std::string_view text);

std::string CopyLeft(std::string_view s, int n);
std::string CopyAfter(std::string_view s, int n);
std::string LeftOfChar(std::string_view s, char ch);
std::string RightOfChar(std::string_view s, char ch);
std::string StripLeadingChar(std::string_view s, char ch);
std::string StripTrailingChar(std::string_view s, char ch);
std::string StripChar(std::string_view s, char ch);
std::string ReplaceChar(std::string_view s, char from, char to);
