// Failures of the system are exceptions that carry one message text. The
// message is what the reader (or an HTTP peer) finally sees, so it is kept
// verbatim and never decorated.
#pragma once

#include <exception>
#include <string>

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : Message(std::move(message)) {}
  const char* what() const noexcept override { return Message.c_str(); }

  std::string Message;
};

// Declares a failure class that only differs from its base by its type.
#define EBOOK_DECLARE_EXCEPTION(Name, Base) \
  class Name : public Base {                \
   public:                                  \
    using Base::Base;                       \
  }

EBOOK_DECLARE_EXCEPTION(EConvertError, Exception);
EBOOK_DECLARE_EXCEPTION(EStreamError, Exception);
EBOOK_DECLARE_EXCEPTION(EReadError, EStreamError);
EBOOK_DECLARE_EXCEPTION(EWriteError, EStreamError);
EBOOK_DECLARE_EXCEPTION(EFOpenError, EStreamError);
EBOOK_DECLARE_EXCEPTION(EFCreateError, EStreamError);
EBOOK_DECLARE_EXCEPTION(EOutOfMemory, Exception);

#ifdef __MINGW32__
#define EBOOK_PRINTF_FORMAT gnu_printf  // with __USE_MINGW_ANSI_STDIO the C99 forms work
#else
#define EBOOK_PRINTF_FORMAT printf
#endif

// printf-style formatting into a std::string, for message texts.
std::string Format(const char* format, ...) __attribute__((format(EBOOK_PRINTF_FORMAT, 1, 2)));
