// The archive inside a book file as the tools and the e-book host find it,
// including in an e-book program that carries an Authenticode signature.
//
// A signature is stored after everything else in a program file: the PE
// header's security directory gives the file offset and size of the
// certificate table, and signing tools align that table to 8 bytes with zero
// bytes. Signing an e-book therefore moves its trailer away from the end of
// the file to just before the certificate table (and its padding), while the
// archive and trailer themselves stay byte for byte what bookc wrote.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "archive/book_file.h"

// Where a program's certificate table begins; 0 when the file is not a
// program or carries no signature whose table lies within the file.
uint64_t CertificateTableOffset(std::span<const uint8_t> file);

// The part of file that an archive trailer ends: the whole file when its
// last 16 bytes are a trailer (an unsigned e-book, or anything that is not a
// program); for a signed program, the bytes before the certificate table
// without the zero bytes that align it. Never fails: a damaged header gives
// the whole file, where LocateArchive then reports what is wrong.
std::span<const uint8_t> BookPartOf(std::span<const uint8_t> file);

// LoadBookImage for any book file the tools are given, signed e-book
// programs included. Fails with the messages of LoadBookImage.
TBookImage LoadBookFile(const std::string& fileName);
