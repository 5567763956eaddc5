#pragma once

#include <string>

// Writes every byte of `bytes` to `fd`, riding over interrupted and short writes; false when the
// descriptor takes no more (its errno tells why).
bool WriteAll(int fd, const std::string& bytes);
