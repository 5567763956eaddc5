#pragma once

#include <string>
#include <string_view>
#include <vector>

// Which entries of a recording's directory are its channel files and its event files. Paths and
// names are UTF-8.

// A channel file's name ends in ".ocs" in any letter case, yet holds ".ocs" in small letters
// somewhere: the name with the extension in capitals only ("CSC1.OCS") is passed over.
bool IsChannelFileName(std::string_view name);
// An event file's name ends in ".oev" in any letter case, the name that makes the reader take a
// file without a -FileType line for an event file.
bool IsEventFileName(std::string_view name);

// Whether the entry `name` of `directory` is a channel file: its name is a channel file's and it
// is a regular file (a link to one counts).
bool IsChannelFile(const std::string& directory, const std::string& name);

// The channel files and the event files of `directory`, each in the listing order
// (DirectoryListing.h); what could be listed when the directory cannot be read (often nothing).
std::vector<std::string> ChannelFilesIn(const std::string& directory);
std::vector<std::string> EventFilesIn(const std::string& directory);
