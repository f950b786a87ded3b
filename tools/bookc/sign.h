// Authenticode signing of a finished e-book program, so that Windows and
// virus scanners see who made it instead of warning about an unknown program.
// The signature is made by the platform's tools, never by bookc itself:
// Windows' own signing tool (signtool.exe of the Windows SDK) where it is
// installed, otherwise osslsigncode (Debian's package on Linux, or a copy in
// PATH on Windows).
//
// A signature covers the whole file as it is, so it is made last, after the
// icon is written and the archive appended. It is stored after everything
// else (the certificate table); the host then finds its archive's trailer just
// before that table (tools/common/book_image.h).
#pragma once

#include <filesystem>
#include <ostream>
#include <string>

struct TSignOptions {
  std::filesystem::path Certificate;   // a PKCS #12 file (.pfx, .p12) with the key
  std::filesystem::path PasswordFile;  // its password on the first line; empty: none
  std::string TimestampUrl;            // an RFC 3161 time-stamp server; empty: none
  std::string Description;             // shown by Windows as the program's name
};

struct TSigner {
  enum TKind { kSigntool, kOsslsigncode } Kind = kOsslsigncode;
  std::string Program;  // its full path
};

// The signing tool of this machine. Fails with Exception saying what to
// install when there is none.
TSigner FindSigner();

// Signs input into output (which is replaced). Fails with Exception carrying
// the tool's own words when it fails.
void SignProgram(const TSigner& signer, const std::filesystem::path& input, const std::filesystem::path& output,
                 const TSignOptions& options);
