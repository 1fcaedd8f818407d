// File helpers over the platform layer; paths are code-page byte strings.
#pragma once

#include <cstdint>
#include <cstdio>

#include "engine/core/TextBuffer.h"

namespace engine {

// Find-first meaning: a directory exists, and a wildcard pattern exists when
// something matches it.
int FileExists(const char* path);
// The path, with one trailing separator removed, names a directory.
int IsDirectory(const char* path);
int DeleteFileIfExists(const char* path);
// True when the path names a regular file (not a directory, FIFO or device).
bool IsRegularFile(const char* path);
// Length of the stream (0 when none or unseekable); the stream is left at its
// start. 64-bit, so files past 2 GiB are measured correctly.
std::int64_t GetOpenFileSize(std::FILE* stream);
// The system temporary directory (or the given one) with a trailing separator;
// 0 when it is missing or not a directory.
int ResolveTempDirectory(TextBuffer& directory, const char* given);
// directory + prefix + the first free number + ".tmp".
int MakeTempFileName(TextBuffer& result, const char* prefix, const char* directory);

}  // namespace engine
