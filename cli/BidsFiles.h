#pragma once

#include <string>
#include <vector>

// The files of a BIDS dataset as varelo-convert writes them: each written whole under a
// temporary name beside its place and only then given its name, so that a file is complete or
// absent; a new file never takes the place of one that exists.

using TsvRows = std::vector<std::vector<std::string>>;  // the header row first

// Tab-separated text, one line per row; tabs and line breaks inside a cell become blanks.
std::string TsvText(const TsvRows& rows);
// The rows of the TSV file at `path`, and its text; false with the reason in `error` when it
// cannot be read.
bool ReadTsv(const std::string& path, TsvRows& rows, std::string& text, std::string& error);

// Writes `text` as the new file `path`; false with the reason in `error`, also when `path`
// exists, which is left as it is.
bool WriteNewFile(const std::string& path, const std::string& text, std::string& error);
// Writes `text` in place of the file `path` (or as it, when it does not exist).
bool ReplaceFile(const std::string& path, const std::string& text, std::string& error);
// Gives the file `from` the name `to` unless `to` exists; false with the reason in `error`.
bool MoveWithoutReplacing(const std::string& from, const std::string& to, std::string& error);

bool PathExists(const std::string& path);
