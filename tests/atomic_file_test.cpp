// The same-file guard and atomic files.
#include "render/atomic_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/file_guard.h"

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void spill(const fs::path& path, const std::string& text) { std::ofstream(path) << text; }

class files : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("hash_checker_app_test_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "sub");
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string at(const std::string& name) const { return (dir_ / name).string(); }
  std::size_t entries() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), {}));
  }
  fs::path dir_;
};

TEST_F(files, same_file_clash_sees_through_names_links_and_dot_dot) {
  spill(at("answer"), "a");
  spill(at("other"), "o");
  fs::create_symlink(at("answer"), at("link"));
  fs::create_hard_link(at("answer"), at("hard"));
  const struct {
    std::string output;
    bool clash;
  } cases[] = {
      {at("answer"), true}, {at("sub/../answer"), true}, {at("link"), true},
      {at("hard"), true},   {at("other"), false},        {at("missing"), false},
  };
  for (const auto& c : cases) {
    const std::string clash =
        same_file_clash({{"Answer File", at("answer"), true}, {"Output File", c.output, false}});
    EXPECT_EQ(!clash.empty(), c.clash) << c.output;
    if (c.clash) {
      EXPECT_EQ(clash, "Output File " + c.output + " is the answer file " + at("answer") +
                           "; nothing was written");
    }
  }
  // Two reports that don't exist yet clash by their normalised paths.
  EXPECT_EQ(
      same_file_clash({{"JSON report", at("r"), true}, {"JUnit report", at("sub/../r"), true}}),
      "JUnit report " + at("sub/../r") + " is the JSON report " + at("r") +
          "; nothing was written");
  EXPECT_EQ(
      same_file_clash({{"Input File", at("other"), false}, {"Output File", at("other"), false}}),
      "");
  // Relative names, with and without "./", of a file not there yet.
  EXPECT_EQ(same_file_clash(
                {{"JSON report", "absent.json", true}, {"JUnit report", "./absent.json", true}}),
            "JUnit report ./absent.json is the JSON report absent.json; nothing was written");
  // The first clashing file in order names the first file it clashes with: a written one any
  // file, a read one only a written file.
  EXPECT_EQ(same_file_clash({{"Output File", at("other"), false},
                             {"Input File", at("other"), false},
                             {"JSON report", at("r"), true},
                             {"Output File", at("r"), false},
                             {"Gradebook", at("other"), true}}),
            "Output File " + at("r") + " is the JSON report " + at("r") + "; nothing was written");
  EXPECT_EQ(
      same_file_clash({{"Output File", at("other"), false},
                       {"Input File", at("other"), false},
                       {"Gradebook", at("other"), true}}),
      "Gradebook " + at("other") + " is the output file " + at("other") + "; nothing was written");
}

TEST_F(files, atomic_file_replaces_the_target_only_on_commit) {
  spill(at("answer"), "earlier");
  {
    atomic_file file;
    ASSERT_TRUE(file.open(at("answer")));
    put_text(file.out(), "abandoned");
    EXPECT_EQ(entries(), 3U);  // sub, answer and the temporary file
  }
  EXPECT_EQ(slurp(at("answer")), "earlier");
  EXPECT_EQ(entries(), 2U);
  atomic_file file;
  ASSERT_TRUE(file.open(at("answer")));
  put_text(file.out(), "new");
  ASSERT_TRUE(file.commit());
  EXPECT_EQ(slurp(at("answer")), "new");
  EXPECT_EQ(entries(), 2U);
}

// A large file goes to the disk in whole blocks once it has grown past a few megabytes: every byte
// lands in order whatever mix of short texts, long texts and syncs part way brought it there.
TEST_F(files, a_large_atomic_file_holds_every_byte_in_order) {
  constexpr std::size_t mib = std::size_t{1} << 20;
  constexpr std::size_t sync = 0;  // a piece of no bytes: flush_text_to_disk
  const std::vector<std::vector<std::size_t>> writes = {
      {17 * mib + 5, 3, 9 * mib + 4093, 1000, 2 * mib},
      {1000, 40 * 1000, 1000, 1000},  // 40,000 texts of 1,000 bytes in the second entry
      {20 * mib + 1, sync, 5, sync, 12 * mib + 7, 8 * mib, sync, 4096 * 3},
  };
  for (std::size_t row = 0; row < writes.size(); ++row) {
    SCOPED_TRACE(row);
    atomic_file file;
    ASSERT_TRUE(file.open(at("big")));
    std::string expected;
    const auto put = [&](std::size_t bytes) {
      std::string text(bytes, '\0');
      for (char& c : text) c = static_cast<char>('a' + (expected.size() + (&c - text.data())) % 23);
      put_text(file.out(), text);
      expected += text;
    };
    for (std::size_t i = 0; i < writes[row].size(); ++i) {
      const std::size_t bytes = writes[row][i];
      if (bytes == sync) {
        ASSERT_TRUE(flush_text_to_disk(file.out()));
      } else if (row == 1 && i == 1) {
        for (std::size_t n = 0; n < bytes / 1000; ++n) put(1000);
      } else {
        put(bytes);
      }
    }
    ASSERT_TRUE(file.commit());
    EXPECT_TRUE(slurp(at("big")) == expected);  // not EXPECT_EQ: no dump of 40 MB on failure
  }
}

TEST_F(files, atomic_file_replaces_a_symlink_and_refuses_what_it_cannot_create) {
  spill(at("target"), "precious");
  fs::create_symlink(at("target"), at("answer"));
  atomic_file file;
  ASSERT_TRUE(file.open(at("answer")));
  put_text(file.out(), "answer");
  ASSERT_TRUE(file.commit());
  EXPECT_FALSE(fs::is_symlink(at("answer")));
  EXPECT_EQ(slurp(at("target")), "precious");
  EXPECT_FALSE(file.open(at("sub")));             // a directory
  EXPECT_FALSE(file.open(at("missing/answer")));  // no such folder
  EXPECT_FALSE(file.open(""));
  EXPECT_FALSE(file.commit());  // nothing open
}

// Files finished without their own sync wait for sync_finished_files, which names the folders it
// could not sync (one removed under the run); each is created as a plain create would, with the
// umask's mode, whatever the umask.
TEST_F(files, unsynced_files_are_synced_together_and_keep_a_plain_create_mode) {
  const struct {
    mode_t umask;
    mode_t mode;
  } masks[] = {{022, 0644}, {077, 0600}, {002, 0664}};
  for (const auto& m : masks) {
    const mode_t earlier = ::umask(m.umask);
    fs::create_directories(at("gone"));
    atomic_file here;
    atomic_file below;
    atomic_file lost;
    atomic_file synced;
    ASSERT_TRUE(here.open(at("here")) && below.open(at("sub/below")) &&
                lost.open(at("gone/lost")) && synced.open(at("synced")));
    for (atomic_file* file : {&here, &below, &lost}) {
      put_text(file->out(), file->target());
      ASSERT_TRUE(file->finish(false));
      EXPECT_TRUE(file->awaits_sync());
    }
    ASSERT_TRUE(synced.finish());
    EXPECT_FALSE(synced.awaits_sync());
    fs::remove_all(at("gone"));
    atomic_file* const all[] = {&here, &synced, &lost, &below};
    EXPECT_EQ(sync_finished_files(all), std::vector<std::string>{at("gone")});
    for (atomic_file* file : {&here, &below, &synced}) {
      ASSERT_TRUE(file->publish());
      EXPECT_FALSE(file->awaits_sync());
      struct stat info {};
      ASSERT_EQ(::stat(file->target().c_str(), &info), 0);
      EXPECT_EQ(info.st_mode & 0777U, m.mode) << file->target();
    }
    EXPECT_EQ(slurp(at("sub/below")), at("sub/below"));
    EXPECT_FALSE(lost.publish());
    ::umask(earlier);
  }
}

// Binds a Unix socket at `path`; the descriptor, to close after the test.
int bound_socket(const std::string& path) {
  const int descriptor = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  EXPECT_EQ(::bind(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  return descriptor;
}

// Everything a reader of the FIFO at `path` gets until the writer closes it.
std::thread read_fifo(const std::string& path, std::string& text) {
  return std::thread([path, &text] { text = slurp(path); });
}

TEST_F(files, atomic_file_writes_through_a_fifo_and_refuses_what_it_must_not_replace) {
  ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0600), 0);
  fs::create_symlink(at("fifo"), at("to_fifo"));
  fs::create_symlink(at("sub"), at("to_folder"));
  fs::create_symlink(at("nowhere"), at("dangling"));
  const int socket = bound_socket(at("socket"));
  const struct {
    std::string name;
    target_kind kind;
  } kinds[] = {{"fifo", target_kind::device},   {"to_fifo", target_kind::device},
               {"sub", target_kind::directory}, {"to_folder", target_kind::directory},
               {"socket", target_kind::socket}, {"dangling", target_kind::absent},
               {"missing", target_kind::absent}};
  for (const auto& k : kinds) EXPECT_EQ(kind_of_target(at(k.name)), k.kind) << k.name;
  EXPECT_EQ(kind_of_target("-"), target_kind::standard_output);
  atomic_file file;
  for (const char* refused : {"sub", "to_folder", "socket"}) {
    EXPECT_FALSE(file.open(at(refused))) << refused;
  }
  // A FIFO, named or reached through a link, gets the text in place and stays what it was.
  for (const char* name : {"fifo", "to_fifo"}) {
    std::string received;
    std::thread reader = read_fifo(at("fifo"), received);
    ASSERT_TRUE(file.open(at(name)));
    EXPECT_TRUE(file.in_place());
    put_text(file.out(), name);
    EXPECT_TRUE(file.commit());
    reader.join();
    EXPECT_EQ(received, name);
  }
  EXPECT_TRUE(fs::is_fifo(at("fifo")));
  EXPECT_TRUE(fs::is_symlink(at("to_fifo")));
  // A dangling link is replaced like any other link; a name of the longest legal length still
  // leaves room for the temporary file's.
  const std::string longest(255, 'n');
  for (const std::string& name : {std::string("dangling"), longest}) {
    ASSERT_TRUE(file.open(at(name))) << name;
    EXPECT_FALSE(file.in_place());
    put_text(file.out(), "whole");
    EXPECT_TRUE(file.commit());
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(at(name)))) << name;
    EXPECT_EQ(slurp(at(name)), "whole");
  }
  ::close(socket);
}

// Temporary files come and go on two threads while another cleans up as a signal handler would:
// the cleanup must never read a path that is being freed (AddressSanitizer sees it if it does).
// Files written into a staging folder appear with it in one rename; when something took the
// folder's name meanwhile, one by one into it; a staging folder not published leaves nothing,
// nor one that the cleanup removes after its files; and none is made where anything stands.
TEST_F(files, a_staging_folder_brings_its_files_into_place_whole) {
  const struct {
    std::string name;
    bool taken_meanwhile;  // the target appears as a folder before publishing
    bool published;
    bool cleaned_up;  // remove_temporary_files_now instead of publishing
  } cases[] = {{"whole", false, true, false},
               {"one_by_one", true, true, false},
               {"dropped", false, false, false},
               {"cleaned_up", false, false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string target = at(c.name);
    {
      staging_folder staging;
      ASSERT_TRUE(staging.open(target));
      EXPECT_FALSE(fs::exists(target));
      atomic_file file;
      ASSERT_TRUE(file.open_staged(target + "/a.json", staging.path() + "/a.json"));
      file.out().pending += "text";
      ASSERT_TRUE(file.finish(false));
      if (c.taken_meanwhile) fs::create_directory(target);
      if (c.cleaned_up) remove_temporary_files_now();
      if (c.published && staging.publish()) {
        file.moved_with_folder();
      } else if (c.published) {
        EXPECT_TRUE(file.publish());
        staging.discard();
      }
    }
    EXPECT_EQ(fs::exists(target + "/a.json"), c.published);
    if (c.published) {
      EXPECT_EQ(slurp(target + "/a.json"), "text");
    }
    // Nothing but the target itself, if that was published or made.
    EXPECT_EQ(entries(), 1U + (c.published ? 1U : 0U)) << c.name;
    fs::remove_all(target);
  }
  staging_folder refused;
  EXPECT_FALSE(refused.open(at("sub")));
  fs::create_symlink(at("nowhere"), at("dangling"));
  EXPECT_FALSE(refused.open(at("dangling")));
  EXPECT_EQ(entries(), 2U);
}

TEST_F(files, temporary_files_can_be_cleaned_up_while_others_come_and_go) {
  std::atomic<bool> done{false};
  const auto churn = [&](const std::string& name) {
    for (int i = 0; i < 200; ++i) {
      atomic_file file;
      if (file.open(at(name))) file.commit();  // the cleanup may have taken its temporary file
    }
  };
  std::thread first(churn, "first");
  std::thread second(churn, "second");
  std::thread cleaner([&] {
    while (!done.load()) {
      remove_temporary_files_now();
      std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
  });
  first.join();
  second.join();
  done.store(true);
  cleaner.join();
  EXPECT_EQ(entries(), 1U + fs::exists(at("first")) + fs::exists(at("second")));
}

}  // namespace
