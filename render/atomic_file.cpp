#include "render/atomic_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string_view>
#include <thread>

// The path of one temporary file that exists right now, for handlers that can't run destructors.
// Entries are reused but never freed, so a handler may walk the list while other threads add to
// it; `next` is set before an entry is published and never changes.
struct registry_entry {
  std::atomic<char*> path{nullptr};
  registry_entry* next = nullptr;
  registry_entry* next_free = nullptr;  // guarded by registry_mutex
};

namespace {

static_assert(std::atomic<char*>::is_always_lock_free &&
              std::atomic<registry_entry*>::is_always_lock_free &&
              std::atomic<int>::is_always_lock_free);

std::atomic<registry_entry*> registry_head{nullptr};
std::mutex registry_mutex;               // for threads adding and removing entries
registry_entry* free_entries = nullptr;  // guarded by registry_mutex
std::atomic<int> cleanups_running{0};    // handlers reading paths right now

constexpr const char* temporary_pattern = "/.hash_checker-XXXXXX";

// Held while a temporary file is created and registered, and while a set is published; a thread
// that seals the files takes it for good, so no file appears, and no set is renamed, after it.
std::mutex creation_mutex;
bool sealed = false;  // guarded by creation_mutex

registry_entry* register_path(const std::string& path) {
  char* copy = strdup(path.c_str());
  if (copy == nullptr) return nullptr;
  const std::lock_guard<std::mutex> lock(registry_mutex);
  registry_entry* entry = free_entries;
  if (entry != nullptr) {
    free_entries = entry->next_free;
  } else {
    entry = new (std::nothrow) registry_entry;
    if (entry == nullptr) {
      std::free(copy);
      return nullptr;
    }
    entry->next = registry_head.load();
    registry_head.store(entry);
  }
  entry->path.store(copy);
  return entry;
}

// The path is taken out of the entry, then freed once no handler is cleaning up: both sides are
// sequentially consistent, so a handler that started after the exchange finds the entry empty,
// and one that may hold the path is waited for. A handler never waits on anything, so this can't
// deadlock; it runs for a few system calls and then ends the process.
void unregister_path(registry_entry* entry) {
  if (entry == nullptr) return;
  char* path = entry->path.exchange(nullptr);
  while (cleanups_running.load() != 0) std::this_thread::yield();
  std::free(path);
  const std::lock_guard<std::mutex> lock(registry_mutex);
  entry->next_free = free_entries;
  free_entries = entry;
}

// The last six characters of a temporary file's name: a number drawn once per process, mixed
// with a count of the names tried, spelt in letters and digits. A name another process or a
// hostile submission took already is refused by the exclusive create, and the next is tried.
void fill_fresh_name(std::string& name) {
  static const std::uint64_t seed = [] {
    std::uint64_t drawn = 0;
    if (::getrandom(&drawn, sizeof drawn, GRND_NONBLOCK) != sizeof drawn) {
      drawn =
          static_cast<std::uint64_t>(::getpid()) ^
          static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    }
    return drawn;
  }();
  static std::atomic<std::uint64_t> tried{0};
  // splitmix64: neighbouring counts give unrelated names.
  std::uint64_t bits = seed + 0x9e3779b97f4a7c15U * (tried.fetch_add(1) + 1);
  bits = (bits ^ (bits >> 30U)) * 0xbf58476d1ce4e5b9U;
  bits = (bits ^ (bits >> 27U)) * 0x94d049bb133111ebU;
  bits ^= bits >> 31U;
  constexpr std::string_view letters =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (std::size_t i = name.size() - 6; i < name.size(); ++i, bits /= letters.size()) {
    name[i] = letters[bits % letters.size()];
  }
}

// Creates a new file under `name`, whose last six characters are replaced until a name is free.
// The mode is a plain create's, 0666 less the umask (or the folder's default ACL), with no
// second call to set it; a symlink planted at the name is never followed.
int create_temporary(std::string& name) {
  constexpr int attempts = 100;
  for (int attempt = 0; attempt < attempts; ++attempt) {
    fill_fresh_name(name);
    const int descriptor =
        ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (descriptor >= 0 || errno != EEXIST) return descriptor;
  }
  return -1;
}

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "" : path.substr(0, slash);
}

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The file on descriptor 1, when it is open for writing.
bool standard_output_file(struct stat& info) {
  const int flags = ::fcntl(STDOUT_FILENO, F_GETFL);
  if (flags == -1 || (flags & O_ACCMODE) == O_RDONLY) return false;
  return ::fstat(STDOUT_FILENO, &info) == 0;
}

void on_fatal_signal(int signal_number) {
  remove_temporary_files_now();
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

}  // namespace

target_kind kind_of_target(const std::string& path) {
  if (path == "-") return target_kind::standard_output;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return target_kind::absent;
  struct stat output {};
  if (standard_output_file(output) && same_file(info, output)) return target_kind::standard_output;
  if (S_ISREG(info.st_mode)) return target_kind::regular;
  if (S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode)) return target_kind::device;
  if (S_ISDIR(info.st_mode)) return target_kind::directory;
  if (S_ISSOCK(info.st_mode)) return target_kind::socket;
  return target_kind::block_device;
}

std::string_view refused_kind_text(target_kind kind) {
  switch (kind) {
    case target_kind::directory:
      return "a directory";
    case target_kind::socket:
      return "a socket";
    case target_kind::block_device:
      return "a block device";
    default:
      return "";
  }
}

atomic_file::~atomic_file() { discard(); }

bool atomic_file::open(const std::string& target) {
  discard();
  if (target.empty()) return false;
  const target_kind kind = kind_of_target(target);
  if (!refused_kind_text(kind).empty()) return false;
  if (kind == target_kind::standard_output) {
    return open_in_place(target, ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0));
  }
  if (kind == target_kind::device) {
    return open_in_place(target, ::open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
  }
  // A fixed short name, not the target's own, so that the longest legal target name still
  // leaves room for the temporary file's.
  std::string name = folder_of(target) + temporary_pattern;
  std::unique_lock<std::mutex> creating(creation_mutex);
  if (sealed) return false;
  const int descriptor = create_temporary(name);
  if (descriptor < 0) return false;
  entry_ = register_path(name);
  creating.unlock();
  return take_temporary(target, std::move(name), descriptor);
}

bool atomic_file::open_staged(const std::string& target, const std::string& staged) {
  if (staged.empty()) return open(target);
  discard();
  if (target.empty()) return false;
  std::unique_lock<std::mutex> creating(creation_mutex);
  if (sealed) return false;
  const int descriptor =
      ::open(staged.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (descriptor < 0) return false;
  entry_ = register_path(staged);
  creating.unlock();
  return take_temporary(target, staged, descriptor);
}

// Takes over the new temporary file `name`, open on `descriptor`, registered in entry_ (null when
// that failed: the file is then removed, and false returned).
bool atomic_file::take_temporary(const std::string& target, std::string name, int descriptor) {
  std::FILE* file = ::fdopen(descriptor, "w");
  // text_out buffers on its own: unbuffered, each of its flushes is one write, with no stdio
  // buffer to size (an fstat) or to pass the bytes through.
  if (file == nullptr || entry_ == nullptr || std::setvbuf(file, nullptr, _IONBF, 0) != 0) {
    if (file != nullptr) {
      std::fclose(file);
    } else {
      ::close(descriptor);
    }
    ::unlink(name.c_str());
    unregister_path(entry_);
    entry_ = nullptr;
    return false;
  }
  target_ = target;
  temporary_ = std::move(name);
  out_ = text_out{};
  out_.file = file;
  out_.early_writeback = true;
  return true;
}

bool atomic_file::open_in_place(const std::string& target, int descriptor) {
  if (descriptor < 0) return false;
  std::FILE* file = ::fdopen(descriptor, "w");
  if (file == nullptr) {
    ::close(descriptor);
    return false;
  }
  target_ = target;
  out_ = text_out{};
  out_.file = file;
  return true;
}

bool sync_file_system(const std::string& folder) {
  const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return false;
  const bool synced = ::syncfs(descriptor) == 0;
  ::close(descriptor);
  return synced;
}

std::vector<std::string> sync_file_systems(std::span<const std::string> folders) {
  std::vector<dev_t> synced;
  std::vector<std::string> failed;
  for (const std::string& folder : folders) {
    struct stat info {};
    const bool known = ::stat(folder.c_str(), &info) == 0;
    if (known && std::find(synced.begin(), synced.end(), info.st_dev) != synced.end()) continue;
    if (!sync_file_system(folder)) {
      failed.push_back(folder);
    } else if (known) {
      synced.push_back(info.st_dev);
    }
  }
  return failed;
}

std::vector<std::string> sync_finished_files(std::span<atomic_file* const> files) {
  std::vector<std::string> folders;  // each folder once, in the files' order
  for (const atomic_file* file : files) {
    if (!file->awaits_sync()) continue;
    std::string folder = folder_of(file->written_path());
    if (folder.empty()) folder.push_back('/');  // the root itself
    if (std::find(folders.begin(), folders.end(), folder) == folders.end()) {
      folders.push_back(std::move(folder));
    }
  }
  return sync_file_systems(folders);
}

bool atomic_file::commit() { return finish() && publish(); }

bool atomic_file::finish(bool sync) {
  if (out_.file == nullptr) return false;
  bool written = flush_text_whole(out_);
  if (sync && !temporary_.empty()) written = ::fsync(::fileno(out_.file)) == 0 && written;
  written = std::fclose(out_.file) == 0 && written;
  out_.file = nullptr;
  std::string().swap(out_.pending);  // a staged file may wait long for its rename
  if (!written) {
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    forget_temporary();
  }
  finished_ = written;
  awaits_sync_ = written && !sync && !temporary_.empty();
  return written;
}

bool atomic_file::publish() {
  if (!finished_) return false;
  finished_ = false;
  awaits_sync_ = false;
  if (temporary_.empty()) return true;  // written through
  const bool renamed = std::rename(temporary_.c_str(), target_.c_str()) == 0;
  if (!renamed) ::unlink(temporary_.c_str());
  forget_temporary();
  return renamed;
}

void atomic_file::moved_with_folder() {
  finished_ = false;
  awaits_sync_ = false;
  forget_temporary();
}

void atomic_file::forget_temporary() {
  unregister_path(entry_);
  entry_ = nullptr;
  temporary_.clear();
}

void atomic_file::discard() {
  if (out_.file != nullptr) std::fclose(out_.file);
  out_.file = nullptr;
  finished_ = false;
  awaits_sync_ = false;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  forget_temporary();
}

bool publish_unless_sealed(const std::function<void()>& publish_all) {
  const std::lock_guard<std::mutex> publishing(creation_mutex);
  if (sealed) return false;
  publish_all();
  return true;
}

void seal_temporary_files() {
  // Never unlocked: the caller ends the process, and any thread that comes to create or publish
  // a file meanwhile waits here until it does.
  creation_mutex.lock();  // NOLINT(bugprone-unused-return-value)
  sealed = true;
  remove_temporary_files_now();
}

void remove_temporary_files_now() {
  // A handler that changes errno would spoil it for the code it interrupted.
  const int interrupted_errno = errno;
  cleanups_running.fetch_add(1);
  // The files first, wherever their entries stand in the list, so that each staging folder is
  // empty when it is removed (unlink leaves a folder, rmdir a file).
  for (registry_entry* entry = registry_head.load(); entry != nullptr; entry = entry->next) {
    const char* path = entry->path.load();
    if (path != nullptr) ::unlink(path);
  }
  for (registry_entry* entry = registry_head.load(); entry != nullptr; entry = entry->next) {
    const char* path = entry->path.load();
    if (path != nullptr) ::rmdir(path);
  }
  cleanups_running.fetch_sub(1);
  errno = interrupted_errno;
}

staging_folder::~staging_folder() { discard(); }

bool staging_folder::open(const std::string& target) {
  discard();
  struct stat info {};
  if (target.empty() || ::lstat(target.c_str(), &info) == 0 || errno != ENOENT) return false;
  std::string name = folder_of(target) + temporary_pattern;
  const std::lock_guard<std::mutex> creating(creation_mutex);
  if (sealed) return false;
  constexpr int attempts = 100;
  bool made = false;
  for (int attempt = 0; attempt < attempts && !made; ++attempt) {
    fill_fresh_name(name);
    made = ::mkdir(name.c_str(), 0777) == 0;
    if (!made && errno != EEXIST) return false;
  }
  if (!made) return false;
  entry_ = register_path(name);
  if (entry_ == nullptr) {
    ::rmdir(name.c_str());
    return false;
  }
  target_ = target;
  path_ = std::move(name);
  return true;
}

bool staging_folder::publish() {
  if (path_.empty()) return false;
  if (std::rename(path_.c_str(), target_.c_str()) != 0) return false;
  unregister_path(entry_);
  entry_ = nullptr;
  path_.clear();
  return true;
}

void staging_folder::discard() {
  if (path_.empty()) return;
  ::rmdir(path_.c_str());
  unregister_path(entry_);
  entry_ = nullptr;
  path_.clear();
}

void remove_temporary_files_on_signals() {
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    std::signal(signal_number, on_fatal_signal);
  }
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}
