// The submitted lines of one large case, read and parsed on a second thread while the case's
// input lines are read and its tables built: the two files are independent until grading.
#pragma once

#include <array>
#include <cstdint>

#include "checker/key_line_stream.h"
#include "checker/line_reader.h"
#include "hashing/probing.h"
#include "hashing/thread_start.h"

/// What the read_key_line calls for a case's lines, one a strategy, on the output file gave, in
/// order: a read that failed ends the lines, as it ends the reading of a case.
struct submitted_lines {
  std::array<parsed_line, strategy_count> parsed;
  std::array<read_status, strategy_count> status = ended();
  std::array<std::int64_t, strategy_count> line_number{};
  int count = 0;  // lines read, up to and including a failed one
  // How many of the case's first lines are read ahead; the rest are read in turn from the file.
  int wanted = static_cast<int>(strategy_count);

  static std::array<read_status, strategy_count> ended() {
    std::array<read_status, strategy_count> all{};
    all.fill(read_status::end);
    return all;
  }
};

/// Owns the thread that reads the lines. Only a regular file is read ahead, so the thread never
/// waits on a writer that may never come; a reader used here must be left alone until `take`.
class line_prefetch {
 public:
  line_prefetch() = default;
  line_prefetch(const line_prefetch&) = delete;
  line_prefetch& operator=(const line_prefetch&) = delete;
  ~line_prefetch() = default;

  /// Starts reading a case's lines of `reader` on a thread, each keeping at most
  /// `key_limit` keys; where no thread can be had, reads them here. False, with nothing read, when
  /// the file is not a regular file.
  bool start(line_reader& reader, std::size_t key_limit = no_key_limit);

  /// As start, for the case's first `lines` lines alone, and only on a thread: where none can be
  /// had, reads nothing and returns false, and the lines are read in turn as they are graded.
  bool start_on_thread(line_reader& reader, std::size_t key_limit, int lines);

  /// True between a successful `start` and the `take` that follows it.
  [[nodiscard]] bool started() const { return pending_; }

  /// Waits for the lines; valid until the next `start`.
  submitted_lines& take();

 private:
  bool begin(line_reader& reader, std::size_t key_limit, int lines);
  static void* read_lines(void* self);
  line_reader* reader_ = nullptr;
  std::size_t key_limit_ = no_key_limit;
  submitted_lines lines_;
  bool pending_ = false;  // lines read, or being read, and not yet taken
  helper_thread thread_;  // joined before the lines it fills are gone
};
