#include "tools/bookc/config_refs.h"

#include <algorithm>
#include <optional>

#include "archive/book_file.h"
#include "archive/res_setup.h"
#include "runtime/ansi.h"
#include "runtime/exceptions.h"
#include "runtime/streams.h"
#include "tools/bookc/bookc.h"
#include "tools/bookc/default_art.h"

namespace fs = std::filesystem;

namespace {

enum class TValueKind { About, Icon, Glyph };

struct TReferenceKey {
  TValueKind Kind;
  int Glyph = -1;       // toolbar index of a glyph key
  std::string Label;    // as the check names the key
};

// The keys whose values the viewer decodes from hex, by upper-cased section
// and key.
std::optional<TReferenceKey> ReferenceKey(const std::string& section, const std::string& key) {
  if (section == "PARAMS" && key == "ABOUT") return TReferenceKey{TValueKind::About, -1, "about"};
  if (section == "ICON" && key == "BITMAP") return TReferenceKey{TValueKind::Icon, -1, "[Icon] Bitmap"};
  if (section == "TOOLBAR")
    for (int i = 0; i < kToolbarButtonCount; ++i)
      if (key == AnsiUpperCase(kToolbarGlyphKeys[static_cast<size_t>(i)]))
        return TReferenceKey{TValueKind::Glyph, i, kToolbarGlyphKeys[static_cast<size_t>(i)]};
  return std::nullopt;
}

bool IsBlank(uint8_t c) { return c <= ' '; }

// A path below root as the author wrote it: "/" separators, UTF-8.
std::string Shown(const fs::path& path, const fs::path& root) {
  const std::u8string text = path.lexically_relative(root).generic_u8string();
  return std::string(text.begin(), text.end());
}

bool ValidUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<uint8_t>(text[i]);
    const size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k)
      if ((static_cast<uint8_t>(text[i + k]) & 0xC0) != 0x80) return false;
    i += length;
  }
  return true;
}

struct TResolved {
  std::vector<uint8_t> Bytes;
  std::string Problem;  // empty when Bytes are what the viewer can use
  fs::path File;        // the file named, when it exists
};

// The file a reference names, below root; "" with why when it names none.
fs::path NamedFile(const fs::path& root, std::string_view name, std::string& why) {
  std::string text(name);
  std::replace(text.begin(), text.end(), '\\', '/');
  if (text.empty()) {
    why = "names no file";
    return {};
  }
  if (text[0] == '/' || (text.size() >= 2 && text[1] == ':')) {
    why = "is not a path inside the book folder: name the file relative to the folder";
    return {};
  }
  // The text is in the ANSI code page, as the whole of config.ini; editors
  // that save UTF-8 leave the name as UTF-8 bytes, which are tried next.
  std::vector<std::string> spellings{WideToUtf8(AnsiToWide(text))};
  if (ValidUtf8(text) && text != spellings[0]) spellings.push_back(text);
  fs::path first;
  for (const std::string& spelling : spellings) {
    fs::path path = root;
    size_t start = 0;
    while (start <= spelling.size()) {
      const size_t end = std::min(spelling.find('/', start), spelling.size());
      const std::string part = spelling.substr(start, end - start);
      if (part == "..") {
        why = "leaves the book folder (\"..\"): name a file inside the folder";
        return {};
      }
      if (!part.empty() && part != ".") path /= PathFromUtf8(part);
      start = end + 1;
    }
    if (path == root) {
      why = "names the book folder itself, not a file";
      return {};
    }
    if (first.empty()) first = path;
    std::error_code ec;
    if (fs::exists(fs::symlink_status(path, ec))) return path;
  }
  why = "names " + Shown(first, root) + ", which is not in the book folder";
  return {};
}

TResolved Resolve(const TReferenceKey& key, std::string_view reference, const fs::path& root) {
  TResolved result;
  if (AsciiUpperCase(reference) == "DEFAULT") {
    if (key.Kind == TValueKind::Icon) result.Bytes = DefaultIconFile();
    else if (key.Kind == TValueKind::Glyph) result.Bytes = DefaultGlyphFile(key.Glyph);
    else result.Problem = "has no built-in default (only the icon and the toolbar glyphs have one): name a file";
    return result;
  }
  std::string why;
  const fs::path file = NamedFile(root, reference, why);
  if (file.empty()) {
    result.Problem = why;
    return result;
  }
  result.File = file;
  const std::string shown = Shown(file, root);
  try {
    result.Bytes = ReadWholeFile(Utf8Of(file), "file", kMaxToolFileSize);
  } catch (const Exception& e) {
    result.Problem = "names " + shown + ", which cannot be read: " + e.Message;
    return result;
  }
  const std::span<const uint8_t> bytes(result.Bytes);
  switch (key.Kind) {
    case TValueKind::Icon:
      if (const std::string problem = IconFileProblem(bytes); !problem.empty())
        result.Problem = "names " + shown + ", which is not an icon file: the viewer would fail with " + problem;
      break;
    case TValueKind::Glyph:
      if (const std::string problem = BitmapFileProblem(bytes); !problem.empty())
        result.Problem = "names " + shown + ", which is not a bitmap file: the viewer would fail with " + problem;
      break;
    case TValueKind::About:
      // The viewer's text ends at the first NUL byte: a picture or another
      // binary file named here by mistake would show as a few odd letters.
      if (std::find(bytes.begin(), bytes.end(), 0) != bytes.end())
        result.Problem = "names " + shown + ", which is not a text file (it holds NUL bytes)";
      break;
  }
  return result;
}

}  // namespace

std::string ConfigKeyId(std::string_view section, std::string_view key) {
  return AnsiUpperCase(section) + "/" + AnsiUpperCase(key);
}

std::string HexText(std::span<const uint8_t> bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

TConfigReferences ResolveConfigReferences(std::span<const uint8_t> config, const fs::path& root,
                                          const std::string& configFile) {
  TConfigReferences result;
  // The viewer's text ends at the first NUL byte; what follows is kept as it
  // is and means nothing.
  const size_t textEnd = static_cast<size_t>(std::find(config.begin(), config.end(), 0) - config.begin());
  auto& out = result.Text;
  out.reserve(config.size());
  std::string section;
  int lineNumber = 0;
  size_t start = 0;
  while (start < textEnd) {
    size_t end = start;
    while (end < textEnd && config[end] != '\r' && config[end] != '\n') ++end;
    size_t next = end;  // the next line's start: after CR LF, LF or CR
    if (next < textEnd) next += config[next] == '\r' && next + 1 < textEnd && config[next + 1] == '\n' ? 2 : 1;
    ++lineNumber;

    size_t first = start, last = end;
    while (first < last && IsBlank(config[first])) ++first;
    while (last > first && IsBlank(config[last - 1])) --last;
    const std::string_view line(reinterpret_cast<const char*>(config.data()) + first, last - first);
    size_t replaceFrom = 0, replaceTo = 0;  // within config; equal: nothing to replace
    std::string replacement;
    if (!line.empty() && line[0] == '[' && line.back() == ']') {
      std::string_view name = line.substr(1, line.size() - 2);
      while (!name.empty() && IsBlank(static_cast<uint8_t>(name.front()))) name.remove_prefix(1);
      while (!name.empty() && IsBlank(static_cast<uint8_t>(name.back()))) name.remove_suffix(1);
      section = AnsiUpperCase(name);
    } else if (!line.empty() && line[0] != ';') {
      const size_t equals = line.find('=');
      if (equals != std::string_view::npos) {
        std::string_view keyText = line.substr(0, equals);
        while (!keyText.empty() && IsBlank(static_cast<uint8_t>(keyText.back()))) keyText.remove_suffix(1);
        size_t valueStart = equals + 1;
        while (valueStart < line.size() && IsBlank(static_cast<uint8_t>(line[valueStart]))) ++valueStart;
        const std::string_view value = line.substr(valueStart);
        const auto key = ReferenceKey(section, AnsiUpperCase(keyText));
        if (key && !value.empty() && value[0] == '@') {
          std::string_view reference = value.substr(1);
          while (!reference.empty() && IsBlank(static_cast<uint8_t>(reference.front()))) reference.remove_prefix(1);
          const TResolved resolved = Resolve(*key, reference, root);
          if (!resolved.File.empty()) result.Files.push_back(resolved.File);
          if (resolved.Problem.empty()) {
            replacement = HexText(resolved.Bytes);
          } else {
            result.Problems.push_back({configFile, lineNumber, TFindingLevel::Error,
                                       key->Label + " \"@" + Cp1252ToUtf8(reference) + "\" " + resolved.Problem,
                                       "reference", ""});
            result.UnresolvedKeys.insert(section + "/" + AnsiUpperCase(keyText));
          }
          replaceFrom = first + valueStart;
          replaceTo = last;
        }
      }
    }
    if (replaceFrom < replaceTo) {
      out.insert(out.end(), config.begin() + static_cast<ptrdiff_t>(start),
                 config.begin() + static_cast<ptrdiff_t>(replaceFrom));
      out.insert(out.end(), replacement.begin(), replacement.end());
      out.insert(out.end(), config.begin() + static_cast<ptrdiff_t>(replaceTo),
                 config.begin() + static_cast<ptrdiff_t>(next));
    } else {
      out.insert(out.end(), config.begin() + static_cast<ptrdiff_t>(start),
                 config.begin() + static_cast<ptrdiff_t>(next));
    }
    start = next;
  }
  out.insert(out.end(), config.begin() + static_cast<ptrdiff_t>(textEnd), config.end());
  return result;
}
