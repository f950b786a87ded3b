// Files named in a book folder's config.ini instead of hex.
//
// The viewer reads the book's icon ([Icon] Bitmap), the eight toolbar glyphs
// ([Toolbar] tbBack ... tbRegister) and the about text ([params] about) as
// hex-encoded bytes. In a book folder each of these values may instead be
//   @path/to/file   a file of the book folder ("/" or "\" between folders)
//   @default        the built-in icon or glyph (not for the about text)
// and bookc stores the hex form in the book, so that the config.ini inside
// an archive is always the text the viewer reads. A hex value never starts
// with "@", so nothing an existing book holds changes meaning.
//
// A named file must lie inside the book folder: a book made from a folder
// someone else wrote can then carry nothing that the folder did not already
// hold. Named files are not stored in the book a second time (their bytes are
// in config.ini already).
#pragma once

#include <cstdint>
#include <filesystem>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "tools/bookc/check.h"

struct TConfigReferences {
  // config.ini with every reference replaced by the hex form of what it
  // names; a reference that cannot be used gives an empty value.
  std::vector<uint8_t> Text;
  // One error per reference that cannot be used, naming its key and line.
  std::vector<TFinding> Problems;
  // Every existing file a reference names, usable or not.
  std::vector<std::filesystem::path> Files;
  // "SECTION/KEY", upper-cased, of the references that cannot be used: the
  // check says nothing more about their (empty) values.
  std::set<std::string> UnresolvedKeys;
};

// Resolves the references of config (the bytes of the folder's config.ini,
// shown to the author as configFile) against the book folder root. Never
// fails: what cannot be read is a problem of the result.
TConfigReferences ResolveConfigReferences(std::span<const uint8_t> config, const std::filesystem::path& root,
                                          const std::string& configFile);

// "SECTION/KEY" as UnresolvedKeys holds it.
std::string ConfigKeyId(std::string_view section, std::string_view key);

// Bytes as config.ini holds them: two upper-case hex digits per byte.
std::string HexText(std::span<const uint8_t> bytes);
