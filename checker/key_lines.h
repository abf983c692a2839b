// A bad token of a key line, made fit for a message.
#pragma once

#include <string>
#include <string_view>

/// A token made fit for a one-line message: quoted, bytes outside printable ASCII and the quote
/// and backslash escaped, and cut after 40 bytes with "..." when longer, or when `cut` says the
/// token was longer than the bytes given.
std::string quote_token(std::string_view token, bool cut = false);
