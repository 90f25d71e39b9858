// Held directories of the Windows backend: every name inside one is looked
// up, opened, renamed and removed relative to the directory's handle.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dir_search.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_security.h"
#include "platform/win32/win32_util.h"

namespace qv::win32 {

namespace {

constexpr OpenHow kDirSpec = {kDirAccess, kDirShare, kOpenExisting, kDirectoryOnly | kNoFollow};
// A hold writes to no directory: it asks for write access so that two holds
// exclude each other, and shares reading so that plain Dirs still open.
constexpr OpenHow kHoldSpec = {FILE_WRITE_DATA, FILE_SHARE_READ | FILE_SHARE_DELETE, kOpenExisting,
                               kDirectoryOnly};

// Names of files in flight begin with this: what remove_leftovers() may
// delete once no transfer holds it.
constexpr std::string_view kTempPrefix = ".~qvP";

FileInfo info_of_entry(const EntryFacts& facts, uint64_t device) {
  FileInfo out;
  out.attributes = dos_attributes(facts.attributes);
  bool dir = (facts.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  out.size = dir ? 0 : facts.size;
  out.mtime_ns = filetime_to_ns(facts.last_write);
  out.device = device;
  out.index = facts.id;
  return out;
}

// A byte that never belongs to a plain name read from a directory.
bool is_path_byte(char c) {
  auto u = static_cast<unsigned char>(c);
  return u < 32 || u == 127 || c == '\\' || c == '/' || c == ':';
}

// A name inside a Dir is one plain name: no path, no wildcard, no device
// syntax, never "." or "..".
Error check_name(const Text& name) {
  std::string_view n = name.view();
  if (n.empty() || n == "." || n == "..") return Error::kBadName;
  for (char c : n)
    if (is_path_byte(c) || std::string_view("*?<>\"|").find(c) != std::string_view::npos)
      return Error::kBadName;
  return Error::kNone;
}

// A fresh name for an entry in flight: the prefix, the process and a count.
Text fresh_name(std::string_view prefix) {
  static std::atomic<uint32_t> counter{0};
  uint32_t n = counter.fetch_add(1) * 0x9E3779B9u ^ GetTickCount();
  uint64_t value = (static_cast<uint64_t>(GetCurrentProcessId()) << 32) | n;
  Text out(prefix);
  for (int shift = 60; shift >= 0; shift -= 4) out += "0123456789abcdef"[(value >> shift) & 0xF];
  return out;
}

class Win32DirReader : public DirReader {
 public:
  Win32DirReader(HANDLE dir, uint64_t device) : listing_(dir), device_(device) {}
  DWORD error() const { return listing_.error(); }

  bool next(RawEntry& out) override {
    while (const FILE_ID_BOTH_DIR_INFO* e = listing_.next())
      if (take(*e, out)) return true;
    return false;
  }

 private:
  // Turns a listed entry into a RawEntry; false for entries never yielded.
  bool take(const FILE_ID_BOTH_DIR_INFO& e, RawEntry& out) const {
    std::wstring_view name(e.FileName, e.FileNameLength / sizeof(WCHAR));
    if (name == L"." || name == L".." || is_irregular(e.FileAttributes)) return false;
    std::string oem;
    if (!narrow_to_cp866(name, oem) || oem.size() > Text::kMax) return false;
    if (std::any_of(oem.begin(), oem.end(), is_path_byte)) return false;
    EntryFacts facts;
    facts.attributes = e.FileAttributes;
    facts.size = static_cast<uint64_t>(e.EndOfFile.QuadPart);
    facts.last_write.dwLowDateTime = e.LastWriteTime.LowPart;
    facts.last_write.dwHighDateTime = static_cast<DWORD>(e.LastWriteTime.HighPart);
    facts.id = static_cast<uint64_t>(e.FileId.QuadPart);
    out.name.assign(oem);
    out.info = info_of_entry(facts, device_);
    return true;
  }

  DirectoryListing listing_;
  uint64_t device_;
};

class Win32Dir;

// Every Dir of this process, so that removing a directory can first let go
// of the handles this process itself keeps on it (a POSIX directory can be
// removed while open; a Windows one only once no handle shuts deletion out).
std::mutex& live_dirs_mutex() {
  static std::mutex m;
  return m;
}
std::vector<Win32Dir*>& live_dirs() {
  static std::vector<Win32Dir*> dirs;
  return dirs;
}

class Win32Dir : public Dir {
 public:
  Win32Dir(HANDLE h, Text path) : h_(h), path_(std::move(path)) {
    BY_HANDLE_FILE_INFORMATION bh;
    if (handle_facts(h_, bh) == ERROR_SUCCESS) {
      device_ = bh.dwVolumeSerialNumber;
      index_ = index_of(bh);
    }
    std::lock_guard<std::mutex> lock(live_dirs_mutex());
    live_dirs().push_back(this);
  }
  ~Win32Dir() override {
    {
      std::lock_guard<std::mutex> lock(live_dirs_mutex());
      auto& dirs = live_dirs();
      dirs.erase(std::remove(dirs.begin(), dirs.end(), this), dirs.end());
    }
    release();
  }

  HANDLE handle() const { return h_; }

  // Closes this Dir's handles; it then reaches nothing any more.
  void release() {
    if (hold_ != INVALID_HANDLE_VALUE) CloseHandle(hold_);
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    hold_ = h_ = INVALID_HANDLE_VALUE;
  }
  bool is(uint64_t device, uint64_t index) const {
    return h_ != INVALID_HANDLE_VALUE && device_ == device && index_ == index;
  }

  const Text& path() const override { return path_; }
  Error info(FileInfo& out) override { return info_of_handle(h_, out); }
  std::unique_ptr<DirReader> list(Error& err) override;
  Error stat(const Text& name, FileInfo& out) override;
  std::unique_ptr<Dir> open_dir(const Text& name, Error& err) override;
  Error make_dir(const Text& name) override;
  Error remove_dir(const Text& name) override;
  std::unique_ptr<Dir> make_hold_dir(Text& name, Error& err) override;
  bool hold() override;
  std::unique_ptr<File> open_read(const Text& name, Error& err) override;
  std::unique_ptr<File> open_source(const Text& name, Error& err) override;
  std::unique_ptr<File> create_temp(Error& err) override;
  Error publish(File& file, const Text& name, bool replace) override;
  Error rename(const Text& name, Dir& to, const Text& to_name) override;
  Error sync() override;
  void remove_leftovers() override;

 private:
  // Looks `name` up in the listing; links and devices are kNotRegular.
  Error look_up(const Text& name, EntryFacts& facts);
  // Opens the entry `name` the listing showed as `facts`, checking that the
  // handle holds that very entry.
  HANDLE open_entry(const Text& name, const EntryFacts& facts, const OpenHow& how, Error& err);
  std::unique_ptr<File> open_file(const Text& name, const OpenHow& how, bool source, Error& err);
  // kNone when the sub-directory `name` (listed as `facts`) is empty,
  // kExists when it holds anything.
  Error emptiness(const Text& name, const EntryFacts& facts);

  HANDLE h_;
  HANDLE hold_ = INVALID_HANDLE_VALUE;
  Text path_;
  uint64_t device_ = 0;
  uint64_t index_ = 0;
};

// Lets go of this process's own Dirs on a directory; false when there are none.
bool release_live_dirs(uint64_t device, uint64_t index) {
  std::lock_guard<std::mutex> lock(live_dirs_mutex());
  bool any = false;
  for (Win32Dir* d : live_dirs()) {
    if (!d->is(device, index)) continue;
    d->release();
    any = true;
  }
  return any;
}

template <class T>
std::unique_ptr<T> fail(Error& err, Error e) {
  err = e;
  return nullptr;
}

std::unique_ptr<DirReader> Win32Dir::list(Error& err) {
  auto reader = std::make_unique<Win32DirReader>(h_, device_);
  if (reader->error() != ERROR_SUCCESS)
    return fail<DirReader>(err, error_from_win32(reader->error()));
  err = Error::kNone;
  return reader;
}

Error Win32Dir::look_up(const Text& name, EntryFacts& facts) {
  if (Error e = check_name(name); e != Error::kNone) return e;
  DWORD code = query_entry(h_, widen(name), facts);
  if (code != ERROR_SUCCESS) return error_from_win32(code);
  return is_irregular(facts.attributes) ? Error::kNotRegular : Error::kNone;
}

Error Win32Dir::stat(const Text& name, FileInfo& out) {
  EntryFacts facts;
  Error e = look_up(name, facts);
  if (e == Error::kNone) out = info_of_entry(facts, device_);
  return e;
}

HANDLE Win32Dir::open_entry(const Text& name, const EntryFacts& facts, const OpenHow& how,
                            Error& err) {
  DWORD code = 0;
  HANDLE h = open_relative(h_, widen(name), how, code);
  if (h == INVALID_HANDLE_VALUE) {
    err = error_from_win32(code);
    return h;
  }
  BY_HANDLE_FILE_INFORMATION bh;
  err = handle_facts(h, bh) == ERROR_SUCCESS ? Error::kNone : Error::kIo;
  if (err == Error::kNone && is_irregular(bh.dwFileAttributes)) err = Error::kNotRegular;
  // Another entry put under the name after the look-up is not the one checked.
  if (err == Error::kNone && facts.id != 0 && index_of(bh) != facts.id) err = Error::kChanged;
  if (err == Error::kNone && how.options & kFileOnly && GetFileType(h) != FILE_TYPE_DISK)
    err = Error::kNotRegular;
  if (err != Error::kNone) {
    CloseHandle(h);
    h = INVALID_HANDLE_VALUE;
  }
  return h;
}

std::unique_ptr<Dir> Win32Dir::open_dir(const Text& name, Error& err) {
  EntryFacts facts;
  if ((err = look_up(name, facts)) != Error::kNone) return nullptr;
  if (!(facts.attributes & FILE_ATTRIBUTE_DIRECTORY)) return fail<Dir>(err, Error::kNotDirectory);
  HANDLE h = open_entry(name, facts, kDirSpec, err);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<Win32Dir>(h, join_path(path_, name));
}

Error Win32Dir::make_dir(const Text& name) {
  if (Error e = check_name(name); e != Error::kNone) return e;
  DWORD code = 0;
  HANDLE h = open_relative(
      h_, widen(name), {FILE_READ_ATTRIBUTES, kShareAll, kCreateNew, kDirectoryOnly | kNoFollow},
      code);
  if (h == INVALID_HANDLE_VALUE) return error_from_win32(code);
  CloseHandle(h);
  return Error::kNone;
}

Error Win32Dir::emptiness(const Text& name, const EntryFacts& facts) {
  constexpr OpenHow kList = {FILE_LIST_DIRECTORY, kShareAll, kOpenExisting,
                             kDirectoryOnly | kNoFollow};
  Error err = Error::kNone;
  HANDLE h = open_entry(name, facts, kList, err);
  if (h == INVALID_HANDLE_VALUE) return err;
  DirectoryListing listing(h);
  err = error_from_win32(listing.error());
  while (const FILE_ID_BOTH_DIR_INFO* e = err == Error::kNone ? listing.next() : nullptr) {
    std::wstring_view n(e->FileName, e->FileNameLength / sizeof(WCHAR));
    if (n != L"." && n != L"..") err = Error::kExists;
  }
  CloseHandle(h);
  return err;
}

Error Win32Dir::remove_dir(const Text& name) {
  EntryFacts facts;
  if (Error e = look_up(name, facts); e != Error::kNone) return e;
  if (!(facts.attributes & FILE_ATTRIBUTE_DIRECTORY)) return Error::kNotDirectory;
  constexpr OpenHow kRemove = {DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kShareAll,
                               kOpenExisting, kDirectoryOnly | kNoFollow};
  Error err = Error::kNone;
  HANDLE h = open_entry(name, facts, kRemove, err);
  if (err == Error::kLocked) {
    // Perhaps only this process's own Dirs keep it: let go of them, but
    // only for a removal that can succeed.
    if (Error e = emptiness(name, facts); e != Error::kNone) return e;
    if (release_live_dirs(device_, facts.id)) h = open_entry(name, facts, kRemove, err);
  }
  if (h == INVALID_HANDLE_VALUE) return err;
  err = error_from_win32(delete_on_close(h));
  CloseHandle(h);
  return err;
}

std::unique_ptr<Dir> Win32Dir::make_hold_dir(Text& name, Error& err) {
  PrivateSecurity security;
  if (security.get() == nullptr) return fail<Dir>(err, Error::kAccessDenied);
  constexpr OpenHow kCreate = {kDirAccess, kDirShare, kCreateNew, kDirectoryOnly | kNoFollow};
  for (int attempt = 0; attempt < 64; ++attempt) {
    name = fresh_name(kHoldPrefix);
    DWORD code = 0;
    HANDLE h = open_relative(h_, widen(name), kCreate, code, security.get());
    if (h == INVALID_HANDLE_VALUE && code == ERROR_ALREADY_EXISTS) continue;
    if (h == INVALID_HANDLE_VALUE) return fail<Dir>(err, error_from_win32(code));
    auto dir = std::make_unique<Win32Dir>(h, join_path(path_, name));
    if (dir->hold()) {
      err = Error::kNone;
      return dir;
    }
    dir.reset();
    remove_dir(name);
    return fail<Dir>(err, Error::kLocked);
  }
  return fail<Dir>(err, Error::kExists);
}

bool Win32Dir::hold() {
  if (hold_ != INVALID_HANDLE_VALUE) return true;
  DWORD code = 0;
  hold_ = open_relative(h_, L"", kHoldSpec, code);
  return hold_ != INVALID_HANDLE_VALUE;
}

std::unique_ptr<File> Win32Dir::open_file(const Text& name, const OpenHow& how, bool source,
                                          Error& err) {
  EntryFacts facts;
  if ((err = look_up(name, facts)) != Error::kNone) return nullptr;
  if (facts.attributes & FILE_ATTRIBUTE_DIRECTORY) return fail<File>(err, Error::kIsDirectory);
  HANDLE h = open_entry(name, facts, how, err);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<Win32File>(h, source);
}

std::unique_ptr<File> Win32Dir::open_read(const Text& name, Error& err) {
  return open_file(name, {GENERIC_READ, kShareAll, kOpenExisting, kFileOnly | kNoFollow}, false,
                   err);
}

std::unique_ptr<File> Win32Dir::open_source(const Text& name, Error& err) {
  // Attribute access lets remove() clear a read-only bit for the removal;
  // an account without it still takes the file, only without that.
  OpenHow how = {GENERIC_READ | DELETE | FILE_WRITE_ATTRIBUTES, 0, kOpenExisting,
                 kFileOnly | kNoFollow};
  auto file = open_file(name, how, true, err);
  if (file || err != Error::kAccessDenied) return file;
  how.access &= ~FILE_WRITE_ATTRIBUTES;
  return open_file(name, how, true, err);
}

std::unique_ptr<File> Win32Dir::create_temp(Error& err) {
  constexpr OpenHow kCreate = {GENERIC_READ | GENERIC_WRITE | DELETE, 0, kCreateNew,
                               kFileOnly | kNoFollow};
  for (int attempt = 0; attempt < 64; ++attempt) {
    DWORD code = 0;
    HANDLE h = open_relative(h_, widen(fresh_name(kTempPrefix)), kCreate, code);
    if (h == INVALID_HANDLE_VALUE && code == ERROR_ALREADY_EXISTS) continue;
    if (h == INVALID_HANDLE_VALUE) return fail<File>(err, error_from_win32(code));
    err = Error::kNone;
    auto file = std::make_unique<Win32File>(h, false);
    file->set_in_flight(true);
    return file;
  }
  return fail<File>(err, Error::kExists);
}

Error Win32Dir::publish(File& file, const Text& name, bool replace) {
  auto* f = dynamic_cast<Win32File*>(&file);
  if (f == nullptr) return Error::kIo;
  Error e = rename_into(f->handle(), *this, name, replace);
  if (e == Error::kNone) f->set_in_flight(false);
  return e;
}

Error Win32Dir::rename(const Text& name, Dir& to, const Text& to_name) {
  if (Error e = check_name(to_name); e != Error::kNone) return e;
  EntryFacts facts;
  if (Error e = look_up(name, facts); e != Error::kNone) return e;
  Error err = Error::kNone;
  HANDLE h =
      open_entry(name, facts, {DELETE | FILE_READ_ATTRIBUTES, 0, kOpenExisting, kNoFollow}, err);
  if (h == INVALID_HANDLE_VALUE) return err;
  err = rename_into(h, to, to_name, false);
  CloseHandle(h);
  return err;
}

Error Win32Dir::sync() {
  DWORD code = 0;
  HANDLE h =
      open_relative(h_, L"", {FILE_WRITE_DATA, kShareAll, kOpenExisting, kDirectoryOnly}, code);
  if (h == INVALID_HANDLE_VALUE) return error_from_win32(code);
  bool ok = FlushFileBuffers(h);
  code = ok ? ERROR_SUCCESS : GetLastError();
  CloseHandle(h);
  // A file system that cannot flush a directory on its own writes its
  // entries through its journal: there is nothing left to flush.
  return code == ERROR_INVALID_FUNCTION ? Error::kNone : error_from_win32(code);
}

void Win32Dir::remove_leftovers() {
  Error err = Error::kNone;
  auto reader = list(err);
  if (!reader) return;
  constexpr OpenHow kDelete = {DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kShareAll,
                               kOpenExisting, kFileOnly | kNoFollow};
  RawEntry entry;
  while (reader->next(entry)) {
    if (entry.name.view().substr(0, kTempPrefix.size()) != kTempPrefix) continue;
    if (entry.info.attributes & kAttrDirectory) continue;
    // A running transfer holds its file in flight with share mode 0, so
    // this open fails for it and succeeds only for what a crash left.
    DWORD code = 0;
    HANDLE h = open_relative(h_, widen(entry.name), kDelete, code);
    if (h == INVALID_HANDLE_VALUE) continue;
    delete_on_close(h);
    CloseHandle(h);
  }
}

}  // namespace

std::unique_ptr<Dir> dir_of_handle(HANDLE h, Text path) {
  return std::make_unique<Win32Dir>(h, std::move(path));
}

Error rename_into(HANDLE file, Dir& to, const Text& name, bool replace) {
  auto* dir = dynamic_cast<Win32Dir*>(&to);
  if (dir == nullptr) return Error::kIo;
  if (Error e = check_name(name); e != Error::kNone) return e;
  return error_from_win32(rename_relative(file, dir->handle(), widen(name), replace));
}

}  // namespace qv::win32
