// Where a downloaded sound goes: the program's own directory, under a name
// made safe from the page's title, written so that a failure never destroys
// an earlier file of the same name.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "text/text.h"

namespace velinor {

// The directory that holds the running program file.
std::filesystem::path RunDirectory();
// Makes RunDirectory give `directory` instead; an empty path restores the
// program's own. For tests, which cannot move their own program file.
void SetRunDirectoryForTesting(std::filesystem::path directory);

// The file name for a sound titled `title` (code page 936): the title as
// UTF-8 with ".mp3" appended, made safe for any file system. Path
// separators, "." and ".." steps, control characters and \ / : * ? " < > |
// become "_"; trailing dots and spaces go; a Windows device name gets a "_"
// prefix; the name is cut at a character boundary to fit 255 bytes. The
// result always names a file directly inside a directory.
std::string SoundFileName(std::string_view title);

// Writes `bytes` to `path` through a temporary file in the same directory,
// renamed over the target only when everything was written and flushed.
// False, with the target untouched, when anything fails or `path` is empty.
// A successful write also removes the temporary files that writers killed
// half-way left in that directory; those of live writers stay.
bool WriteFileBytes(const std::filesystem::path& path, const ByteBuffer& bytes);

}  // namespace velinor
