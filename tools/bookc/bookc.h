// The book compiler: turns a folder of pages, pictures and a "config.ini"
// into an archive block, and looks into archives and e-books.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "tools/bookc/check.h"
#include "tools/common/book_image.h"

struct TPackOptions {
  int Level = 9;
  // Seal the book (archive/book_seal.h): only readers with a password of
  // its [users] can open it.
  bool Seal = false;
  // Called with (files done, files in all, bytes done, bytes in all) while
  // packing; may be empty.
  std::function<void(size_t, size_t, uint64_t, uint64_t)> Progress;
};

// The files of a book folder, as they go into its archive.
struct TBookFolderFile {
  std::string Name;  // Windows-1252, "/" separators
  std::filesystem::path Path;
  uint64_t Size = 0;
};
struct TRefusedFile {
  std::filesystem::path Path;
  std::string Message;  // names the file
  std::string Reason;   // the same without the file's name
};
struct TBookFolder {
  std::filesystem::path Root;
  std::filesystem::path Config;          // empty when the folder has no "config.ini"
  std::vector<TBookFolderFile> Files;    // every other file, in byte order of Name
  std::vector<TRefusedFile> Refused;     // files that cannot go into a book
  // "config.ini" as it goes into the book: every file reference ("@path",
  // "@default") replaced by its hex form (config_refs.h). The files it
  // names are not among Files.
  std::vector<uint8_t> ConfigText;
  // References that cannot be used, one error each; pack and exe write
  // nothing while there are any.
  std::vector<TFinding> ReferenceProblems;
  TCheckNotes Notes;
};
// Fails with Exception when folder is not a readable folder or its
// "config.ini" cannot be read.
TBookFolder ReadBookFolder(const std::string& folder);
// The file shown to the author for entry index of the block packed from
// folder.
std::string FolderEntryFile(const TBookFolder& folder, int index);

// The archive block of a book folder: "config.ini" (empty when the folder has
// none) at index 0, the generated "book.lst" at index 1, then every other file
// in byte order of its path, named by that path with "/" separators in
// Windows-1252. Fails with Exception naming the file for names that do not
// fit.
std::vector<uint8_t> PackBookFolder(const std::string& folder, const TPackOptions& options);
// The same for a folder already read; fails with the first refused file.
std::vector<uint8_t> PackBookFolder(const TBookFolder& folder, const TPackOptions& options);

// File names on the command line and in messages are UTF-8.
std::filesystem::path PathFromUtf8(const std::string& name);
std::string Utf8Of(const std::filesystem::path& path);

// The commands; each returns the process exit status and writes its results to
// out and its complaints to err.
// bookc new DIR [--title TITLE]: a complete starting book in a new or empty
// folder.
int CommandNew(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// pack and exe check the book first and print the findings on err; with
// --strict an error stops them before anything is written, as does a file
// reference of config.ini that cannot be used.
int CommandPack(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// bookc exe BOOKDIR OUT.exe [--host PATH] [--dll PATH] [--sign CERT.pfx
// [--sign-password-file F] [--timestamp URL]]: the e-book program (host,
// archive block, trailer) and the viewer library copied beside it; signed
// with Authenticode when asked (sign.h).
int CommandExe(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// How the commands that read a sealed book's content get a reader's
// password: --password PW, --password-file FILE (its first line), and
// --user NAME to try that reader alone (otherwise every reader is tried).
struct TPasswordOptions {
  bool Given = false;
  std::string Password;  // UTF-8, as given
  std::string User;      // empty: every reader
};
// Takes the password options out of args. Returns false (with the usage
// problem written to err) when one is malformed or the file cannot be read.
bool TakePasswordOptions(std::vector<std::string>& args, TPasswordOptions& options, std::ostream& err);

// A book file opened for the commands that read its content: for a sealed
// book, the block as it was before sealing (without the readers'
// passwords), opened with the password given.
struct TOpenedBook {
  TBookImage Image;
  bool Sealed = false;
  std::string Reader;               // whose password opened a sealed book
  std::vector<uint8_t> Unsealed;    // a sealed book's block, unsealed
  std::span<const uint8_t> Block() const { return Sealed ? std::span<const uint8_t>(Unsealed) : Image.Block; }
};
// Fails with Exception for a sealed book when no password is given or the
// password opens no reader (never with anything read from the book).
TOpenedBook OpenBookFile(const std::string& fileName, const TPasswordOptions& password);

// bookc list BOOK: every entry; a sealed book's sealed entries are listed
// with their stored size, and its readers by name.
int CommandList(const std::string& book, std::ostream& out, std::ostream& err);
// bookc extract BOOK DESTDIR [password options]
int CommandExtract(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int CommandHex(const std::string& file, std::ostream& out, std::ostream& err);
// bookc check BOOKDIR|BOOK [--verbose] [--format text|json] [password
// options]: the findings on out; status 1 when one is an error.
int CommandCheck(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// bookc settings BOOK [password options]
int CommandSettings(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Runs a whole command line (args without the program name).
int RunBookc(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
