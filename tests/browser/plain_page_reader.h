// One page read the way the plain browser reads it, for plain_page_text:
// natively through the portable stages with the fixed-pitch measurer,
// under Windows by the plain browser itself in a window.
#pragma once

#include <string>
#include <vector>

struct TPictureSpot {
  std::wstring Url;
  int X = 0;
  int Y = 0;
  int Width = 0;
  int Height = 0;
};

struct TPageReading {
  std::wstring Url;    // after redirects
  std::wstring Title;
  unsigned CodePage = 0;
  std::wstring Text;
  std::vector<TPictureSpot> Pictures;  // drawn
  int Height = 0;
  double Milliseconds = 0;
  // Under Windows: the page painted and checked against its layout.
  bool PaintChecked = false;
  std::vector<std::string> PaintProblems;
};

// Prepares the reader (the window under Windows) for pages width pixels wide.
void StartReader(int width);
TPageReading ReadPlainPage(const std::wstring& url, int width);
