// How "bookc check" (and pack, exe and bookserve, which run the same check)
// shows its findings. A real documentation folder gives thousands: one
// missing page linked from every page, a link to the project's web site in
// every footer. Shown one per line, the few findings that matter drown, so
// by default errors come first and every group of equal findings shows its
// first few members and a count; links to the web, which most books make on
// purpose, are counted per site.
#include <algorithm>
#include <map>
#include <set>

#include "tools/bookc/check.h"

namespace {

// Members of a group of equal findings shown before its count.
constexpr size_t kShownPerGroup = 3;
// Groups of one kind shown before the rest of that kind is counted in one
// line.
constexpr size_t kGroupsPerCode = 8;
// Web sites shown with their count of links, the ones most linked to first.
constexpr size_t kSitesShown = 10;

constexpr char kWebCode[] = "link-web";

const char* LevelText(TFindingLevel level) {
  switch (level) {
    case TFindingLevel::Error: return "error";
    case TFindingLevel::Warning: return "warning";
    case TFindingLevel::Info: return "info";
  }
  return "error";
}

// 1336 as "1,336".
std::string Count(size_t count) {
  const std::string digits = std::to_string(count);
  std::string text;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

std::string Plural(size_t count, const std::string& word, const std::string& words) {
  return Count(count) + " " + (count == 1 ? word : words);
}

bool IsSettingsFile(std::string_view file) {
  const size_t slash = file.find_last_of("/\\");
  std::string name(file.substr(slash == std::string_view::npos ? 0 : slash + 1));
  for (char& c : name)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return name == "config.ini";
}

std::string GroupKey(const TFinding& f) { return f.Code + '\x1f' + (f.Subject.empty() ? f.Text : f.Subject); }

// "... and 1,336 more links to "whatsnew/changelog.html"".
std::string MoreOfGroup(const TFinding& f, size_t count) {
  const std::string more = "  ... and " + Count(count) + " more ";
  const bool one = count == 1;
  if (f.Code == "link-missing") return more + (one ? "link to " : "links to ") + f.Subject;
  if (f.Code == "link-local-file") return more + (one ? "link" : "links") + " to files on this computer";
  if (f.Code == "link-above-top") return more + (one ? "link that climbs" : "links that climb") + " above the book's top folder";
  if (f.Code == "link-top") return more + (one ? "link" : "links") + " to the top of the book";
  if (f.Code == "link-fixed-port")
    return more + (one ? "link" : "links") + " with a fixed address of the viewer's server";
  if (f.Code == "file-refused") return more + (one ? "file that" : "files that") + " cannot be put into a book";
  return more + "like this";
}

// "... and 1,234 more links to 56 other paths that are not in the book".
std::string MoreOfCode(const std::string& code, size_t findings, size_t groups) {
  const std::string more = "  ... and " + Count(findings) + " more ";
  if (code == "link-missing")
    return more + (findings == 1 ? "link" : "links") + " to " + Plural(groups, "other path", "other paths") +
           " that " + (groups == 1 ? "is" : "are") + " not in the book";
  return more + (findings == 1 ? "finding" : "findings") + " of the kind \"" + code + "\"";
}

void WriteLine(const TFinding& f, std::ostream& out) {
  out << f.File;
  if (f.Line > 0) out << ':' << f.Line;
  out << ": " << LevelText(f.Level) << ": " << f.Text << '\n';
}

// The links to each web site: their count and the first of them, the sites
// with the most links first.
void WriteSites(const std::vector<const TFinding*>& links, std::ostream& out) {
  struct TSite {
    const TFinding* First = nullptr;
    size_t Links = 0;
  };
  std::map<std::string, TSite> bySite;
  for (const TFinding* f : links) {
    TSite& site = bySite[f->Subject];
    if (site.First == nullptr) site.First = f;
    ++site.Links;
  }
  std::vector<std::pair<std::string, TSite>> sites(bySite.begin(), bySite.end());
  std::stable_sort(sites.begin(), sites.end(),
                   [](const auto& a, const auto& b) { return a.second.Links > b.second.Links; });
  size_t restLinks = 0;
  for (size_t i = 0; i < sites.size(); ++i) {
    const auto& [name, site] = sites[i];
    if (i >= kSitesShown) {
      restLinks += site.Links;
      continue;
    }
    if (site.Links == 1) {
      WriteLine(*site.First, out);
      continue;
    }
    TFinding summary = *site.First;
    summary.Text = Count(site.Links) + " links lead to the web site " + (name.empty() ? "(no name)" : name) +
                   "; this is the first";
    WriteLine(summary, out);
  }
  if (sites.size() > kSitesShown)
    out << "  ... and " << Plural(sites.size() - kSitesShown, "more web site", "more web sites") << " with "
        << Plural(restLinks, "link", "links") << " (--verbose lists every link)\n";
}

// JSON text of UTF-8 bytes; bytes that are not UTF-8 become U+FFFD.
std::string JsonString(std::string_view text) {
  std::string out = "\"";
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<uint8_t>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c < 0x20) {
      static const char kDigits[] = "0123456789abcdef";
      out += "\\u00";
      out += kDigits[c >> 4];
      out += kDigits[c & 15];
      ++i;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
    } else {
      const size_t length = (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
      bool valid = length > 0 && i + length <= text.size();
      for (size_t k = 1; valid && k < length; ++k) valid = (static_cast<uint8_t>(text[i + k]) & 0xC0) == 0x80;
      if (valid) {
        out.append(text.substr(i, length));
        i += length;
      } else {
        out += "\\ufffd";
        ++i;
      }
    }
  }
  return out + "\"";
}

void WriteJson(const std::vector<TFinding>& findings, const std::string& book, const size_t counts[3],
               std::ostream& out) {
  out << "{\"book\": " << JsonString(book) << ", \"errors\": " << counts[0] << ", \"warnings\": " << counts[1]
      << ", \"info\": " << counts[2] << ",\n \"findings\": [";
  for (size_t i = 0; i < findings.size(); ++i) {
    const TFinding& f = findings[i];
    out << (i == 0 ? "\n" : ",\n") << "  {\"file\": " << JsonString(f.File) << ", \"line\": ";
    if (f.Line > 0)
      out << f.Line;
    else
      out << "null";
    out << ", \"level\": \"" << LevelText(f.Level) << "\", \"code\": " << JsonString(f.Code)
        << ", \"text\": " << JsonString(f.Text) << "}";
  }
  out << "\n ]}\n";
}

}  // namespace

std::string FindingCounts(const std::vector<TFinding>& findings) {
  size_t counts[3] = {0, 0, 0};
  for (const TFinding& f : findings) ++counts[static_cast<int>(f.Level)];
  return Plural(counts[0], "error", "errors") + ", " + Plural(counts[1], "warning", "warnings") + ", " +
         Count(counts[2]) + " info";
}

int WriteFindings(std::vector<TFinding> findings, const std::string& book, std::ostream& out,
                  const TReportOptions& options) {
  // Within a level the settings come first: what is wrong there is wrong
  // in every window.
  auto settingsFirst = [](const TFinding& f) { return IsSettingsFile(f.File) ? 0 : 1; };
  std::stable_sort(findings.begin(), findings.end(), [&](const TFinding& a, const TFinding& b) {
    if (a.Level != b.Level) return a.Level < b.Level;
    if (settingsFirst(a) != settingsFirst(b)) return settingsFirst(a) < settingsFirst(b);
    return a.File != b.File ? a.File < b.File : a.Line < b.Line;
  });
  size_t counts[3] = {0, 0, 0};
  for (const TFinding& f : findings) ++counts[static_cast<int>(f.Level)];
  if (options.Json) {
    WriteJson(findings, book, counts, out);
    return static_cast<int>(counts[0]);
  }

  if (options.Verbose) {
    for (const TFinding& f : findings) WriteLine(f, out);
  } else {
    std::map<std::string, size_t> groupSizes;
    for (const TFinding& f : findings) ++groupSizes[GroupKey(f)];
    std::vector<const TFinding*> webLinks;
    size_t next = 0;
    for (const TFindingLevel level : {TFindingLevel::Error, TFindingLevel::Warning, TFindingLevel::Info}) {
      std::map<std::string, size_t> shown;                 // group -> members written
      std::map<std::string, std::set<std::string>> kinds;  // code -> groups written
      std::set<std::string> counted;                       // groups beyond kGroupsPerCode
      std::vector<std::string> overflowCodes;
      std::map<std::string, std::pair<size_t, size_t>> overflow;  // code -> findings, groups
      for (; next < findings.size() && findings[next].Level == level; ++next) {
        const TFinding& f = findings[next];
        if (f.Code == kWebCode) {
          webLinks.push_back(&f);
          continue;
        }
        const std::string key = GroupKey(f);
        if (counted.count(key) > 0) continue;
        std::set<std::string>& groups = kinds[f.Code];
        if (groups.count(key) == 0) {
          if (groups.size() >= kGroupsPerCode) {
            counted.insert(key);
            auto& [members, number] = overflow[f.Code];
            if (number == 0) overflowCodes.push_back(f.Code);
            members += groupSizes[key];
            ++number;
            continue;
          }
          groups.insert(key);
        }
        size_t& written = shown[key];
        if (written >= kShownPerGroup) continue;
        WriteLine(f, out);
        ++written;
        const size_t size = groupSizes[key];
        if (written == kShownPerGroup && size > kShownPerGroup) out << MoreOfGroup(f, size - kShownPerGroup) << '\n';
      }
      for (const std::string& code : overflowCodes)
        out << MoreOfCode(code, overflow[code].first, overflow[code].second) << '\n';
    }
    WriteSites(webLinks, out);
  }
  if (options.Summary) out << options.Program << ": " << book << ": " << FindingCounts(findings) << '\n';
  return static_cast<int>(counts[0]);
}
