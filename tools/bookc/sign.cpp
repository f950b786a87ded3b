#include "tools/bookc/sign.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <system_error>
#include <vector>

#include "runtime/exceptions.h"
#include "runtime/streams.h"
#include "tools/bookc/bookc.h"
#include "tools/bookc/run_program.h"

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
// signtool.exe of the newest Windows SDK (or of the older kits' layout), for
// this machine's processor.
std::string FindSigntool() {
  if (std::string inPath = FindInPath("signtool.exe"); !inPath.empty()) return inPath;
  std::vector<fs::path> kits;
  for (const char* variable : {"ProgramFiles(x86)", "ProgramFiles"})
    if (const char* folder = std::getenv(variable)) kits.push_back(PathFromUtf8(folder) / "Windows Kits");
  SYSTEM_INFO system{};
  GetNativeSystemInfo(&system);
  const char* architecture = system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64   ? "x64"
                             : system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_ARM64 ? "arm64"
                                                                                            : "x86";
  for (const fs::path& kit : kits) {
    std::error_code ec;
    std::vector<fs::path> versions;
    for (const auto& entry : fs::directory_iterator(kit / "10" / "bin", ec))
      if (entry.is_directory(ec) && entry.path().filename().string().starts_with("10.")) versions.push_back(entry.path());
    std::sort(versions.begin(), versions.end(), [](const fs::path& a, const fs::path& b) {
      // "10.0.22621.0" after "10.0.9600.0": compared number by number.
      auto numbers = [](const fs::path& p) {
        std::vector<long> parts;
        const std::string text = p.filename().string();
        for (size_t at = 0; at < text.size();) {
          const size_t dot = std::min(text.find('.', at), text.size());
          parts.push_back(std::strtol(text.substr(at, dot - at).c_str(), nullptr, 10));
          at = dot + 1;
        }
        return parts;
      };
      return numbers(a) > numbers(b);
    });
    versions.push_back(kit / "10");
    versions.push_back(kit / "8.1");
    for (const fs::path& version : versions) {
      const fs::path candidate = version.filename() == "10" || version.filename() == "8.1"
                                     ? version / "bin" / architecture / "signtool.exe"
                                     : version / architecture / "signtool.exe";
      if (fs::is_regular_file(candidate, ec)) return Utf8Of(candidate);
    }
  }
  return {};
}
#endif

// The password file's first line, for a tool that takes the password itself.
std::string ReadPassword(const fs::path& file) {
  const std::vector<uint8_t> bytes = ReadWholeFile(Utf8Of(file), "password file", 1 << 20);
  std::string password(bytes.begin(), bytes.end());
  password = password.substr(0, std::min(password.find_first_of("\r\n"), password.size()));
  return password;
}

}  // namespace

TSigner FindSigner() {
#ifdef _WIN32
  if (std::string signtool = FindSigntool(); !signtool.empty()) return {TSigner::kSigntool, signtool};
  if (std::string ossl = FindInPath("osslsigncode.exe"); !ossl.empty()) return {TSigner::kOsslsigncode, ossl};
  throw Exception(
      "Cannot sign: no signing tool was found. Install the Windows SDK's signing tools (signtool.exe), or put "
      "osslsigncode.exe in PATH; or leave out --sign and sign the e-book yourself");
#else
  if (std::string ossl = FindInPath("osslsigncode"); !ossl.empty()) return {TSigner::kOsslsigncode, ossl};
  throw Exception(
      "Cannot sign: osslsigncode was not found in PATH (Debian and Ubuntu: apt-get install osslsigncode); or "
      "leave out --sign and sign the e-book yourself");
#endif
}

void SignProgram(const TSigner& signer, const fs::path& input, const fs::path& output, const TSignOptions& options) {
  std::error_code ec;
  fs::remove(output, ec);
  std::vector<std::string> argv{signer.Program};
  if (signer.Kind == TSigner::kOsslsigncode) {
    argv.insert(argv.end(), {"sign", "-pkcs12", Utf8Of(options.Certificate), "-h", "sha256"});
    // Without a password file the key is read with an empty password rather
    // than the tool asking on a terminal that may not be there.
    if (options.PasswordFile.empty())
      argv.insert(argv.end(), {"-pass", ""});
    else
      argv.insert(argv.end(), {"-readpass", Utf8Of(options.PasswordFile)});
    if (!options.Description.empty()) argv.insert(argv.end(), {"-n", options.Description});
    if (!options.TimestampUrl.empty()) argv.insert(argv.end(), {"-ts", options.TimestampUrl});
    argv.insert(argv.end(), {"-in", Utf8Of(input), "-out", Utf8Of(output)});
  } else {
    // signtool signs a file in place.
    fs::copy_file(input, output, fs::copy_options::overwrite_existing, ec);
    if (ec)
      throw Exception(Format("Cannot write \"%s\": %s", Utf8Of(output).c_str(), ec.message().c_str()));
    argv.insert(argv.end(), {"sign", "/q", "/f", Utf8Of(options.Certificate), "/fd", "SHA256"});
    // signtool takes the password only on its command line.
    if (!options.PasswordFile.empty()) argv.insert(argv.end(), {"/p", ReadPassword(options.PasswordFile)});
    if (!options.Description.empty()) argv.insert(argv.end(), {"/d", options.Description});
    if (!options.TimestampUrl.empty()) argv.insert(argv.end(), {"/tr", options.TimestampUrl, "/td", "SHA256"});
    argv.push_back(Utf8Of(output));
  }
  const TProgramRun run = RunProgram(argv);
  std::string words = run.Output;
  while (!words.empty() && (words.back() == '\n' || words.back() == '\r')) words.pop_back();
  if (!run.Started) {
    fs::remove(output, ec);
    throw Exception(Format("Cannot start the signing tool %s: %s", signer.Program.c_str(), words.c_str()));
  }
  if (run.Status != 0 || !fs::is_regular_file(output, ec)) {
    fs::remove(output, ec);
    throw Exception(Format("Signing failed (%s, status %d): %s", signer.Program.c_str(), run.Status,
                           words.empty() ? "no message" : words.c_str()));
  }
}
