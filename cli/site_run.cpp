// Runs of snellitore-cli that write into a folder: the walk of a site, several files, and the folders they need.
#include <cli/site_run.h>

#include <cli/messages.h>
#include <cli/name_masks.h>
#include <cli/ordered_run.h>

#include <platform/directory.h>
#include <platform/io_error.h>
#include <platform/process.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace Text {
constexpr const char* InsideSource = "Destination folder lies inside the source folder";
constexpr const char* NotAFolder = "Not a folder";
constexpr const char* TakenByNoFolder = "File exists, and is no folder";
constexpr const char* DotDot = "'..' after the part of the path that exists";
constexpr const char* LinkToFolder = "symbolic link to a folder not followed";
constexpr const char* LinkSkipped = "symbolic link skipped (--copy-others recreates it)";
constexpr const char* NotRegular = "skipped: no regular file";
constexpr const char* SameName = "skipped: an earlier SOURCE has the same name";
} // namespace Text

struct Refusal
{
    std::string path;
    std::string text;
};

std::string joined(const std::string& folder, const std::string& name)
{
    return folder.empty() || folder.back() == '/' ? folder + name : folder + '/' + name;
}

// What comes after the last separator: the whole path when there is none.
std::string namePart(const std::string& path)
{
    return path.substr(platform::nameStart(path));
}

// The path without the slashes that end it ("/" stays "/").
std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// The folders of the mirror are made with the bits of the source folders they mirror, less the umask, as new
// copies get them. One whose owner could not add the files to it is made open to the owner while the run fills it
// and narrowed to those bits once the run is done, the innermost first.
class MirroredFolders
{
public:
    int create(const std::string& path, unsigned permissions)
    {
        if ((permissions & OwnerAll) == OwnerAll)
            return platform::createFolder(path, permissions);
        const int code = platform::createFolder(path, permissions | OwnerAll);
        if (code == IoCode::Ok)
            m_narrowLater.emplace_back(path, permissions);
        return code;
    }

    // Answers the exit code of a run that answered code; a folder that cannot be narrowed is a failure.
    int narrow(int code, std::ostream& err)
    {
        for (auto folder = m_narrowLater.rbegin(); folder != m_narrowLater.rend(); ++folder) {
            if (const int failed = platform::limitFolderPermissions(folder->first, folder->second)) {
                err << messageLine(folder->first, ioErrorText(failed));
                code = ExitCode::IoError;
            }
        }
        m_narrowLater.clear();
        return code;
    }

private:
    static constexpr unsigned OwnerAll = 0700;
    std::vector<std::pair<std::string, unsigned>> m_narrowLater;
};

// The bits of the source folder at path; the default where it cannot be looked at, as its walk then reports.
unsigned folderBitsOf(const std::string& path)
{
    unsigned permissions = platform::DefaultFolderBits;
    return platform::permissionsOf(path, permissions) == IoCode::Ok ? permissions : platform::DefaultFolderBits;
}

// Makes the destination folder and the levels above it that are missing. When source is given, the folder must
// not be the source folder nor lie inside it, which is settled on the deepest level that exists already,
// before anything is created: a new folder below it is no more inside than it is. When mirror is given, the
// destination folder itself mirrors the source folder; the levels above it get the default bits.
std::optional<Refusal> prepareRoot(const std::string& destination, const std::optional<FileIdentity>& source,
                                   MirroredFolders* mirror = nullptr, unsigned sourceBits = 0)
{
    const std::string path = withoutTrailingSlashes(destination);
    std::string existing = path;
    std::vector<std::string> missing;
    for (;;) {
        EntryKind kind;
        if (platform::entryKindOf(existing, kind) == IoCode::Ok) {
            if (!platform::leadsToFolder(existing))
                return Refusal { existing, Text::NotAFolder };
            break;
        }
        missing.push_back(namePart(existing));
        if (platform::nameStart(existing) == 0) {
            existing = ".";
            break;
        }
        existing = platform::folderOf(existing);
    }
    if (std::find(missing.begin(), missing.end(), "..") != missing.end())
        return Refusal { destination, Text::DotDot };
    if (source) {
        bool within = false;
        if (const int code = platform::folderIsWithin(existing, *source, within))
            return Refusal { existing, failureText(code, existing) };
        if (within)
            return Refusal { destination, Text::InsideSource };
    }
    std::string level = missing.empty() || existing == "." ? std::string() : existing;
    if (!missing.empty() && existing == "." && path.rfind("./", 0) == 0)
        level = ".";
    // The deepest level made is the destination folder itself ("out/." names "out").
    const auto own = std::find_if(missing.begin(), missing.end(), [](const std::string& name) { return name != "."; });
    for (auto name = missing.rbegin(); name != missing.rend(); ++name) {
        level = level.empty() ? *name : joined(level, *name);
        if (*name == ".")
            continue;
        const bool mirrored = mirror && own != missing.end() && &*name == &*own;
        const int code = mirrored ? mirror->create(level, sourceBits) : platform::createFolder(level);
        if (code != IoCode::Ok && !(code == IoCode::FileExists && platform::leadsToFolder(level)))
            return Refusal { level, failureText(code, level) };
    }
    return std::nullopt;
}

// Sorted as their paths compare byte by byte: a folder's files come where "name/" sorts, so that the
// depth-first walk yields every path in sorted order without collecting them.
void sortAsPaths(std::vector<FolderEntry>& entries)
{
    for (FolderEntry& entry : entries)
        if (entry.kind == EntryKind::Folder)
            entry.name += '/';
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    for (FolderEntry& entry : entries)
        if (entry.kind == EntryKind::Folder)
            entry.name.pop_back();
}

// The walk of a site, shared by the run and by the count of its bytes that --progress needs first.
class SiteWalk
{
public:
    struct Visitor
    {
        // Before a folder's walk: false leaves the folder out.
        std::function<bool(const std::string& source, const std::string& destination)> enterFolder;
        std::function<void(FileAction, const std::string& source, const std::string& destination)> file;
        std::function<void(const std::string& path, const std::string& text, bool failed)> note;
        std::function<bool()> stopping;
    };

    SiteWalk(const CliOptions& options, Visitor visitor)
        : m_options(options)
        , m_masks(options.match)
        , m_visitor(std::move(visitor))
    {
    }

    void walk(const std::string& source, const std::string& destination)
    {
        std::vector<FolderEntry> entries;
        if (const int code = platform::listFolder(source, entries)) {
            m_visitor.note(source, failureText(code, source), true);
            return;
        }
        sortAsPaths(entries);
        for (const FolderEntry& entry : entries) {
            if (m_visitor.stopping())
                return;
            const std::string from = joined(source, entry.name);
            const std::string to = joined(destination, entry.name);
            switch (entry.kind) {
            case EntryKind::Folder:
                if (m_visitor.enterFolder(from, to))
                    walk(from, to);
                break;
            case EntryKind::File:
                if (m_masks.matches(entry.name))
                    m_visitor.file(FileAction::Compact, from, to);
                else if (m_options.copyOthers)
                    m_visitor.file(FileAction::Copy, from, to);
                break;
            case EntryKind::Link:
                if (m_options.copyOthers)
                    m_visitor.file(FileAction::Link, from, to);
                else if (platform::leadsToFolder(from))
                    m_visitor.note(from, Text::LinkToFolder, false);
                else if (m_masks.matches(entry.name))
                    m_visitor.note(from, Text::LinkSkipped, false);
                break;
            case EntryKind::Other:
                if (m_options.copyOthers || m_masks.matches(entry.name))
                    m_visitor.note(from, Text::NotRegular, false);
                break;
            }
        }
    }

private:
    const CliOptions& m_options;
    NameMasks m_masks;
    Visitor m_visitor;
};

// A folder of the mirror: made when missing, with the bits of the source folder it mirrors; one that exists keeps
// its own and must be a real folder (a link there is not written through) outside the source folder.
std::optional<std::string> prepareFolder(const std::string& from, const std::string& path, const FileIdentity& source,
                                         MirroredFolders& mirror)
{
    const int code = mirror.create(path, folderBitsOf(from));
    if (code == IoCode::Ok)
        return std::nullopt;
    if (code != IoCode::FileExists)
        return failureText(code, path);
    EntryKind kind = EntryKind::Other;
    if (platform::entryKindOf(path, kind) != IoCode::Ok || kind != EntryKind::Folder)
        return std::string(Text::TakenByNoFolder);
    bool within = false;
    if (const int check = platform::folderIsWithin(path, source, within))
        return failureText(check, path);
    if (within)
        return std::string(Text::InsideSource);
    return std::nullopt;
}

std::int64_t siteBytes(const CliOptions& options, const std::string& source)
{
    std::int64_t total = 0;
    SiteWalk count(options,
                   { [](const std::string&, const std::string&) { return true; },
                     [&total](FileAction action, const std::string& from, const std::string&) {
                         std::int64_t bytes = 0;
                         if (action != FileAction::Link && platform::fileSizeOf(from, bytes) == IoCode::Ok)
                             total += bytes;
                     },
                     [](const std::string&, const std::string&, bool) {},
                     [] { return platform::interruptSignal().load() != 0; } });
    count.walk(source, std::string());
    return total;
}

int refuse(const Refusal& refusal, std::ostream& err)
{
    err << messageLine(refusal.path, refusal.text);
    return ExitCode::IoError;
}

int runSite(const CliOptions& options, std::ostream& err)
{
    const std::string& source = options.source;
    FileIdentity sourceIdentity;
    if (const int code = platform::identityOf(source, sourceIdentity))
        return refuse({ source, failureText(code, source) }, err);
    if (!platform::leadsToFolder(source))
        return refuse({ source, Text::NotAFolder }, err);
    MirroredFolders mirror;
    if (const auto refusal = prepareRoot(options.destination, sourceIdentity, &mirror, folderBitsOf(source)))
        return refuse(*refusal, err);
    // Percentages need the total first; the line redrawn on a terminal does without it.
    const bool percentages = options.progress && !platform::standardErrorIsTerminal();
    const std::int64_t total = percentages ? siteBytes(options, source) : -1;
    OrderedRun run(options, err, total);
    SiteWalk walk(options,
                  { [&](const std::string& from, const std::string& folder) {
                       const auto failure = prepareFolder(from, folder, sourceIdentity, mirror);
                       if (failure)
                           run.note(folder, *failure, true);
                       return !failure;
                   },
                    [&](FileAction action, const std::string& from, const std::string& to) {
                        run.add(action, from, to);
                    },
                    [&](const std::string& path, const std::string& text, bool failed) {
                        run.note(path, text, failed);
                    },
                    [&] { return run.stopping(); } });
    walk.walk(source, options.destination);
    return mirror.narrow(run.finish(), err);
}

// Several SOURCEs, or one with a DEST ending in "/": each goes into the folder under its own name.
int runSeveral(const CliOptions& options, std::ostream& err)
{
    if (options.destination.back() != '/' && !platform::leadsToFolder(options.destination)) {
        err << programLine("unexpected operand '" + options.moreSources.front() + "'") << usageText();
        return ExitCode::UsageError;
    }
    if (const auto refusal = prepareRoot(options.destination, std::nullopt))
        return refuse(*refusal, err);
    std::vector<std::string> sources { options.source };
    sources.insert(sources.end(), options.moreSources.begin(), options.moreSources.end());
    std::int64_t total = -1;
    if (options.progress) {
        total = 0;
        for (const std::string& source : sources) {
            std::int64_t bytes = 0;
            if (platform::fileSizeOf(source, bytes) == IoCode::Ok)
                total += bytes;
        }
    }
    OrderedRun run(options, err, total);
    std::set<std::string> names; // two files of one name would race for it
    for (const std::string& source : sources) {
        if (run.stopping())
            break;
        const std::string name = namePart(withoutTrailingSlashes(source));
        if (!names.insert(name).second)
            run.note(source, Text::SameName, true);
        else
            run.add(FileAction::Compact, source, joined(options.destination, name));
    }
    return run.finish();
}

} // namespace

int runIntoFolder(const CliOptions& options, std::ostream& err)
{
    platform::catchInterrupts(platform::InterruptStop::AtNextStep);
    return options.recursive ? runSite(options, err) : runSeveral(options, err);
}
