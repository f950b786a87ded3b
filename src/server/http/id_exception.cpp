#include "server/http/id_exception.h"

void RaiseIdSocketError(const ESocketError& error, bool connecting) {
  switch (error.Kind) {
    case TSocketErrorKind::TimedOut:
      if (connecting) throw EIdConnectTimeout();
      throw EIdReadTimeout();
    case TSocketErrorKind::Cancelled:
      throw EIdConnectionCancelled();
    case TSocketErrorKind::BindFailed:
      throw EIdCouldNotBindSocket();
    default:
      throw EIdSocketError(error.Message);
  }
}
