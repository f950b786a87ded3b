// The book compiler: turns a folder of pages, pictures and a "config.ini"
// into an archive block, and looks into archives and e-books.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

struct TPackOptions {
  int Level = 9;
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
};
// Fails with Exception when folder is not a readable folder.
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
// pack and exe check the book first and print the findings on err; with
// --strict an error stops them before anything is written.
int CommandPack(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// bookc exe BOOKDIR OUT.exe [--host PATH] [--dll PATH]: the e-book program
// (host, archive block, trailer) and the viewer library copied beside it.
int CommandExe(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int CommandList(const std::string& book, std::ostream& out, std::ostream& err);
int CommandExtract(const std::string& book, const std::string& destination, std::ostream& out, std::ostream& err);
int CommandHex(const std::string& file, std::ostream& out, std::ostream& err);
// bookc check BOOKDIR|BOOK: the findings on out; status 1 when one is an
// error.
int CommandCheck(const std::string& book, std::ostream& out, std::ostream& err);
int CommandSettings(const std::string& book, std::ostream& out, std::ostream& err);

// Runs a whole command line (args without the program name).
int RunBookc(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
