// The safe compaction's fuzz target: decoding, runs and properties.
#include <tests/fuzz/safe_check.h>

#include <tests/support/escaped_text.h>
#include <tests/support/memory_file.h>
#include <tests/support/progress_recorder.h>

#include <algorithm>
#include <cctype>
#include <exception>

namespace {

struct Frame
{
    const char* opening;
    const char* closing;
    const char* forbidden[2]; // what the payload may not hold, letters without case
};

const Frame Frames[] = {
    {"", "", {nullptr, nullptr}},
    {"<pre>", "</pre>", {"</pre", nullptr}},
    {"<textarea>", "</textarea>", {"</textarea", nullptr}},
    {"<script>", "</script>", {"</script", nullptr}},
    {"<!--x", "-->", {"-->", "--!>"}},
    {"<div style=\"white-space:pre-wrap\">", "</div>", {"</div", nullptr}},
    {"<div class=k>", "</div><style>.k{white-space:pre}</style>", {nullptr, nullptr}},
    {"<svg>", "</svg>", {"</svg", nullptr}},
};

// Removes every occurrence of text, letters compared without case, until none is left.
void removeAll(std::string& s, const char* text)
{
    if (!text)
        return;
    const std::string want(text);
    for (;;) {
        const auto found = std::search(s.begin(), s.end(), want.begin(), want.end(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
        });
        if (found == s.end())
            return;
        s.erase(found, found + static_cast<std::ptrdiff_t>(want.size()));
    }
}

std::string cleaned(std::string payload, SafeFrame frame)
{
    if (frame == SafeFrame::StyleBlockAfter) { // nothing that could hide the stylesheet after it
        std::string plain;
        for (const char c : payload)
            if (std::isalpha(static_cast<unsigned char>(c)) || c == ' ' || c == '\t' || c == '\n')
                plain.push_back(c);
        return plain;
    }
    payload.erase(std::remove(payload.begin(), payload.end(), '\r'), payload.end());
    const Frame& f = Frames[static_cast<int>(frame)];
    for (int round = 0; round < 2; ++round) // a removal may join the pieces of the other text
        for (const char* text : f.forbidden)
            removeAll(payload, text);
    if (frame == SafeFrame::Comment && !payload.empty() && payload.back() == '-')
        payload.push_back('x'); // "-" before "-->" would still end there, but "--!" then "-->" would not
    return payload;
}

struct Outcome
{
    std::string output;
    std::string error;
    bool sourceKept = false;
    bool closed = false;
};

Outcome runOnce(const SafeCase& run, std::size_t blockSize, std::size_t readLimit)
{
    MemoryFile source(run.page);
    MemoryFile destination;
    if (readLimit != 0)
        source.maxRead = readLimit;
    ProgressRecorder gauge;
    Outcome outcome;
    try {
        const SafeCompaction compaction {run.language, nullptr, nullptr};
        const CompactionResult result = compactStreamSafe(source, destination, compaction, gauge, blockSize);
        if (result.written != static_cast<std::int64_t>(destination.data.size())
            || result.sourceSize != static_cast<std::int64_t>(run.page.size()))
            outcome.error = "the results are not the files' sizes";
    } catch (const std::exception& error) {
        outcome.error = error.what();
    }
    if (gauge.visible)
        outcome.error += " the gauge stays visible";
    outcome.output = destination.data;
    outcome.sourceKept = source.data == run.page;
    outcome.closed = source.closed && destination.closed;
    return outcome;
}

std::string withoutWhitespace(const std::string& text)
{
    std::string kept;
    for (const char c : text)
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\f')
            kept.push_back(c);
    return kept;
}

} // namespace

SafeCase decodeSafeCase(const std::uint8_t* data, std::size_t size)
{
    SafeCase run;
    const unsigned header = size > 0 ? data[0] : 0;
    run.language = (header & 8) != 0 ? SafeLanguage::Css : SafeLanguage::Html;
    run.frame = run.language == SafeLanguage::Css ? SafeFrame::None : static_cast<SafeFrame>(header & 7);
    run.readLimit = header >> 4;
    run.blockSize = size > 1 && data[1] != 0 ? 1 + (data[1] - 1u) % MaxSafeBlock : 0;
    const std::string body = size > 2 ? std::string(reinterpret_cast<const char*>(data) + 2, size - 2) : "";
    const std::size_t nul = body.find('\0');
    const std::string rest = run.frame == SafeFrame::None || nul == std::string::npos ? body : body.substr(nul + 1);
    if (run.frame != SafeFrame::None) {
        const Frame& f = Frames[static_cast<int>(run.frame)];
        run.opening = f.opening;
        run.payload = cleaned(body.substr(0, nul), run.frame);
        run.page = run.opening + run.payload + f.closing;
    }
    run.page += rest;
    return run;
}

std::string safeRunFault(const SafeCase& run)
{
    const Outcome got = runOnce(run, run.blockSize, run.readLimit);
    if (!got.error.empty())
        return "the run failed: " + got.error;
    if (!got.sourceKept || !got.closed)
        return "the source changed or a file stayed open";
    if (got.output.size() > run.page.size())
        return "the output is longer than the page";
    if (withoutWhitespace(got.output) != withoutWhitespace(run.page))
        return "a character other than whitespace changed: " + escaped(got.output);
    const std::string framed = run.opening + run.payload;
    if (got.output.compare(0, framed.size(), framed) != 0)
        return "the frame's content changed: " + escaped(got.output);
    const Outcome reference = runOnce(run, 0, 0);
    if (reference.output != got.output)
        return "the buffer or the reads changed the output: " + escaped(reference.output) + " against "
            + escaped(got.output);
    return {};
}
