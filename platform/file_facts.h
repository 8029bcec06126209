// What one look at a file or a name tells: whether an open file is regular and its size believable, whether a
// file may be written, and what a name holds. The same on every system; every int is an I/O code as
// byte_file.h describes.
#pragma once

#include <platform/byte_file.h>

#include <cstdint>
#include <memory>
#include <string>

// What a name holds, as far as writing a new file under it goes.
enum class NameContents
{
    Nothing,     // the name is free
    RegularFile, // replaced by a staged file
    Folder,      // never replaced
    Stream,      // a device, a FIFO or a socket, or a symbolic link to one or to an open descriptor
                 // (/dev/stdout): written as it is, never replaced
    Link,        // any other symbolic link, a dangling one too: replaced as a name, its target left alone
};

namespace platform {

// What one look at an open file tells.
struct FileFacts
{
    bool regular = false;
    // A regular file whose size can be believed. The pseudo-files of /proc report 0 and those of /sys a page
    // whatever they hold, and neither stores a block; such a file must be read to its end instead.
    bool reliableSize = false;
    std::int64_t size = 0;
    FileIdentity identity;
    unsigned permissions = DefaultFileBits; // as byte_file.h describes them: what a copy of the file is made with
    FileTime modified; // when its contents last changed
};
int factsOf(const SystemFile& file, FileFacts& facts);
// openExisting for reading, and factsOf the file opened, in one look.
int openExistingWithFacts(const std::string& path, std::unique_ptr<SystemFile>& file, FileFacts& facts);

// Whether the file at path, not following a symbolic link, may be written by this process: Ok, or the code of
// the refusal (AccessDenied, 5, for a read-only file).
int checkWritable(const std::string& path);

// Looks at what the name holds without following a symbolic link, except to see whether it leads to a device.
// A free name is Ok with NameContents::Nothing; only a name that cannot be looked at fails.
int contentsOfName(const std::string& path, NameContents& contents);

} // namespace platform
