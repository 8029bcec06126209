// The runs on named files: CompactFile and CompactFileSafe open and guard both ends; CanOpenFile.
#include <engine/compaction.h>
#include <engine/safe_compaction.h>

#include <platform/byte_file.h>
#include <platform/io_error.h>
#include <platform/file_facts.h>
#include <platform/temporary_files.h>

#include <memory>

namespace {

constexpr int NotAFileCode = 132; // the system's code for a seek on a device, as a pipe asked for its size answers

// Refuses a destination that is the source under another spelling or through a link: creating it
// would empty the source before a single character was read.
void refuseSameFile(const SystemFile& source, const std::string& destinationPath)
{
    FileIdentity sourceId;
    if (platform::identityOf(source, sourceId) == IoCode::Ok && platform::sameFile(sourceId, destinationPath))
        throw EInOutError(IoCode::AccessDenied, SameFileText);
}

// Only regular files are compacted: a pipe opened for writing as well never ends, a device may not end either,
// and neither has a size. A pseudo-file's size says nothing, so it is first read to its end into a temporary file.
// Answers the source's permission bits, which a new destination is created with.
unsigned prepareSource(std::unique_ptr<SystemFile>& source)
{
    platform::FileFacts facts;
    if (platform::factsOf(*source, facts) != IoCode::Ok || !facts.regular)
        throw EInOutError(NotAFileCode);
    if (facts.reliableSize)
        return facts.permissions;
    std::unique_ptr<SystemFile> spooled;
    bool inTemporary = false;
    check(platform::spoolToTemporaryFile(*source, spooled, inTemporary));
    check(source->close());
    source = std::move(spooled);
    return facts.permissions;
}

// Opens the source, guards it, and creates the destination: a new file gets the source's permission bits less the
// umask, as a copy does; a file emptied in place keeps its own.
void openBothEnds(const std::string& sourcePath, const std::string& destinationPath, DestinationCreation creation,
                  std::unique_ptr<SystemFile>& source, std::unique_ptr<SystemFile>& destination)
{
    check(platform::openExisting(sourcePath, FileAccess::ReadWrite, source));
    refuseSameFile(*source, destinationPath);
    const unsigned permissions = prepareSource(source);
    check(creation == DestinationCreation::MustNotExist
              ? platform::createNew(destinationPath, destination, permissions)
              : platform::createAlways(destinationPath, destination, permissions));
}

} // namespace

CompactionResult CompactFile(const std::string& sourcePath, const std::string& destinationPath,
                             const CompactionOptions& options, ProgressSink& progress, DestinationCreation creation)
{
    std::unique_ptr<SystemFile> source;
    std::unique_ptr<SystemFile> destination;
    openBothEnds(sourcePath, destinationPath, creation, source, destination);
    return compactStream(*source, *destination, options, progress);
}

CompactionResult CompactFileSafe(const std::string& sourcePath, const std::string& destinationPath,
                                 ProgressSink& progress, DestinationCreation creation, std::vector<std::string>* notes,
                                 const std::string& siteRoot)
{
    std::unique_ptr<SystemFile> source;
    std::unique_ptr<SystemFile> destination;
    openBothEnds(sourcePath, destinationPath, creation, source, destination);
    FolderStylesheets stylesheets(sourcePath, siteRoot);
    const SafeCompaction compaction {safeLanguageOf(sourcePath), &stylesheets, notes};
    return compactStreamSafe(*source, *destination, compaction, progress);
}

bool CanOpenFile(const std::string& path)
{
    std::unique_ptr<SystemFile> file;
    return platform::openExisting(path, FileAccess::ReadWrite, file) == IoCode::Ok && file->close() == IoCode::Ok;
}
