#include "render/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Paths of the temporary files that exist right now, for handlers that can't run destructors.
// Each entry is a heap copy published with an atomic store, so a handler sees a whole path or
// none; a handful of files is all a run keeps open at once.
constexpr std::size_t registry_size = 16;
std::array<std::atomic<char*>, registry_size> registry{};

int register_path(const std::string& path) {
  char* copy = strdup(path.c_str());
  if (copy == nullptr) return -1;
  for (std::size_t i = 0; i < registry_size; ++i) {
    char* expected = nullptr;
    if (registry[i].compare_exchange_strong(expected, copy)) return static_cast<int>(i);
  }
  std::free(copy);
  return -1;
}

void unregister_path(int slot) {
  if (slot < 0) return;
  std::free(registry[static_cast<std::size_t>(slot)].exchange(nullptr));
}

// The permissions a plain create would give: 0666 less the umask, which can only be read by
// setting it, so it is read once and put back at once.
mode_t created_file_mode() {
  static const mode_t mode = [] {
    const mode_t mask = umask(0);
    umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
  }();
  return mode;
}

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_name_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void on_fatal_signal(int signal_number) {
  remove_temporary_files_now();
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

}  // namespace

atomic_file::~atomic_file() { discard(); }

bool atomic_file::open(const std::string& target) {
  discard();
  struct stat existing {};
  if (target.empty() || (::stat(target.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode))) {
    return false;
  }
  std::string name = folder_of(target) + "/." + base_name_of(target) + ".XXXXXX";
  const int descriptor = ::mkstemp(name.data());
  if (descriptor < 0) return false;
  slot_ = register_path(name);
  std::FILE* file = ::fdopen(descriptor, "w");
  if (file == nullptr || slot_ < 0 || ::fchmod(descriptor, created_file_mode()) != 0) {
    if (file != nullptr) {
      std::fclose(file);
    } else {
      ::close(descriptor);
    }
    ::unlink(name.c_str());
    unregister_path(slot_);
    slot_ = -1;
    return false;
  }
  target_ = target;
  temporary_ = std::move(name);
  out_ = text_out{};
  out_.file = file;
  out_.early_writeback = true;
  return true;
}

bool atomic_file::commit() {
  if (out_.file == nullptr) return false;
  bool written = flush_text(out_);
  written = ::fsync(::fileno(out_.file)) == 0 && written;
  written = std::fclose(out_.file) == 0 && written;
  out_.file = nullptr;
  written = written && std::rename(temporary_.c_str(), target_.c_str()) == 0;
  if (!written) ::unlink(temporary_.c_str());
  unregister_path(slot_);
  slot_ = -1;
  temporary_.clear();
  return written;
}

void atomic_file::discard() {
  if (out_.file != nullptr) std::fclose(out_.file);
  out_.file = nullptr;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
  unregister_path(slot_);
  slot_ = -1;
}

void remove_temporary_files_now() {
  for (auto& entry : registry) {
    const char* path = entry.load();
    if (path != nullptr) ::unlink(path);
  }
}

void remove_temporary_files_on_signals() {
  created_file_mode();  // read the umask now, not from a handler
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    std::signal(signal_number, on_fatal_signal);
  }
  std::signal(SIGPIPE, SIG_IGN);
}
