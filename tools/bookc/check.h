// "bookc check": everything a book author can get wrong that the viewer only
// shows at run time, one window at a time. The book is read as the viewer
// reads it: the same archive reader, the same settings reader, the same path
// matching as the page server.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <set>
#include <span>
#include <string>
#include <vector>

enum class TFindingLevel { Error, Warning, Info };

struct TFinding {
  std::string File;  // as shown to the author: a path in the folder, or an entry name
  int Line = 0;      // 1-based; 0 when the finding has no line
  TFindingLevel Level = TFindingLevel::Error;
  std::string Text;
  // What kind of finding it is, one word for programs ("link-missing",
  // "icon", ...), and what it is about where many findings can be about one
  // thing (the book path a missing link names, the web site a link leads
  // to); findings of one Code and Subject are summarised together. Without
  // a Subject, findings are summarised with those of the same Text.
  std::string Code;
  std::string Subject;
};

// The file shown for entry index (named name, Windows-1252) of the block.
using TEntryFileName = std::function<std::string(int index, const std::string& name)>;

// What the check knows of a book folder beyond its archive.
struct TCheckNotes {
  // ConfigKeyId of the config.ini values whose file reference failed: that
  // failure is reported already, their empty values are not.
  std::set<std::string> UnresolvedKeys;
  // Upper-cased request paths ("/ART/ICON.ICO") of the folder's files that
  // config.ini names, which are therefore not in the book.
  std::set<std::string> LeftOutPaths;
  // The book is sealed, or is being packed sealed: its [users] are no
  // passwords anyone can read from the file.
  bool Sealed = false;
};

// Every finding about the archive block of a book.
std::vector<TFinding> CheckBookBlock(std::span<const uint8_t> block, const TEntryFileName& fileOf,
                                     const TCheckNotes& notes = {});

// The findings of a book folder: its file names and config.ini's file
// references, then its content packed the way "bookc pack" packs it.
std::vector<TFinding> CheckBookFolder(const std::string& folder);

// A book folder packed at zlib level (0..9) and checked, for a book that is
// used even when something is wrong with it (a live preview): files that
// cannot be stored are left out and file references that cannot be used
// stay empty, each with its finding. Fails with Exception when the folder or
// its config.ini cannot be read.
struct TCheckedBook {
  std::vector<uint8_t> Block;
  std::vector<TFinding> Findings;
};
TCheckedBook PackAndCheckBookFolder(const std::string& folder, int level);

struct TReportOptions {
  // Every finding on a line of its own; otherwise repeated findings are
  // summarised after their first few, and links to web sites per site.
  bool Verbose = false;
  // One JSON document with every finding instead of text.
  bool Json = false;
  // Text ends with the summary line "<Program>: BOOK: 1 error, ...".
  bool Summary = true;
  std::string Program = "bookc";
};

// Text: errors, then warnings, then information, each in the order of the
// files and lines, as "<file>:<line>: error: <text>" (":<line>" only where
// there is one); then one summary line. Returns the number of errors.
int WriteFindings(std::vector<TFinding> findings, const std::string& book, std::ostream& out,
                  const TReportOptions& options = {});
// "1 error, 2 warnings, 0 info".
std::string FindingCounts(const std::vector<TFinding>& findings);

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
  std::string Site;  // kWeb: the host name in lower case, or the scheme ("ftp:")
};
// about is true for the about text, where "http://ebook_host/" stands for the
// book's own server.
TLinkTarget ResolveLink(std::string_view pagePath, std::string_view link, bool about = false);
