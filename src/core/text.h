#pragma once
// Small text helpers shared by every library: printf-style formatting into a
// std::string, case changes and the parts of a '/'-separated path. One copy
// here, so that a fix (a long value, a path without a folder) reaches every
// caller.

#include <string>

namespace vistrel {

// printf-style formatting of any length (C locale for numbers, as the files
// and menu texts expect).
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
// ASCII case changes; other bytes are left as they are.
std::string ToLower(std::string text);
std::string ToUpper(std::string text);
// The last component of path ("a/b/c.pgx" -> "c.pgx"); path itself without a '/'.
std::string FileNameOf(const std::string& path);
// The file name's extension as written, without the dot; empty when there is none.
std::string ExtensionOf(const std::string& path);
// The file name without its extension ("a/b/c.pgx" -> "c").
std::string StemOf(const std::string& path);

}  // namespace vistrel
