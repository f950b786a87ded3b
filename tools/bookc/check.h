// "bookc check": everything a book author can get wrong that the viewer only
// shows at run time, one window at a time. The book is read as the viewer
// reads it: the same archive reader, the same settings reader, the same path
// matching as the page server.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

enum class TFindingLevel { Error, Warning, Info };

struct TFinding {
  std::string File;  // as shown to the author: a path in the folder, or an entry name
  int Line = 0;      // 1-based; 0 when the finding has no line
  TFindingLevel Level = TFindingLevel::Error;
  std::string Text;
};

// The file shown for entry index (named name, Windows-1252) of the block.
using TEntryFileName = std::function<std::string(int index, const std::string& name)>;

// Every finding about the archive block of a book.
std::vector<TFinding> CheckBookBlock(std::span<const uint8_t> block, const TEntryFileName& fileOf);

// The findings of a book folder: its file names, then its content packed the
// way "bookc pack" packs it.
std::vector<TFinding> CheckBookFolder(const std::string& folder);

// "<file>:<line>: error: <text>" per finding (":<line>" only where there is
// one), in the order of the files and lines, then one summary line. Returns
// the number of errors.
int WriteFindings(std::vector<TFinding> findings, const std::string& book, std::ostream& out);

// Why a stream is not what the viewer loads as a bitmap file or an icon
// file: the viewer's own message, then what is wrong in parentheses; empty
// when the viewer loads it.
std::string BitmapFileProblem(std::span<const uint8_t> bytes);
std::string IconFileProblem(std::span<const uint8_t> bytes);

// The request path the page server matches for link, written in a page whose
// request path is pagePath ("/chapters/tides.htm").
struct TLinkTarget {
  enum TKind {
    kNone,        // nothing to check: a fragment, mailto:, javascript:, ...
    kBook,        // a path the server answers from the archive or generates
    kAboveRoot,   // a book path with more ".." than folders
    kWeb,         // another web site
    kLocalFile,   // a file on the author's computer (file:, a drive letter)
    kFixedPort,   // the viewer's own server at a port written into the page
  };
  TKind Kind = kNone;
  std::string Path;  // kBook, kAboveRoot: the decoded request path, "/" first
};
// about is true for the about text, where "http://ebook_host/" stands for the
// book's own server.
TLinkTarget ResolveLink(std::string_view pagePath, std::string_view link, bool about = false);
