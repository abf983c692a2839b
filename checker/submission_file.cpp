#include "checker/submission_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

std::string_view state_text(submission_state state) {
  switch (state) {
    case submission_state::graded:
      return "graded";
    case submission_state::empty:
      return "empty";
    case submission_state::unreadable:
      return "unreadable";
    case submission_state::transcript:
      return "transcript";
    case submission_state::open_failed:
      return "open failed";
    case submission_state::read_failed:
      return "read failed";
    case submission_state::symbolic_link:
      return "not graded: symbolic link";
    case submission_state::dangling_link:
      return "not graded: dangling link";
    case submission_state::fifo:
      return "not graded: fifo";
    case submission_state::socket:
      return "not graded: socket";
    case submission_state::out_of_memory:
      return "not graded: out of memory";
    case submission_state::not_picked:
      return "not graded: no file picked";
    case submission_state::no_variant:
      return "not graded: no variant for this student";
    case submission_state::no_student:
      return "not graded: matched to no student";
    case submission_state::device:
      break;
  }
  return "not graded: device";
}

bool was_graded(submission_state state) {
  return state == submission_state::graded || state == submission_state::empty ||
         state == submission_state::unreadable || state == submission_state::transcript;
}

submission_state state_of_kind(mode_t mode) {
  if (S_ISREG(mode)) return submission_state::graded;
  if (S_ISLNK(mode)) return submission_state::symbolic_link;
  if (S_ISFIFO(mode)) return submission_state::fifo;
  if (S_ISSOCK(mode)) return submission_state::socket;
  if (S_ISCHR(mode) || S_ISBLK(mode)) return submission_state::device;
  return submission_state::open_failed;
}

namespace {

// The state of an entry that lstat shows to be a link: dangling when nothing is at its end.
submission_state link_state(const std::string& path) {
  struct stat target {};
  return ::stat(path.c_str(), &target) == 0 ? submission_state::symbolic_link
                                            : submission_state::dangling_link;
}

// Looks at the entry as the listing did: a state to skip it, or `graded` to open it.
submission_state look_at(const std::string& path, bool follow_links) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return submission_state::open_failed;
  if (!S_ISLNK(info.st_mode)) return state_of_kind(info.st_mode);
  if (!follow_links) return link_state(path);
  if (::stat(path.c_str(), &info) != 0) return submission_state::dangling_link;
  return state_of_kind(info.st_mode);
}

}  // namespace

submission_state open_listed_submission(const std::string& path, bool follow_links,
                                        std::FILE** file) {
  *file = nullptr;
  const submission_state looked = look_at(path, follow_links);
  if (looked != submission_state::graded) return looked;
  // The entry may have been swapped since it was looked at: O_NOFOLLOW refuses a link put in its
  // place, O_NONBLOCK keeps a FIFO from holding the run, and fstat says what was really opened.
  const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (follow_links ? 0 : O_NOFOLLOW);
  const int fd = ::open(path.c_str(), flags);
  if (fd < 0) return errno == ELOOP ? link_state(path) : submission_state::open_failed;
  struct stat opened {};
  const submission_state state =
      ::fstat(fd, &opened) == 0 ? state_of_kind(opened.st_mode) : submission_state::open_failed;
  if (state == submission_state::graded) *file = ::fdopen(fd, "rb");
  if (*file != nullptr) return state;
  ::close(fd);
  return state == submission_state::graded ? submission_state::open_failed : state;
}
