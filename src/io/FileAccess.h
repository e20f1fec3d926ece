#pragma once
// Reading a user's file without ever blocking on it, and replacing a file only once its
// new content is complete: the one place a file is saved (io/Destination.h adds standard
// output and strings to it).

#include <cstddef>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace marlinq {

// What an errno means, in the words of the program's messages ("no such file",
// "permission denied", "read-only file system", ...; else the C library's text).
std::string errorText(int errorNumber);

// Reads the whole of the regular file path into bytes. A folder, a pipe, a device or a
// socket is refused at once (checked before opening, opened without blocking), as is a
// file of more than maxBytes bytes. On failure error holds "PATH: reason" and bytes is
// empty; missingFile (if given) tells a file that does not exist from other failures, and
// errorNumber (if given) receives the errno that names the failure (EISDIR for a folder,
// EFBIG for a file too large, EINVAL for a pipe, socket or device).
bool readRegularFile(const std::string& path, std::size_t maxBytes, std::string& bytes, std::string& error,
                     bool* missingFile = nullptr, int* errorNumber = nullptr);

// Writes a file through write() into a new temporary file in the folder of path, flushes
// it to the disk and renames it over path only when write() returned true and every byte
// was written. On any failure the temporary file is removed, path keeps its old content,
// and error holds "PATH: reason". A symbolic link at path is followed: its target is
// replaced. The new file takes the mode of the file it replaces, or 0666 less the
// umask for a new one, as a plainly created file would. A path naming anything but a
// regular file (a folder, a socket) is refused, except a character device (/dev/null, a
// terminal) or a FIFO: there is nothing to rename, so they are opened and written directly.
bool writeFileAtomically(const std::string& path, const std::function<bool(std::ostream&)>& write, std::string& error);
// The same for a text (or any bytes) known whole.
bool writeTextFileAtomically(const std::string& path, std::string_view text, std::string& error);

// Whether a and b name the same existing file (same device and inode), through links
// and different spellings of the path alike; false when either does not exist.
bool sameFile(const std::string& a, const std::string& b);

// Why a file could not be written at path, found before any work is done: a folder, a
// missing folder, a folder or file without write permission or on a read-only file
// system (a probe file is created and removed in the folder), a socket; nullopt when a
// write can succeed (a regular file, new or existing, a character device, a FIFO).
std::optional<std::string> outputFileProblem(const std::string& path);
// The same for a folder that files are to be written into (created when missing): it is
// a folder that takes new files, or the nearest existing folder above it does.
std::optional<std::string> outputFolderProblem(const std::string& path);
// Whether writing a and b would write one file: the same existing file (by device and
// inode, through links), or the same place once links and "." and ".." are resolved.
bool sameOutputFile(const std::string& a, const std::string& b);

}  // namespace marlinq
