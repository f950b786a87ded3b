#include "server/content_types.h"

#include <array>
#include <utility>

namespace {

// Extensions (lower case, without the dot) of well-known types that are not
// HTML. Text types carry no charset: their bytes are the book's own, and a
// browser reads a stylesheet or script in the encoding of the page that
// uses it.
constexpr std::array<std::pair<std::string_view, std::string_view>, 37> kTypes = {{
    {"css", "text/css"},
    {"js", "text/javascript"},
    {"mjs", "text/javascript"},
    {"json", "application/json"},
    {"map", "application/json"},
    {"txt", "text/plain"},
    {"csv", "text/csv"},
    {"xml", "application/xml"},
    {"xsl", "application/xml"},
    {"svg", "image/svg+xml"},
    {"svgz", "image/svg+xml"},
    {"png", "image/png"},
    {"apng", "image/apng"},
    {"jpg", "image/jpeg"},
    {"jpeg", "image/jpeg"},
    {"jpe", "image/jpeg"},
    {"gif", "image/gif"},
    {"bmp", "image/bmp"},
    {"ico", "image/x-icon"},
    {"cur", "image/x-icon"},
    {"webp", "image/webp"},
    {"avif", "image/avif"},
    {"tif", "image/tiff"},
    {"tiff", "image/tiff"},
    {"woff", "font/woff"},
    {"woff2", "font/woff2"},
    {"ttf", "font/ttf"},
    {"otf", "font/otf"},
    {"pdf", "application/pdf"},
    {"zip", "application/zip"},
    {"wasm", "application/wasm"},
    {"mp3", "audio/mpeg"},
    {"wav", "audio/wav"},
    {"ogg", "audio/ogg"},
    {"oga", "audio/ogg"},
    {"mp4", "video/mp4"},
    {"webm", "video/webm"},
}};

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameExtension(std::string_view extension, std::string_view lower) {
  if (extension.size() != lower.size()) return false;
  for (size_t i = 0; i < lower.size(); ++i) {
    if (LowerAscii(extension[i]) != lower[i]) return false;
  }
  return true;
}

}  // namespace

std::string_view ContentTypeForPath(std::string_view path) {
  const size_t segment = path.find_last_of("/\\");
  const std::string_view name = segment == std::string_view::npos ? path : path.substr(segment + 1);
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return kDefaultContentType;
  const std::string_view extension = name.substr(dot + 1);
  for (const auto& [known, type] : kTypes) {
    if (SameExtension(extension, known)) return type;
  }
  return kDefaultContentType;
}
