// The safe compaction on two open files: the language by the file's name, and the rules for stylesheets,
// scripts and everything else; HTML is in safe_html.cpp.
#include <engine/safe_compaction.h>

#include <engine/destination_writer.h>
#include <engine/line_input.h>
#include <engine/preserved_names.h>
#include <engine/progress_meter.h>
#include <engine/run_frame.h>
#include <engine/safe_html.h>
#include <engine/source_reader.h>
#include <engine/stylesheet_loader.h>

#include <platform/byte_file.h>

#include <algorithm>
#include <cctype>
#include <memory>

namespace {

constexpr int End = LineInput::End;

// Copies the buffered characters up to the first that isStop accepts or a CR (not consumed); false at the end.
template <class IsStop>
bool copyWhileNot(SourceReader& source, DestinationWriter& destination, ProgressMeter& progress, IsStop isStop)
{
    for (;;) {
        if (source.next() == source.end()) {
            if (source.atEnd())
                return false;
            source.refill();
        }
        const unsigned char* const p = source.next();
        const unsigned char* q = p;
        while (q != source.end() && *q != '\r' && !isStop(*q))
            ++q;
        destination.write(p, static_cast<std::size_t>(q - p));
        source.skipTo(q);
        progress.reached(source.position());
        if (q != source.end())
            return true;
    }
}

// Scripts: a CR before an LF goes and a lone CR becomes LF; both are line ends to the language.
void compactScript(SourceReader& source, DestinationWriter& destination, ProgressMeter& progress)
{
    LineInput in(source);
    while (copyWhileNot(source, destination, progress, [](unsigned char) { return false; }))
        destination.write(static_cast<unsigned char>(in.get()));
}

bool isCssSpace(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f';
}

bool isHexDigit(int c)
{
    return std::isxdigit(c) != 0;
}

// Stylesheets: each run of whitespace outside strings and comments becomes one character, LF if it held a line
// break (form feeds are line breaks to CSS); after an escape's hex digits, the one whitespace character that ends
// it is part of it and stays. Strings and comments are copied.
void compactCss(SourceReader& source, DestinationWriter& destination, ProgressMeter& progress)
{
    LineInput in(source);
    const auto special = [](unsigned char c) {
        return isCssSpace(c) || c == '"' || c == '\'' || c == '/' || c == '\\';
    };
    while (copyWhileNot(source, destination, progress, special)) {
        int c = in.get();
        if (isCssSpace(c)) {
            bool lineBreak = false;
            for (; isCssSpace(c); c = in.get())
                lineBreak = lineBreak || c == '\n' || c == '\f';
            destination.write(lineBreak ? '\n' : ' ');
            if (c != End)
                in.unget();
        } else if (c == '"' || c == '\'') {
            destination.write(static_cast<unsigned char>(c));
            const int quote = c;
            for (c = in.get(); c != End && c != quote && c != '\n'; c = in.get()) {
                destination.write(static_cast<unsigned char>(c));
                if (c == '\\' && (c = in.get()) != End)
                    destination.write(static_cast<unsigned char>(c));
            }
            if (c != End)
                destination.write(static_cast<unsigned char>(c));
        } else if (c == '/') {
            destination.write('/');
            if ((c = in.get()) != '*') {
                if (c != End)
                    in.unget();
                continue;
            }
            destination.write('*');
            for (int previous = 0; (c = in.get()) != End; previous = c) {
                destination.write(static_cast<unsigned char>(c));
                if (previous == '*' && c == '/')
                    break;
            }
        } else if (c == '\\') {
            destination.write('\\');
            if ((c = in.get()) == End)
                continue;
            destination.write(static_cast<unsigned char>(c));
            if (!isHexDigit(c))
                continue;
            int digits = 1;
            for (c = in.get(); digits < 6 && isHexDigit(c); c = in.get(), ++digits)
                destination.write(static_cast<unsigned char>(c));
            if (isCssSpace(c))
                destination.write(static_cast<unsigned char>(c));
            else if (c != End)
                in.unget();
        }
    }
}

void copyVerbatim(SourceReader& source, DestinationWriter& destination, ProgressMeter& progress)
{
    while (!source.atEnd()) {
        if (source.next() == source.end())
            source.refill();
        destination.write(source.next(), static_cast<std::size_t>(source.end() - source.next()));
        source.skipTo(source.end());
        progress.reached(source.position());
    }
}

void compactHtml(SourceReader& source, DestinationWriter& destination, ProgressMeter& progress,
                 const SafeCompaction& compaction)
{
    // Its size does not grow with the page, but is too large for the stack of a worker thread.
    const auto names = std::make_unique<PreservedNames>();
    StylesheetLoader loader(compaction.stylesheets, *names, compaction.notes);
    const std::int64_t unterminatedAt = readPageStyles(source, *names, loader);
    source.rewindTo(0);
    compactPage(source, destination, progress, *names, unterminatedAt);
}

std::string lowerExtension(std::string_view path)
{
    const std::size_t name = path.find_last_of("/\\");
    const std::string_view base = name == std::string_view::npos ? path : path.substr(name + 1);
    const std::size_t dot = base.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return {};
    std::string extension(base.substr(dot + 1));
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

} // namespace

SafeLanguage safeLanguageOf(std::string_view path)
{
    if (path == "-")
        return SafeLanguage::Html;
    const std::string extension = lowerExtension(path);
    for (const char* html : {"htm", "html", "shtml", "xhtml", "xht"})
        if (extension == html)
            return SafeLanguage::Html;
    if (extension == "css")
        return SafeLanguage::Css;
    for (const char* script : {"js", "mjs", "cjs"})
        if (extension == script)
            return SafeLanguage::Script;
    return SafeLanguage::Verbatim;
}

CompactionResult compactStreamSafe(ByteFile& source, ByteFile& destination, const SafeCompaction& compaction,
                                   ProgressSink& progress, std::size_t blockSize)
{
    return runFramed(source, destination, progress, [&](std::int64_t size) {
        SourceReader reader(source, size, runBlockSize(size, blockSize));
        DestinationWriter writer(destination, runBlockSize(size, blockSize));
        ProgressMeter meter(progress, size);
        writeOutAfter(writer, [&] {
            switch (compaction.language) {
            case SafeLanguage::Html:
                compactHtml(reader, writer, meter, compaction);
                break;
            case SafeLanguage::Css:
                compactCss(reader, writer, meter);
                break;
            case SafeLanguage::Script:
                compactScript(reader, writer, meter);
                break;
            case SafeLanguage::Verbatim:
                copyVerbatim(reader, writer, meter);
                break;
            }
            meter.reached(size);
        });
        return CompactionResult {size, writer.written()};
    });
}
