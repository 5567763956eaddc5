#pragma once

#include <string>
#include <vector>

// The names in a directory ("." and ".." left out), in the acquisition workstation's listing
// order: ASCII letters folded to upper case, then byte by byte. The order decides the order of a
// recording's channels, so it is the same on every run. false, with the system's error number,
// when the directory cannot be read.
bool ListDirectory(const std::string& utf8Directory, std::vector<std::string>& names, int& errorNumber);

// Whether `a` comes before `b` in the listing order.
bool ListingOrder(const std::string& a, const std::string& b);

// Whether `a` comes before `b` in the natural order of names: runs of digits compare as numbers
// (CSC2 before CSC10), everything else byte by byte; names that tie so (CSC01 and CSC1), and
// names without digits, in plain byte order.
bool NaturalOrder(const std::string& a, const std::string& b);
