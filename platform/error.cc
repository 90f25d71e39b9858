#include "platform/error.h"

namespace qv {

const char* error_name(Error e) {
  switch (e) {
    case Error::kNone:
      return "none";
    case Error::kNotFound:
      return "not found";
    case Error::kAccessDenied:
      return "access denied";
    case Error::kLocked:
      return "locked";
    case Error::kExists:
      return "exists";
    case Error::kNoSpace:
      return "no space";
    case Error::kNotDirectory:
      return "not a directory";
    case Error::kIsDirectory:
      return "is a directory";
    case Error::kBadName:
      return "bad name";
    case Error::kNotRegular:
      return "not a regular file";
    case Error::kIo:
      return "i/o error";
    case Error::kCrossDevice:
      return "another file system";
    case Error::kUnsafeLink:
      return "untrusted link";
    case Error::kChanged:
      return "name changed";
  }
  return "unknown";
}

}  // namespace qv
