#include <algorithm>
#include <filesystem>
#include <iostream>

#include "archive/book_file.h"
#include "archive/book_seal.h"
#include "archive/res_invoker.h"
#include "archive/res_setup.h"
#include "runtime/ansi.h"
#include "runtime/mem_ini_file.h"
#include "runtime/conversions.h"
#include "runtime/process.h"
#include "runtime/scope_exit.h"
#include "runtime/streams.h"
#include "tools/bookc/bookc.h"
#include "tools/bookc/check.h"
#include "tools/bookc/config_refs.h"
#include "tools/bookc/pe_resources.h"
#include "tools/bookc/sign.h"
#include "tools/common/book_image.h"

namespace fs = std::filesystem;

namespace {

std::string GenericUtf8Of(const fs::path& path) {
  const std::u8string text = path.generic_u8string();
  return std::string(text.begin(), text.end());
}

// The archive name of a file, or why it has none.
std::string ArchiveName(const fs::path& relative, std::string& reason) {
  const std::string utf8 = GenericUtf8Of(relative);
  std::string name;
  try {
    name = Utf8ToCp1252(utf8);
  } catch (const Exception& e) {
    reason = Format("its name has no Windows-1252 form (%s)", e.Message.c_str());
    return {};
  }
  if (name.size() > 255) reason = Format("its name is %zu bytes long, at most 255 fit", name.size());
  return name;
}

std::vector<uint8_t> ReadFileBytes(const fs::path& path, std::string_view kind = "file") {
  return ReadWholeFile(Utf8Of(path), kind, kMaxToolFileSize);
}

}  // namespace

fs::path PathFromUtf8(const std::string& name) { return fs::path(std::u8string(name.begin(), name.end())); }

std::string Utf8Of(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

TBookFolder ReadBookFolder(const std::string& folder) {
  TBookFolder result;
  result.Root = PathFromUtf8(folder);
  std::error_code ec;
  if (!fs::is_directory(result.Root, ec))
    throw Exception(Format("\"%s\" is not a folder", folder.c_str()));

  for (auto it = fs::recursive_directory_iterator(result.Root, fs::directory_options::none, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory()) continue;
    // Lexically: a link inside the book is stored under its own name, not
    // under the path of what it points to (which fs::relative would give).
    const fs::path relative = it->path().lexically_relative(result.Root);
    const std::string utf8 = GenericUtf8Of(relative);
    uint64_t size = 0;
    try {
      // Anything else that is not a plain file (a pipe, a device, a broken
      // link) is refused by name rather than silently left out of the book.
      size = RegularFileSize(Utf8Of(it->path()), "file that can be put into a book");
    } catch (const Exception& e) {
      result.Refused.push_back({it->path(), e.Message, e.Message});
      continue;
    }
    std::string reason;
    const std::string name = ArchiveName(relative, reason);
    if (!reason.empty()) {
      result.Refused.push_back({it->path(), Format("Cannot store \"%s\": %s", utf8.c_str(), reason.c_str()),
                                "cannot be put into a book: " + reason});
      continue;
    }
    if (name == "config.ini") {
      result.Config = it->path();
      continue;
    }
    if (name == "book.lst" || name == kSealReadersName || name == kSealSettingsName) {
      const std::string reserved = name == "book.lst"
                                       ? "the name book.lst is reserved for the generated list of files"
                                       : "the name " + name + " is reserved for the seal of sealed books";
      result.Refused.push_back({it->path(), Format("\"%s\": %s", Utf8Of(it->path()).c_str(), reserved.c_str()),
                                reserved});
      continue;
    }
    result.Files.push_back({name, it->path(), size});
  }
  if (ec) throw Exception(Format("Cannot read the folder \"%s\": %s", folder.c_str(), ec.message().c_str()));
  std::sort(result.Files.begin(), result.Files.end(),
            [](const TBookFolderFile& a, const TBookFolderFile& b) { return a.Name < b.Name; });

  if (!result.Config.empty()) {
    const std::vector<uint8_t> config = ReadFileBytes(result.Config);
    TConfigReferences references = ResolveConfigReferences(config, result.Root, Utf8Of(result.Config));
    result.ConfigText = std::move(references.Text);
    result.ReferenceProblems = std::move(references.Problems);
    result.Notes.UnresolvedKeys = std::move(references.UnresolvedKeys);
    // A named file is in config.ini already; a second copy in the book
    // would only be bytes no reader sees. Compared as files, so that a name
    // written in other letter case on Windows still matches.
    for (const fs::path& named : references.Files) {
      std::error_code sizeError;
      const uintmax_t namedSize = fs::file_size(named, sizeError);
      std::erase_if(result.Files, [&](const TBookFolderFile& file) {
        std::error_code sameError;
        if (sizeError || file.Size != namedSize || !fs::equivalent(file.Path, named, sameError)) return false;
        result.Notes.LeftOutPaths.insert(AnsiUpperCase("/" + file.Name));
        return true;
      });
    }
  }
  return result;
}

std::string FolderEntryFile(const TBookFolder& folder, int index) {
  if (index == 0) return Utf8Of(folder.Config.empty() ? folder.Root / "config.ini" : folder.Config);
  if (index == 1) return Utf8Of(folder.Root / "book.lst");
  const auto file = static_cast<size_t>(index - 2);
  return file < folder.Files.size() ? Utf8Of(folder.Files[file].Path) : std::string();
}

std::vector<uint8_t> PackBookFolder(const std::string& folder, const TPackOptions& options) {
  return PackBookFolder(ReadBookFolder(folder), options);
}

std::vector<uint8_t> PackBookFolder(const TBookFolder& folder, const TPackOptions& options) {
  if (!folder.Refused.empty()) throw Exception(folder.Refused.front().Message);
  const auto& files = folder.Files;
  uint64_t totalBytes = 0;
  for (const auto& f : files) totalBytes += f.Size;

  TArchiveBuilder builder;
  builder.Add("config.ini", folder.ConfigText, options.Level);

  std::string list;
  for (const auto& f : files) list += f.Name + "\t" + IntToStr(static_cast<int64_t>(f.Size)) + "\r\n";
  builder.Add("book.lst", list, options.Level);

  uint64_t doneBytes = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    const std::vector<uint8_t> content = ReadFileBytes(files[i].Path);
    builder.Add(files[i].Name, content, options.Level);
    doneBytes += content.size();
    if (options.Progress) options.Progress(i + 1, files.size(), doneBytes, totalBytes);
  }
  return builder.Build();
}

namespace {

// The findings of the block packed from folder, on err when there are any.
// Returns false when nothing may be written: a file reference of config.ini
// cannot be used (the book would lack what the author named), or strict and
// one finding is an error.
bool ReportFindings(const TBookFolder& folder, const std::vector<uint8_t>& block, const std::string& folderName,
                    bool strict, bool sealing, std::ostream& err) {
  std::vector<TFinding> findings = folder.ReferenceProblems;
  TCheckNotes notes = folder.Notes;
  notes.Sealed = sealing;
  std::vector<TFinding> more = CheckBookBlock(
      block, [&](int index, const std::string&) { return FolderEntryFile(folder, index); }, notes);
  findings.insert(findings.end(), more.begin(), more.end());
  if (findings.empty()) return true;
  const int errors = WriteFindings(findings, folderName, err);
  if (!folder.ReferenceProblems.empty()) {
    err << "bookc: nothing written: config.ini names files that cannot be used (see above)\n";
    return false;
  }
  if (strict && errors > 0) {
    err << "bookc: --strict: nothing written because of the errors above\n";
    return false;
  }
  return true;
}

// The readers a sealed book of folder would have, or why it cannot be sealed
// (on err; false then).
bool CanSeal(const TBookFolder& folder, std::ostream& err) {
  TStringList lines;
  lines.SetText(std::string_view(reinterpret_cast<const char*>(folder.ConfigText.data()), folder.ConfigText.size()));
  TMemIniFile ini{std::string()};
  ini.SetStrings(lines);
  TStringList users;
  ini.ReadSectionValues("users", users);
  if (users.Count() > 0) return true;
  err << "bookc: --seal: the book has no readers (its config.ini has no [users] lines), so no password could open "
         "it sealed; add a [users] line name=password for each reader, or pack it without --seal\n";
  return false;
}

// The block sealed when asked (the slow key derivation runs once per
// reader), with what the seal says for the final line.
std::vector<uint8_t> SealedIfAsked(std::vector<uint8_t> block, const TPackOptions& options, std::string& note) {
  if (!options.Seal) return block;
  TSealOptions seal;
  seal.Level = options.Level;
  std::vector<uint8_t> sealed = SealBookBlock(block, seal);
  const TRes_invoker reader(reinterpret_cast<const THostArchive*>(sealed.data()), static_cast<int64_t>(sealed.size()));
  const size_t readers = TSealedBook::Find(reader)->Header().Readers.size();
  note = ", sealed for " + std::to_string(readers) + (readers == 1 ? " reader" : " readers");
  return sealed;
}

}  // namespace

int CommandPack(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> positional;
  TPackOptions options;
  bool strict = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--strict") {
      strict = true;
    } else if (args[i] == "--seal") {
      options.Seal = true;
    } else if (args[i] == "--level") {
      int32_t level = -1;
      if (i + 1 >= args.size() || !TryStrToInt(args[i + 1], level) || level < 0 || level > 9) {
        err << "bookc: --level needs a number from 0 to 9\n";
        return 2;
      }
      options.Level = level;
      ++i;
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 2) {
    err << "usage: bookc pack BOOKDIR OUT.bin [--level N] [--strict] [--seal]\n";
    return 2;
  }
  // Progress only for books large enough to take a noticeable while.
  constexpr uint64_t kProgressThreshold = 16u << 20;
  int lastPercent = -1;
  options.Progress = [&](size_t done, size_t all, uint64_t doneBytes, uint64_t allBytes) {
    if (allBytes < kProgressThreshold) return;
    const int percent = static_cast<int>(doneBytes * 100 / allBytes);
    if (percent / 5 == lastPercent / 5 && done != all) return;
    lastPercent = percent;
    err << "bookc: packed " << done << " of " << all << " files (" << percent << "%)\n";
  };
  const TBookFolder folder = ReadBookFolder(positional[0]);
  if (options.Seal && !CanSeal(folder, err)) return 1;
  const std::vector<uint8_t> packed = PackBookFolder(folder, options);
  if (!ReportFindings(folder, packed, positional[0], strict, options.Seal, err)) return 1;
  std::string sealNote;
  const std::vector<uint8_t> block = SealedIfAsked(packed, options, sealNote);
  WriteWholeFile(positional[1], block);
  TRes_invoker reader(reinterpret_cast<const THostArchive*>(block.data()), static_cast<int64_t>(block.size()));
  out << "bookc: wrote " << positional[1] << " (" << reader.Count() << " entries, " << block.size() << " bytes"
      << sealNote << ")\n";
  return 0;
}

namespace {

// A Windows build file looked up where the tools are usually found: beside
// bookc itself, or in the Windows build tree next to a native one.
fs::path FindBeside(const std::string& fileName) {
  const fs::path self = PathFromUtf8(ExecutablePath()).parent_path();
  for (const fs::path& candidate : {self / fileName, self / ".." / ".." / "win32" / "bin" / fileName}) {
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec)) return candidate.lexically_normal();
  }
  return {};
}

// The book's title as the viewer reads it, for the signature's description.
std::string BookTitle(const std::vector<uint8_t>& block) {
  const TRes_invoker reader(reinterpret_cast<const THostArchive*>(block.data()), static_cast<int64_t>(block.size()));
  TMemoryStream config;
  for (int i = 0; i < reader.Count(); ++i)
    if (EntryName(reader.GetEntry(i)) == "config.ini") reader.Extract(i, config);
  TResSetup settings;
  TResSetupObject(config).ReadSettings(settings);
  const std::string title = WideToUtf8(AnsiToWide(settings.Title));
  FreeSettings(settings);
  return title;
}

// The host program with the book's icon (the [Icon] entry of its settings)
// as its own icon resource, so that Explorer, shortcuts and the taskbar show
// the book's icon before the viewer's window opens. A book without a usable
// icon keeps the host's icons, with a warning where the entry is not an icon.
std::vector<uint8_t> WithBookIcon(const std::vector<uint8_t>& program, const fs::path& host,
                                  const std::vector<uint8_t>& block, std::ostream& err) {
  const TRes_invoker reader(reinterpret_cast<const THostArchive*>(block.data()), static_cast<int64_t>(block.size()));
  std::vector<TPeResource> icon;
  try {
    TMemoryStream config;
    for (int i = 0; i < reader.Count(); ++i)
      if (EntryName(reader.GetEntry(i)) == "config.ini") reader.Extract(i, config);
    TResSetup settings;
    TResSetupObject(config).ReadSettings(settings);
    if (settings.Icon->Size() == 0) return program;
    icon = IconFileResources(std::span<const uint8_t>(settings.Icon->Memory(), static_cast<size_t>(settings.Icon->Size())),
                             1, 1, 0);
  } catch (const Exception& e) {
    err << "bookc: warning: the book's icon cannot be used (" << e.Message << "); the program keeps the host's icon\n";
    return program;
  }
  try {
    std::vector<TPeResource> resources = ReadPeResources(program);
    std::erase_if(resources, [](const TPeResource& r) {
      return !r.Type.IsText() && (r.Type.Id == kResourceIcon || r.Type.Id == kResourceGroupIcon);
    });
    resources.insert(resources.end(), icon.begin(), icon.end());
    return ReplacePeResources(program, resources);
  } catch (const EPeError& e) {
    throw Exception(Format("Cannot give the e-book the book's icon: the host \"%s\" cannot be rewritten (%s)",
                           Utf8Of(host).c_str(), e.Message.c_str()));
  }
}

}  // namespace

int CommandExe(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  constexpr const char* kUsage =
      "usage: bookc exe BOOKDIR OUT.exe [--host PATH] [--dll PATH] [--strict] [--seal]\n"
      "                 [--sign CERT.pfx [--sign-password-file FILE] [--timestamp URL]]\n";
  std::vector<std::string> positional;
  TPackOptions options;
  fs::path host;
  fs::path library;
  bool strict = false;
  bool signing = false;
  TSignOptions sign;
  for (size_t i = 0; i < args.size(); ++i) {
    const bool hasValue = i + 1 < args.size();
    if (args[i] == "--strict") {
      strict = true;
    } else if (args[i] == "--seal") {
      options.Seal = true;
    } else if ((args[i] == "--host" || args[i] == "--dll") && hasValue) {
      (args[i] == "--host" ? host : library) = PathFromUtf8(args[i + 1]);
      ++i;
    } else if (args[i] == "--sign" && hasValue) {
      signing = true;
      sign.Certificate = PathFromUtf8(args[++i]);
    } else if (args[i] == "--sign-password-file" && hasValue) {
      sign.PasswordFile = PathFromUtf8(args[++i]);
    } else if (args[i] == "--timestamp" && hasValue) {
      sign.TimestampUrl = args[++i];
    } else if (args[i].starts_with("--")) {
      err << kUsage;
      return 2;
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 2 || (!signing && (!sign.PasswordFile.empty() || !sign.TimestampUrl.empty()))) {
    err << kUsage;
    return 2;
  }
  // Everything signing needs is looked for before the book is made, so that
  // a missing tool or certificate costs no packing.
  TSigner signer;
  if (signing) {
    std::error_code ec;
    if (!fs::is_regular_file(sign.Certificate, ec))
      throw Exception(Format("The certificate \"%s\" is not a file", Utf8Of(sign.Certificate).c_str()));
    if (!sign.PasswordFile.empty() && !fs::is_regular_file(sign.PasswordFile, ec))
      throw Exception(Format("The password file \"%s\" is not a file", Utf8Of(sign.PasswordFile).c_str()));
    signer = FindSigner();
  }
  if (host.empty()) host = FindBeside("ebookhost.exe");
  if (library.empty()) library = host.empty() ? FindBeside("ebookview.dll") : host.parent_path() / "ebookview.dll";
  if (host.empty()) throw Exception("The e-book host ebookhost.exe was not found; name it with --host");
  std::error_code ec;
  if (!fs::exists(library, ec))
    throw Exception(Format("The viewer library \"%s\" was not found; name it with --dll", Utf8Of(library).c_str()));

  const std::vector<uint8_t> program = ReadFileBytes(host, "Windows program");
  const std::string hostMachine = PeMachine(program);
  if (hostMachine.empty()) throw Exception(Format("\"%s\" is not a Windows program", Utf8Of(host).c_str()));
  // The host loads the library into its own process, which only works when
  // both are built for the same machine; the reader would otherwise see a
  // load failure at every start.
  const std::string libraryMachine = PeMachine(ReadFileBytes(library, "Windows library"));
  if (libraryMachine.empty())
    throw Exception(Format("\"%s\" is not a Windows library", Utf8Of(library).c_str()));
  if (libraryMachine != hostMachine)
    throw Exception(Format("The host \"%s\" is a %s program but the viewer library \"%s\" is %s; take both from "
                           "one build",
                           Utf8Of(host).c_str(), hostMachine.c_str(), Utf8Of(library).c_str(),
                           libraryMachine.c_str()));
  const TBookFolder folder = ReadBookFolder(positional[0]);
  if (options.Seal && !CanSeal(folder, err)) return 1;
  const std::vector<uint8_t> packed = PackBookFolder(folder, options);
  if (!ReportFindings(folder, packed, positional[0], strict, options.Seal, err)) return 1;
  std::string sealNote;
  const std::vector<uint8_t> block = SealedIfAsked(packed, options, sealNote);
  const std::vector<uint8_t> trailer = MakeTrailer(block);
  const std::vector<uint8_t> hostProgram = WithBookIcon(program, host, block, err);
  std::vector<uint8_t> book;
  book.reserve(hostProgram.size() + block.size() + trailer.size());
  book.insert(book.end(), hostProgram.begin(), hostProgram.end());
  book.insert(book.end(), block.begin(), block.end());
  book.insert(book.end(), trailer.begin(), trailer.end());

  const fs::path target = PathFromUtf8(positional[1]);
  if (!signing) {
    WriteWholeFile(Utf8Of(target), book);
  } else {
    // Signed last, so that the signature covers the file as readers get it.
    fs::path unsignedFile = target;
    unsignedFile += ".unsigned";
    WriteWholeFile(Utf8Of(unsignedFile), book);
    const TScopeExit removeUnsigned([&] {
      std::error_code removeError;
      fs::remove(unsignedFile, removeError);
    });
    sign.Description = BookTitle(block);
    SignProgram(signer, unsignedFile, target, sign);
    try {
      LoadBookFile(Utf8Of(target));
    } catch (const Exception& e) {
      std::error_code removeError;
      fs::remove(target, removeError);
      throw Exception(Format("The signed e-book cannot find its book (%s); nothing written", e.Message.c_str()));
    }
  }
  const fs::path libraryTarget = target.parent_path() / "ebookview.dll";
  if (!fs::equivalent(library, libraryTarget, ec)) {
    // The Windows runtime's copy refuses an existing target even when told
    // to overwrite it, so an older copy is removed first.
    std::error_code removeError;
    fs::remove(libraryTarget, removeError);
    ec.clear();
    fs::copy_file(library, libraryTarget, fs::copy_options::overwrite_existing, ec);
    if (ec)
      throw Exception(Format("Cannot copy the viewer library to \"%s\": %s", Utf8Of(libraryTarget).c_str(),
                             ec.message().c_str()));
  }
  out << "bookc: wrote " << positional[1] << " (" << fs::file_size(target, ec) << " bytes" << sealNote
      << (signing ? ", signed by " + Utf8Of(PathFromUtf8(signer.Program).filename()) : std::string()) << ") and "
      << Utf8Of(libraryTarget) << "\n";
  return 0;
}
