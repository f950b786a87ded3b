// Failures of the HTTP engine and its client. The fixed texts are what a
// caller (and, for a handler failure, the HTTP peer) sees.
#pragma once

#include <string>

#include "runtime/exceptions.h"
#include "runtime/sockets.h"

EBOOK_DECLARE_EXCEPTION(EIdException, Exception);

// A socket operation failed (refused connection, reset, ...).
EBOOK_DECLARE_EXCEPTION(EIdSocketError, EIdException);

// Nothing arrived (or could be sent) within the time limit.
class EIdReadTimeout : public EIdException {
 public:
  EIdReadTimeout() : EIdException("Read timed out.") {}
};

class EIdConnectTimeout : public EIdException {
 public:
  EIdConnectTimeout() : EIdException("Connect timed out.") {}
};

// The peer closed the connection where more data was due.
class EIdConnClosedGracefully : public EIdException {
 public:
  EIdConnClosedGracefully() : EIdException("Connection closed gracefully.") {}
};

// The connection was shut down by this side (the server is stopping).
class EIdConnectionCancelled : public EIdException {
 public:
  EIdConnectionCancelled() : EIdException("Connection closed by the server.") {}
};

class EIdCouldNotBindSocket : public EIdException {
 public:
  EIdCouldNotBindSocket() : EIdException("Could not bind socket. Address and port are already in use.") {}
};

class EIdTerminateThreadTimeout : public EIdException {
 public:
  EIdTerminateThreadTimeout() : EIdException("Terminate Thread Timeout") {}
};

class EIdMaxLineLengthExceeded : public EIdException {
 public:
  EIdMaxLineLengthExceeded() : EIdException("Max line length exceeded.") {}
};

class EIdHTTPErrorParsingCommand : public EIdException {
 public:
  EIdHTTPErrorParsingCommand() : EIdException("Error in parsing command.") {}
};

class EIdHTTPUnsupportedAuthorisationScheme : public EIdException {
 public:
  EIdHTTPUnsupportedAuthorisationScheme() : EIdException("Unsupported authorization scheme.") {}
};

class EIdHTTPHeaderAlreadyWritten : public EIdException {
 public:
  EIdHTTPHeaderAlreadyWritten() : EIdException("Header has already been written.") {}
};

// A request the engine refuses to read further (oversized or malformed
// body framing); the connection is closed without an answer.
EBOOK_DECLARE_EXCEPTION(EIdHTTPBadRequest, EIdException);

// An answer the client cannot understand.
EBOOK_DECLARE_EXCEPTION(EIdHTTPInvalidResponse, EIdException);

// An HTTP answer with a status the client does not accept; the message is
// the answer's status line.
class EIdHTTPProtocolException : public EIdException {
 public:
  EIdHTTPProtocolException(int errorCode, std::string message)
      : EIdException(std::move(message)), ErrorCode(errorCode) {}

  int ErrorCode;
};

// Raises the engine's failure for a socket layer failure: a timeout as
// EIdReadTimeout (or EIdConnectTimeout while connecting), a local shutdown as
// EIdConnectionCancelled, anything else as EIdSocketError with the socket
// layer's message.
[[noreturn]] void RaiseIdSocketError(const ESocketError& error, bool connecting = false);
