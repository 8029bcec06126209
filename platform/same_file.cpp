// "Same file?" decided in one place, from the identities each system reports.
#include <platform/byte_file.h>
#include <platform/io_error.h>

namespace platform {

bool sameFile(const FileIdentity& known, const std::string& path)
{
    FileIdentity identity;
    return identityOf(path, identity) == IoCode::Ok && identity == known;
}

bool sameFile(const FileIdentity& known, const SystemFile& file)
{
    FileIdentity identity;
    return identityOf(file, identity) == IoCode::Ok && identity == known;
}

bool sameFile(const std::string& first, const std::string& second)
{
    FileIdentity identity;
    return identityOf(first, identity) == IoCode::Ok && sameFile(identity, second);
}

} // namespace platform
