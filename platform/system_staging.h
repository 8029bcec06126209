// The calls each system makes for temporary and staged files, below the one policy of temporary_files.cpp, and
// the temporary names that policy makes. Not part of the platform's interface: nothing outside platform/ includes
// it but the platform's own tests.
#pragma once

#include <platform/byte_file.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace platform {

inline constexpr int NotSupported = 50; // the system's code for a call it does not offer

// The start of the temporary names beside path (in its folder) for a file or a link on its way there.
std::string temporaryPrefixBeside(const std::string& path);
// Calls make with names of prefix and six random letters or digits until one is not taken (make answers anything
// but FileExists, 80), and answers what make answered last; name is the last name tried.
int withTemporaryName(const std::string& prefix, const std::function<int(const std::string&)>& make,
                      std::string& name);

// Fills bytes from the system's source of randomness; false when it has none to give at once.
bool systemRandom(unsigned char* bytes, std::size_t n);

// Whether this process may give a file without a name its name.
bool canNameUnnamedFiles();
// A new file without any name in folder, readable and writable, with permissions (byte_file.h) less the umask.
// NotSupported where the folder's file system or the system makes none.
int createUnnamed(const std::string& folder, unsigned permissions, std::unique_ptr<SystemFile>& file);
// Gives the file without a name the name path, which must be free (FileExists, 80, when it is taken).
int nameUnnamed(const SystemFile& file, const std::string& path);

// Creates a file at path that no other program can open, and that is gone once closed.
int createPrivate(const std::string& path, std::unique_ptr<SystemFile>& file);

// Writes what the system holds of the file out to the disk; Ok where the file system keeps nothing to write.
int flushToDisk(const SystemFile& file);
// Gives file the owner and the permission bits (the attributes a user sets, on Windows) of the regular file at
// modelPath; anything else there is left as it is.
int adoptOwnerAndMode(const SystemFile& file, const std::string& modelPath);
// Sets when the open file's contents last changed; the time it was last read is left as it is.
int setModificationTime(const SystemFile& file, const FileTime& time);
// Removes the staged file's temporary name, also where its read-only attribute (Windows) would refuse it.
int removeStagedFile(const std::string& path);
// Moves the file at from to the name to, in one step. replace lets it take the place of whatever the name holds
// but a folder (a symbolic link as a name); otherwise the name must be free (80 when it is taken).
int moveFile(const std::string& from, const std::string& to, bool replace);

} // namespace platform
