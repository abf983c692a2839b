// What a writer puts through a text_out, read back from a temporary file, for the renderer tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "render/text_out.h"

/// Runs `write` on a stream over a temporary file and returns every byte it wrote; a failed flush
/// fails the test.
inline std::string written(const std::function<void(text_out&)>& write) {
  text_out out{std::tmpfile(), {}, false};
  write(out);
  EXPECT_TRUE(flush_text(out));
  std::string text(static_cast<std::size_t>(std::ftell(out.file)), '\0');
  std::rewind(out.file);
  text.resize(std::fread(text.data(), 1, text.size(), out.file));
  std::fclose(out.file);
  return text;
}
