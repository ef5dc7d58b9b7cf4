#pragma once

namespace meshweave::tool {

// Exit statuses of every command.
inline constexpr int exit_success = 0;
inline constexpr int exit_bad_input = 1;  // the input was read but refused, or a file failed
inline constexpr int exit_usage = 2;      // the command line itself is wrong

}  // namespace meshweave::tool
