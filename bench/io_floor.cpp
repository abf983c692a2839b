// The floor under the checker's large cases: one thread that maps the input and the output file,
// parses every key of both, and writes the transcript and the answer file of an all-Right run,
// one case at a time, with the ground truth taken from the output file and no table built. Each
// submitted line is formatted once and its text written three times (ground truth, echo, answer).
//   io_floor MODE INPUT OUTPUT     MODE 1: answer-only transcript, 0: checking transcript
// Writes the transcript to standard output and the answer to ./floor_answer.txt. Meant for the
// well-formed files of bench/; a byte that is not a digit or a space is skipped.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "hashing/huge_pages.h"

namespace {

// A file mapped whole for reading, unmapped at the end.
class mapped_file {
 public:
  explicit mapped_file(const char* path) {
    const int fd = ::open(path, O_RDONLY);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) return;
    size_ = static_cast<std::size_t>(info.st_size);
    void* memory = size_ == 0 ? nullptr : ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (memory == MAP_FAILED) return;
    data_ = static_cast<const char*>(memory);
    if (data_ != nullptr) ::madvise(memory, size_, MADV_SEQUENTIAL);
    ok_ = true;
  }
  mapped_file(const mapped_file&) = delete;
  mapped_file& operator=(const mapped_file&) = delete;
  ~mapped_file() {
    if (data_ != nullptr) ::munmap(const_cast<char*>(data_), size_);
  }
  [[nodiscard]] bool ok() const { return ok_; }
  [[nodiscard]] std::string_view text() const { return {data_, size_}; }

 private:
  const char* data_ = nullptr;
  std::size_t size_ = 0;
  bool ok_ = false;
};

// Cuts the next line off `rest` (without its line feed or a carriage return before it).
std::string_view next_line(std::string_view& rest) {
  const std::size_t feed = rest.find('\n');
  std::string_view line = rest.substr(0, feed);
  rest.remove_prefix(feed == std::string_view::npos ? rest.size() : feed + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

void parse_keys(std::string_view line, key_list& keys) {
  keys.clear();
  const char* at = line.data();
  const char* end = at + line.size();
  while (at < end) {
    std::int32_t value = 0;
    const auto [stop, error] = std::from_chars(at, end, value);
    if (error == std::errc{}) {
      if (keys.size() == keys.capacity()) reserve_keys(keys, keys.size() * 2 + 16);
      keys.push_back(value);
      at = stop;
    } else {
      ++at;
    }
  }
}

// Console form: every key followed by one space.
void format_keys(const key_list& keys, std::string& text) {
  text.clear();
  const std::size_t room = keys.size() * 12;
  if (text.capacity() < room) {
    std::string bigger;
    bigger.reserve(room);
    advise_huge_pages(bigger.data(), room);
    text.swap(bigger);
  }
  text.resize(room);
  char* at = text.data();
  for (const std::int32_t k : keys) {
    at = std::to_chars(at, at + 11, k).ptr;
    *at++ = ' ';
  }
  text.resize(static_cast<std::size_t>(at - text.data()));
}

// Buffered writes straight to a descriptor.
struct sink {
  int fd;
  std::string pending;
  void put(std::string_view text) {
    if (pending.size() + text.size() > (std::size_t{1} << 20)) flush();
    if (text.size() > (std::size_t{1} << 20)) {
      write_all(text);
    } else {
      pending.append(text);
    }
  }
  void flush() {
    write_all(pending);
    pending.clear();
  }
  void write_all(std::string_view text) const {
    while (!text.empty()) {
      const ssize_t wrote = ::write(fd, text.data(), text.size());
      if (wrote <= 0) return;
      text.remove_prefix(static_cast<std::size_t>(wrote));
    }
  }
};

// Writes one case; `lines` hold the three submitted lines in console form.
void write_case(sink& console, sink& answer, std::int64_t number, bool answer_only,
                const std::array<std::string, 3>& lines) {
  console.put("\n\n>>>>>>>>>>>>>>>>TEST Case: " + std::to_string(number) +
              "\n>>>>>>>>>>>>>>>>GROUND TRUTH:\n");
  for (const std::string& text : lines) {
    console.put(text);
    console.put("\n");
    answer.put(std::string_view(text).substr(0, text.empty() ? 0 : text.size() - 1));
    answer.put("\n");
  }
  if (answer_only) return;
  console.put("\n>>>>>>>>>>>>>>>>YOUR ANSWER:\n");
  for (const std::string& text : lines) {
    console.put(text);
    console.put("\n>>>>>Right\n");
  }
  console.put("\n[TEST RESULT] Right / All: 3/3:\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: io_floor MODE INPUT OUTPUT\n");
    return 2;
  }
  const bool answer_only = std::string_view(argv[1]) == "1";
  const mapped_file input(argv[2]);
  const mapped_file output(argv[3]);
  const int answer_fd = ::open("floor_answer.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (!input.ok() || !output.ok() || answer_fd < 0) {
    std::fprintf(stderr, "io_floor: a file could not be opened\n");
    return 255;
  }
  sink console{1, {}};
  sink answer{answer_fd, {}};
  std::string_view in = input.text();
  std::string_view out = output.text();
  key_list keys;
  parse_keys(next_line(in), keys);
  const std::int64_t cases = keys.empty() ? 0 : keys[0];
  std::array<std::string, 3> lines;
  for (std::int64_t number = 0; number < cases; ++number) {
    for (int i = 0; i < 3; ++i) parse_keys(next_line(in), keys);  // size line and both key lists
    for (std::string& text : lines) {
      parse_keys(next_line(out), keys);
      format_keys(keys, text);
    }
    write_case(console, answer, number, answer_only, lines);
  }
  const std::string all = std::to_string(3 * cases);
  if (!answer_only) {
    console.put("\n>>>>>>>>>>>>>>>>Summary\nSuccess/All: " + all + "/" + all +
                ":\nScore: " + (cases == 0 ? "0" : "100") + ":\n");
  }
  console.put("Press Any Key to Finish\nYou can find answer in [hash_answer.txt] file.\n");
  console.flush();
  answer.flush();
  ::close(answer_fd);
  return 0;
}
