// One portable error space. Each backend maps errno / GetLastError() onto it
// in one place.
#pragma once

namespace qv {

enum class Error {
  kNone = 0,
  kNotFound,      // no such file, directory or drive
  kAccessDenied,  // permissions, read-only target, not allowed
  kLocked,        // held open by another program (sharing violation / lease refused)
  kExists,        // target name already taken
  kNoSpace,       // disk full or quota exceeded
  kNotDirectory,  // a path component is not a directory
  kIsDirectory,   // a file operation on a directory
  kBadName,       // name too long or not representable
  kNotRegular,    // a symbolic link, FIFO, socket or device
  kIo,            // any other failure of the device
  kCrossDevice,   // source and target lie on different file systems
  kUnsafeLink,    // a link on the way is owned by an account the program does not trust
  kChanged,       // the name no longer names the file that was opened
};

// Short English name of an error, for diagnostics in tests.
const char* error_name(Error e);

}  // namespace qv
