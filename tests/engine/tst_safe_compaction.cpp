// The safe compaction on files in memory: one table per rule, stylesheets linked and imported, languages by
// name, where a stylesheet link leads, and the promises every run keeps (results, gauge, failures).
#include <tests/support/memory_file.h>
#include <tests/support/progress_recorder.h>

#include <engine/safe_compaction.h>
#include <engine/stylesheet_memo.h>
#include <platform/io_error.h>

#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <string>
#include <vector>

namespace {

const std::string Many(300, ' '); // longer than a rewind can reach inside the buffer of the smallest readings

struct Reading
{
    const char* name;
    std::size_t blockSize; // 0: the engine's default
    std::size_t maxRead;
};

const Reading Readings[] = {
    {"Block1", 1, std::numeric_limits<std::size_t>::max()},
    {"Block7", 7, std::numeric_limits<std::size_t>::max()},
    {"DefaultBlock", 0, std::numeric_limits<std::size_t>::max()},
    {"ShortReads", 0, 3},
};

// Stylesheets in memory, by the href the page writes.
class MemoryStylesheets final : public StylesheetFinder
{
public:
    explicit MemoryStylesheets(std::map<std::string, std::string> sheets, StylesheetMemo* memo = nullptr)
        : m_sheets(std::move(sheets))
        , m_memo(memo)
    {
    }
    bool locate(std::string_view href, const std::string*, std::string& name) override
    {
        name = href;
        return true;
    }
    StylesheetMemo* memo() override { return m_memo; }
    int opened = 0;
    std::unique_ptr<ByteFile> open(std::string_view href, const std::string*, std::string& name,
                                   std::string& note) override
    {
        const auto found = m_sheets.find(std::string(href));
        if (found == m_sheets.end()) {
            note = "not found";
            return nullptr;
        }
        name = found->first;
        ++opened;
        return std::make_unique<MemoryFile>(found->second);
    }

private:
    std::map<std::string, std::string> m_sheets;
    StylesheetMemo* m_memo;
};

struct SafeRun
{
    std::string output;
    CompactionResult result;
    std::vector<std::string> notes;
    ProgressRecorder progress;
    bool closed = false;
    bool sourceUnchanged = false;
};

SafeRun runSafe(const std::string& input, SafeLanguage language, const Reading& reading,
                const std::map<std::string, std::string>& sheets = {})
{
    SafeRun run;
    MemoryFile source(input);
    MemoryFile destination;
    source.maxRead = reading.maxRead;
    MemoryStylesheets finder(sheets);
    const SafeCompaction compaction {language, &finder, &run.notes};
    run.result = compactStreamSafe(source, destination, compaction, run.progress, reading.blockSize);
    run.output = destination.data;
    run.closed = source.closed && destination.closed;
    run.sourceUnchanged = source.data == input;
    return run;
}

struct SafeCase
{
    std::string name;
    std::string input;
    std::string output;
    SafeLanguage language = SafeLanguage::Html;
};

void PrintTo(const SafeCase& c, std::ostream* out)
{
    *out << c.name;
}
void PrintTo(const Reading& r, std::ostream* out)
{
    *out << r.name;
}

class SafeCaseTest : public ::testing::TestWithParam<std::tuple<SafeCase, Reading>>
{
};

TEST_P(SafeCaseTest, CompactsAsExpected)
{
    const auto& [c, reading] = GetParam();
    const SafeRun run = runSafe(c.input, c.language, reading);
    EXPECT_EQ(run.output, c.output);
    EXPECT_EQ(run.result.sourceSize, static_cast<std::int64_t>(c.input.size()));
    EXPECT_EQ(run.result.written, static_cast<std::int64_t>(c.output.size()));
    EXPECT_TRUE(run.sourceUnchanged);
    EXPECT_TRUE(run.closed);
}

std::string caseName(const ::testing::TestParamInfo<std::tuple<SafeCase, Reading>>& info)
{
    return std::get<0>(info.param).name + "_" + std::get<1>(info.param).name;
}

// ---- text ----------------------------------------------------------------------------------------------------

const SafeCase TextCases[] = {
    {"SpacesBecomeOne", "a   b", "a b"},
    {"TabBecomesSpace", "a\tb", "a b"},
    {"RunWithLineBreakBecomesLf", "a \t\n  b", "a\nb"},
    {"LoneSpaceAndLfKept", "a b\nc", "a b\nc"},
    {"RunNeverRemoved", "<b>x</b>  \n  <i>y</i>", "<b>x</b>\n<i>y</i>"},
    {"SpaceBetweenInlineElementsKept", "</a>   <code>x</code>", "</a> <code>x</code>"},
    {"FormFeedIsNoSpaceInText", "a \f b", "a \f b"},
    {"NoBreakSpaceKept", "a\xC2\xA0\xC2\xA0 b", "a\xC2\xA0\xC2\xA0 b"},
    {"CrLfBecomesLf", "a\r\nb\r\n", "a\nb\n"},
    {"LoneCrBecomesLf", "a\rb", "a\nb"},
    {"LongRunAcrossBuffers", "a" + Many + "\n" + Many + "b", "a\nb"},
    {"EmptyPage", "", ""},
};
INSTANTIATE_TEST_SUITE_P(Text, SafeCaseTest,
                         ::testing::Combine(::testing::ValuesIn(TextCases), ::testing::ValuesIn(Readings)), caseName);

// ---- tags ----------------------------------------------------------------------------------------------------

const SafeCase TagCases[] = {
    {"SpacesBetweenAttributesBecomeOne", "<a  href=x\n\ttitle=y>", "<a href=x title=y>"},
    {"SpaceBeforeGreaterDropped", "<p   >x</p  >", "<p>x</p>"},
    {"SpaceBeforeSelfClosingKept", "<br  />", "<br />"},
    {"SpaceAfterSlashKept", "<br / >", "<br / >"},
    {"SpaceAfterUnquotedSlashKept", "<a href=x/  >", "<a href=x/ >"},
    {"QuotedValuesCopied", "<a title=\"a   b\" alt='c\td'>", "<a title=\"a   b\" alt='c\td'>"},
    {"SpacesAroundEqualsOneEach", "<a href  =  \"x\">", "<a href = \"x\">"},
    {"AttributesNeverJoined", "<a b=\"1\"c=\"2\"  d>", "<a b=\"1\"c=\"2\" d>"},
    {"CrLfInsideValue", "<a title=\"a\r\nb\">", "<a title=\"a\nb\">"},
    {"StrayLessIsText", "a < b  c", "a < b c"},
    {"EndTagWithoutName", "</>  x", "</> x"},
    {"UnterminatedTagCopiedAsItStands", "x   <a  href=\"y  z\r\n", "x <a  href=\"y  z\r\n"},
    {"UnterminatedCommentKeepsItsText", "x   <!--  y\r\n", "x <!--  y\n"},
    {"TagAcrossBuffers", "<a" + Many + "b" + Many + ">", "<a b>"},
};
INSTANTIATE_TEST_SUITE_P(Tags, SafeCaseTest,
                         ::testing::Combine(::testing::ValuesIn(TagCases), ::testing::ValuesIn(Readings)), caseName);

// ---- what is copied ------------------------------------------------------------------------------------------

const SafeCase VerbatimCases[] = {
    {"Pre", "<pre>\n  a\n    b  </pre>  x", "<pre>\n  a\n    b  </pre> x"},
    {"PreUpperCase", "<PRE>  a  </PrE>  x", "<PRE>  a  </PrE> x"},
    {"PreNested", "<pre><pre>  a  </pre>  b  </pre>  c", "<pre><pre>  a  </pre>  b  </pre> c"},
    {"PreKeepsItsTagsToo", "<pre><b  class=x>  a</b></pre>", "<pre><b  class=x>  a</b></pre>"},
    {"PreLineEndsRead", "<pre>a\r\n  b\rc</pre>", "<pre>a\n  b\nc</pre>"},
    {"Listing", "<listing>  a  </listing>  b", "<listing>  a  </listing> b"},
    {"Textarea", "<textarea>  a  <b>  </textarea>  c", "<textarea>  a  <b>  </textarea> c"},
    {"Title", "<title>  A   B </title>  c", "<title>  A   B </title> c"},
    {"Script", "<script>var a = \"x   y\";\n  f();</script>  z", "<script>var a = \"x   y\";\n  f();</script> z"},
    {"ScriptEndTagInString", "<script>s = \"</scriptx>  \";</script>  z", "<script>s = \"</scriptx>  \";</script> z"},
    {"ScriptDoubleEscaped", "<script><!--<script>  </script>  a  --></script>  b",
     "<script><!--<script>  </script>  a  --></script> b"},
    {"ScriptEscapedEndsAtEndTag", "<script><!--  </script>  b", "<script><!--  </script> b"},
    {"Style", "<style>p  {  color: red }</style>  x", "<style>p  {  color: red }</style> x"},
    {"Xmp", "<xmp>  <p>  </xmp>  x", "<xmp>  <p>  </xmp> x"},
    {"Noscript", "<noscript>  <p>  a</p>  </noscript>  x", "<noscript>  <p>  a</p>  </noscript> x"},
    {"Iframe", "<iframe>  a  </iframe>  x", "<iframe>  a  </iframe> x"},
    {"PlaintextToTheEnd", "<plaintext>  a  </plaintext>  b", "<plaintext>  a  </plaintext>  b"},
    {"Svg", "<svg><text>  a  </text></svg>  b", "<svg><text>  a  </text></svg> b"},
    {"SvgSelfClosedKeepsNothing", "<svg/>  b", "<svg/> b"},
    {"MathCdata", "<math><![CDATA[ </math>  ]]></math>  c", "<math><![CDATA[ </math>  ]]></math> c"},
    {"CdataOutsideForeignIsBogusComment", "<![CDATA[ > ]]>  d", "<![CDATA[ > ]]> d"},
    {"Comment", "<!--  a   b  -->  c", "<!--  a   b  --> c"},
    {"CommentClosedAtOnce", "<!-->  a", "<!--> a"},
    {"CommentClosedByDashGreater", "<!--->  a", "<!---> a"},
    {"CommentClosedByBang", "<!-- a --!>  b", "<!-- a --!> b"},
    {"CommentDashesInside", "<!-- a -- b  --->  c", "<!-- a -- b  ---> c"},
    {"Doctype", "<!DOCTYPE  html>  a", "<!DOCTYPE  html> a"},
    {"ProcessingInstruction", "<?php  echo 1 ?>  a", "<?php  echo 1 ?> a"},
    {"StyleAttributePre", "<div style=\"white-space: pre\">  a  <div>  b  </div>  c  </div>  d",
     "<div style=\"white-space: pre\">  a  <div>  b  </div>  c  </div> d"},
    {"StyleAttributePreLine", "<p style=\"WHITE-SPACE:pre-line\">  a  </p>  b",
     "<p style=\"WHITE-SPACE:pre-line\">  a  </p> b"},
    {"StyleAttributeBreakSpaces", "<p style=\"white-space:break-spaces\">  a  </p>  b",
     "<p style=\"white-space:break-spaces\">  a  </p> b"},
    {"StyleAttributeCollapsePreserve", "<p style=\"white-space-collapse: preserve\">  a  </p>  b",
     "<p style=\"white-space-collapse: preserve\">  a  </p> b"},
    {"StyleAttributeNormal", "<p style=\"white-space: normal\">  a  </p>", "<p style=\"white-space: normal\"> a </p>"},
    {"StyleAttributeEntity", "<p style=\"white-space&#58;pre\">  a  </p>", "<p style=\"white-space&#58;pre\">  a  </p>"},
    {"VoidElementKeepsNothing", "<br style=\"white-space:pre\">  a", "<br style=\"white-space:pre\"> a"},
};
INSTANTIATE_TEST_SUITE_P(Verbatim, SafeCaseTest,
                         ::testing::Combine(::testing::ValuesIn(VerbatimCases), ::testing::ValuesIn(Readings)),
                         caseName);

// ---- the page's own stylesheets -------------------------------------------------------------------------------

const std::string Kept = "<div class=\"k\">  a  </div>  b";
const std::string KeptOut = "<div class=\"k\">  a  </div> b";

const SafeCase StyleCases[] = {
    {"ClassBefore", "<style>.k { white-space: pre }</style>" + Kept, "<style>.k { white-space: pre }</style>" + KeptOut},
    {"ClassAfter", Kept + "<style>.k{white-space:pre-wrap}</style>", KeptOut + "<style>.k{white-space:pre-wrap}</style>"},
    {"ClassInLastCompound", "<style>main > div.k:hover{white-space:pre}</style>" + Kept,
     "<style>main > div.k:hover{white-space:pre}</style>" + KeptOut},
    {"OnlyLastCompoundCounts", "<style>.k span{white-space:pre}</style>" + Kept,
     "<style>.k span{white-space:pre}</style><div class=\"k\"> a </div> b"},
    {"Id", "<style>#k{white-space:pre}</style><p id=k>  a  </p>", "<style>#k{white-space:pre}</style><p id=k>  a  </p>"},
    {"TagName", "<style>P{white-space:pre}</style><p>  a  </p>", "<style>P{white-space:pre}</style><p>  a  </p>"},
    {"AttributeName", "<style>[data-x]{white-space:pre}</style><p data-x>  a  </p><p>  b</p>",
     "<style>[data-x]{white-space:pre}</style><p data-x>  a  </p><p> b</p>"},
    {"SecondOfSeveralClasses", "<style>.k{white-space:pre}</style><p class=\"a  k\">  a  </p>",
     "<style>.k{white-space:pre}</style><p class=\"a  k\">  a  </p>"},
    {"SelectorList", "<style>h1, .k, h2 { color: red; white-space: pre }</style>" + Kept,
     "<style>h1, .k, h2 { color: red; white-space: pre }</style>" + KeptOut},
    {"IsArguments", "<style>:is(.k, .m){white-space:pre}</style>" + Kept,
     "<style>:is(.k, .m){white-space:pre}</style>" + KeptOut},
    {"EscapedClass", "<style>.\\6b {white-space:pre}</style>" + Kept, "<style>.\\6b {white-space:pre}</style>" + KeptOut},
    {"InsideMedia", "<style>@media screen { .k { white-space: pre } }</style>" + Kept,
     "<style>@media screen { .k { white-space: pre } }</style>" + KeptOut},
    {"Nested", "<style>.x { .k { white-space: pre } }</style>" + Kept,
     "<style>.x { .k { white-space: pre } }</style>" + KeptOut},
    {"NestingSelectorTakesTheParents", "<style>.k { & { white-space: pre } }</style>" + Kept,
     "<style>.k { & { white-space: pre } }</style>" + KeptOut},
    {"ValueThroughVariable", "<style>.k{white-space:var(--w)}</style>" + Kept,
     "<style>.k{white-space:var(--w)}</style>" + KeptOut},
    {"NormalValueKeepsNothing", "<style>.k{white-space:nowrap}</style>" + Kept,
     "<style>.k{white-space:nowrap}</style><div class=\"k\"> a </div> b"},
    {"CommentedOutKeepsNothing", "<style>/* .k{white-space:pre} */</style>" + Kept,
     "<style>/* .k{white-space:pre} */</style><div class=\"k\"> a </div> b"},
    {"UniversalKeepsEverything", "<style>*{white-space:pre-wrap}</style><p>  a  </p>  b",
     "<style>*{white-space:pre-wrap}</style><p>  a  </p>  b"},
    {"NotKeepsEverything", "<style>:not(.x){white-space:pre}</style><p>  a  </p>  b",
     "<style>:not(.x){white-space:pre}</style><p>  a  </p>  b"},
    {"PseudoElementAloneKeepsEverything", "<style>::before{white-space:pre}</style><p>  a  </p>",
     "<style>::before{white-space:pre}</style><p>  a  </p>"},
    {"KeyframesKeepEverything", "<style>@keyframes w { to { white-space: pre } }</style><p>  a  </p>",
     "<style>@keyframes w { to { white-space: pre } }</style><p>  a  </p>"},
    {"StyleInsideSvgCounts", "<svg><style>.k{white-space:pre}</style></svg>" + Kept,
     "<svg><style>.k{white-space:pre}</style></svg>" + KeptOut},
    // Stylesheets are found without the markup around them: one in a comment counts too.
    {"StyleInsideCommentCountsToo", "<!--<style>.k{white-space:pre}</style>-->" + Kept,
     "<!--<style>.k{white-space:pre}</style>-->" + KeptOut},
    {"StyleCutByAnotherKeepsEverything", "<script>'<style>/*'</script><style>.x{}</style><p>  a  </p>",
     "<script>'<style>/*'</script><style>.x{}</style><p>  a  </p>"},
    {"StyleEndsAtItsEndTagInAString", "<style>.x{content:\"</style>\"}</style>" + Kept,
     "<style>.x{content:\"</style>\"}</style><div class=\"k\"> a </div> b"},
    {"ImpliedBodyKeepsEverything", "<style>body{white-space:pre-wrap}</style><p>  a  </p>",
     "<style>body{white-space:pre-wrap}</style><p>  a  </p>"},
    {"ImpliedTbodyKeepsTheTable", "<style>tbody{white-space:pre}</style><table><tr><td>  a  </td></tr></table>  b",
     "<style>tbody{white-space:pre}</style><table><tr><td>  a  </td></tr></table> b"},
    {"PlaintextOnlyEditable", "<div contenteditable=\"plaintext-only\">  a  </div>  b",
     "<div contenteditable=\"plaintext-only\">  a  </div> b"},
    {"EditableKeepsNothing", "<div contenteditable>  a  </div>", "<div contenteditable> a </div>"},
    {"ScriptSettingWhiteSpaceKeepsEverything", "<script>p.style.whiteSpace = 'pre'</script><p>  a  </p>",
     "<script>p.style.whiteSpace = 'pre'</script><p>  a  </p>"},
    {"ScriptWritingWhiteSpaceKeepsEverything", "<script>css = 'p{white-space:pre}'</script><p>  a  </p>",
     "<script>css = 'p{white-space:pre}'</script><p>  a  </p>"},
    {"EventHandlerKeepsEverything", "<p onclick=\"this.style.whiteSpace='pre'\">  a  </p>",
     "<p onclick=\"this.style.whiteSpace='pre'\">  a  </p>"},
    {"NestingCounted", "<style>.k{white-space:pre}</style><div class=k><div>  a  </div>  b  </div>  c",
     "<style>.k{white-space:pre}</style><div class=k><div>  a  </div>  b  </div> c"},
};
INSTANTIATE_TEST_SUITE_P(Styles, SafeCaseTest,
                         ::testing::Combine(::testing::ValuesIn(StyleCases), ::testing::ValuesIn(Readings)), caseName);

// ---- other languages -----------------------------------------------------------------------------------------

const SafeCase LanguageCases[] = {
    {"CssRunsCollapsed", "a  {\r\n  color :  red;\n}\n", "a {\ncolor : red;\n}\n", SafeLanguage::Css},
    {"CssStringsAndCommentsCopied", "a{content:\"x   y\"} /*  c  */  b", "a{content:\"x   y\"} /*  c  */ b",
     SafeLanguage::Css},
    {"CssEscapeKeepsItsSpace", ".a\\31  b{}", ".a\\31  b{}", SafeLanguage::Css},
    {"CssFormFeedIsALineBreak", "a \f b", "a\nb", SafeLanguage::Css},
    {"ScriptLineEnds", "a  =  1;\r\nb\rc\t", "a  =  1;\nb\nc\t", SafeLanguage::Script},
    {"VerbatimCopied", "a  \r\n\tb <pre>", "a  \r\n\tb <pre>", SafeLanguage::Verbatim},
};
INSTANTIATE_TEST_SUITE_P(Languages, SafeCaseTest,
                         ::testing::Combine(::testing::ValuesIn(LanguageCases), ::testing::ValuesIn(Readings)),
                         caseName);

TEST(SafeLanguage, ByTheFilesName)
{
    const std::pair<const char*, SafeLanguage> rows[] = {
        {"-", SafeLanguage::Html},           {"site/index.html", SafeLanguage::Html},
        {"A.HTM", SafeLanguage::Html},       {"page.xhtml", SafeLanguage::Html},
        {"s.shtml", SafeLanguage::Html},     {"style.css", SafeLanguage::Css},
        {"app.min.js", SafeLanguage::Script}, {"m.mjs", SafeLanguage::Script},
        {"x.vbs", SafeLanguage::Verbatim},   {"notes.txt", SafeLanguage::Verbatim},
        {"index.php", SafeLanguage::Verbatim}, {".htaccess", SafeLanguage::Verbatim},
        {"dir.html/README", SafeLanguage::Verbatim},
    };
    for (const auto& [path, language] : rows)
        EXPECT_EQ(safeLanguageOf(path), language) << path;
}

// ---- linked stylesheets --------------------------------------------------------------------------------------

struct LinkCase
{
    std::string name;
    std::string page;
    std::map<std::string, std::string> sheets;
    std::string output;
    std::vector<std::string> notes;
};

const std::string Link = "<link rel=\"stylesheet\" href=\"s.css\">";

const LinkCase LinkCases[] = {
    {"Linked", Link + Kept, {{"s.css", ".k{white-space:pre}"}}, Link + KeptOut, {}},
    {"LinkedAfterTheElement", Kept + Link, {{"s.css", ".k{white-space:pre}"}}, KeptOut + Link, {}},
    {"Imported", Link + Kept, {{"s.css", "@import url(\"t.css\");"}, {"t.css", ".k{white-space:pre}"}},
     Link + KeptOut, {}},
    {"ImportedByStyleBlock", "<style>@import 't.css';</style>" + Kept, {{"t.css", ".k{white-space:pre}"}},
     "<style>@import 't.css';</style>" + KeptOut, {}},
    {"ImportCycleReadOnce", Link + Kept, {{"s.css", "@import 's.css'; .k{white-space:pre}"}}, Link + KeptOut, {}},
    {"PreloadedStyle", "<link rel=preload as=style href=s.css>" + Kept, {{"s.css", ".k{white-space:pre}"}},
     "<link rel=preload as=style href=s.css>" + KeptOut, {}},
    {"OtherLinkNotRead", "<link rel=icon href=s.css>" + Kept, {{"s.css", ".k{white-space:pre}"}},
     "<link rel=icon href=s.css><div class=\"k\"> a </div> b", {}},
    {"EntityInHref", "<link rel=stylesheet href=\"a&amp;b.css\">" + Kept, {{"a&b.css", ".k{white-space:pre}"}},
     "<link rel=stylesheet href=\"a&amp;b.css\">" + KeptOut, {}},
    {"MissingNoted", Link + Kept, {}, Link + "<div class=\"k\"> a </div> b", {"stylesheet s.css: not found"}},
    {"BaseFollowed", "<base href=\"css/\">" + Link + Kept, {{"css/s.css", ".k{white-space:pre}"}},
     "<base href=\"css/\">" + Link + KeptOut, {}},
    {"BaseInTextReadBothWays", "<script>'<base href=\"x/\">'</script>" + Link + Kept,
     {{"s.css", ".k{white-space:pre}"}}, "<script>'<base href=\"x/\">'</script>" + Link + KeptOut,
     {"stylesheet x/s.css: not found"}},
    {"LinkedScriptSettingWhiteSpace", "<script src=\"a.js\"></script><p>  a  </p>",
     {{"a.js", "el.style.whiteSpace = 'pre';"}}, "<script src=\"a.js\"></script><p>  a  </p>",
     {"script a.js: sets white-space, so the whole page keeps its whitespace"}},
    {"LinkedScriptOtherwise", "<script src=\"a.js\"></script><p>  a  </p>", {{"a.js", "f();"}},
     "<script src=\"a.js\"></script><p> a </p>", {}},
    {"DataUrlKeepsEverything", "<link rel=stylesheet href=\"data:text/css,p{}\"><p>  a  </p>", {},
     "<link rel=stylesheet href=\"data:text/css,p{}\"><p>  a  </p>",
     {"stylesheet data:: not read, so the whole page keeps its whitespace"}},
};

void PrintTo(const LinkCase& c, std::ostream* out)
{
    *out << c.name;
}

class LinkCaseTest : public ::testing::TestWithParam<LinkCase>
{
};

TEST_P(LinkCaseTest, ReadsWhatThePageLinks)
{
    const LinkCase& c = GetParam();
    const SafeRun run = runSafe(c.page, SafeLanguage::Html, Readings[1], c.sheets);
    EXPECT_EQ(run.output, c.output);
    EXPECT_EQ(run.notes, c.notes);
}

INSTANTIATE_TEST_SUITE_P(Links, LinkCaseTest, ::testing::ValuesIn(LinkCases),
                         [](const auto& info) { return info.param.name; });

TEST(StylesheetPath, ResolvedAsABrowserDoes)
{
    struct Row
    {
        const char* href;
        const char* pageFolder;
        const char* siteRoot;
        const char* importedFrom; // null: linked by the page
        const char* path;          // null: not read
        const char* note;
    };
    const Row rows[] = {
        {"s.css", "site/doc", "site", nullptr, "site/doc/s.css", ""},
        {"../css/s.css?v=2#x", "site/doc", "site", nullptr, "site/css/s.css", ""},
        {"../../../s.css", "site/doc", "site", nullptr, "site/s.css", ""},
        {"/css/s.css", "site/doc", "site", nullptr, "site/css/s.css", ""},
        {"a%20b.css", "site", "site", nullptr, "site/a b.css", ""},
        {"  s.css\n", "site", "site/", nullptr, "site/s.css", ""},
        {"t.css", "site/doc", "site", "site/css/s.css", "site/css/t.css", ""},
        {"s.css", ".", ".", nullptr, "./s.css", ""},
        {"https://cdn.example/s.css", "site", "site", nullptr, nullptr, "remote, not read"},
        {"//cdn.example/s.css", "site", "site", nullptr, nullptr, "remote, not read"},
        {"css/", "site", "site", nullptr, nullptr, "names a folder"},
        {"", "site", "site", nullptr, nullptr, "names no file"},
    };
    for (const Row& row : rows) {
        std::string path;
        std::string note;
        const std::string from = row.importedFrom ? row.importedFrom : "";
        const bool found
            = stylesheetPath(row.href, row.pageFolder, row.siteRoot, row.importedFrom ? &from : nullptr, path, note);
        EXPECT_EQ(found, row.path != nullptr) << row.href;
        if (row.path)
            EXPECT_EQ(path, row.path) << row.href;
        else
            EXPECT_EQ(note, row.note) << row.href;
    }
}

// The pages of one run share what their stylesheets gave: each file is read once, and a page is given exactly what
// reading them itself would have given it, also what an @import gave that an earlier page had read already.
TEST(StylesheetMemo, GivesEveryPageWhatItsOwnReadingWould)
{
    const std::map<std::string, std::string> sheets = {
        {"a.css", "@import 'c.css';"}, {"b.css", "@import 'c.css';"}, {"c.css", ".k{white-space:pre}"},
        {"loop.css", "@import 'loop.css'; .m{white-space:pre}"}};
    const std::string kept = "<div class=k>  a  </div><div class=m>  b  </div>  c";
    const struct
    {
        const char* name;
        std::string page;
        std::string output;
    } pages[] = {
        {"both link c", "<link rel=stylesheet href=a.css><link rel=stylesheet href=b.css>" + kept,
         "<link rel=stylesheet href=a.css><link rel=stylesheet href=b.css><div class=k>  a  </div><div class=m> b "
         "</div> c"},
        {"b alone, c read already", "<link rel=stylesheet href=b.css>" + kept,
         "<link rel=stylesheet href=b.css><div class=k>  a  </div><div class=m> b </div> c"},
        {"a loop", "<link rel=stylesheet href=loop.css>" + kept,
         "<link rel=stylesheet href=loop.css><div class=k> a </div><div class=m>  b  </div> c"},
        {"the loop again", "<link rel=stylesheet href=loop.css>" + kept,
         "<link rel=stylesheet href=loop.css><div class=k> a </div><div class=m>  b  </div> c"},
    };
    StylesheetMemo memo;
    MemoryStylesheets finder(sheets, &memo);
    for (const auto& page : pages) {
        SCOPED_TRACE(page.name);
        MemoryFile source(page.page);
        MemoryFile destination;
        ProgressRecorder progress;
        compactStreamSafe(source, destination, {SafeLanguage::Html, &finder, nullptr}, progress);
        EXPECT_EQ(destination.data, page.output);
    }
    // Each stylesheet is read once for the run, but one that imports itself by each page: what it gives through
    // the loop cannot be recorded.
    EXPECT_EQ(finder.opened, 5);
}

// ---- the promises of a run -----------------------------------------------------------------------------------

TEST(SafeRun, GaugeShownMovedAndHidden)
{
    const std::string page = "<p>  a  </p>" + std::string(1000, 'x');
    const SafeRun run = runSafe(page, SafeLanguage::Html, Readings[1]);
    ASSERT_GE(run.progress.calls.size(), 4u);
    EXPECT_EQ(run.progress.calls.front(), "show");
    EXPECT_EQ(run.progress.calls[run.progress.calls.size() - 3], "100");
    EXPECT_EQ(run.progress.calls[run.progress.calls.size() - 2], "hide");
    EXPECT_EQ(run.progress.calls.back(), "0");
    for (std::size_t i = 1; i + 1 < run.progress.values.size(); ++i)
        EXPECT_LT(run.progress.values[i - 1], run.progress.values[i]);
}

// Every operation of either file fails in turn: the run raises that code, the gauge is hidden, and what was
// written before the failure is exactly a beginning of the full output.
TEST(SafeRun, EveryFailingOperationIsRaised)
{
    const std::string page = "<style>.k{white-space:pre}</style><p>  a  </p>" + std::string(40, 'x') + Kept;
    const std::string full = runSafe(page, SafeLanguage::Html, Readings[1]).output;
    for (int side = 0; side < 2; ++side) {
        for (int failAt = 0;; ++failAt) {
            MemoryFile source(page);
            MemoryFile destination;
            MemoryFile& failing = side == 0 ? source : destination;
            failing.failAt = failAt;
            failing.failCode = 32;
            ProgressRecorder progress;
            const SafeCompaction compaction {SafeLanguage::Html, nullptr, nullptr};
            try {
                compactStreamSafe(source, destination, compaction, progress, 7);
            } catch (const EInOutError& error) {
                EXPECT_EQ(error.code(), 32);
                EXPECT_EQ(error.side(), side == 0 ? FileSide::Source : FileSide::Destination);
                EXPECT_FALSE(progress.visible);
                EXPECT_EQ(full.compare(0, destination.data.size(), destination.data), 0) << failAt;
                continue;
            }
            EXPECT_EQ(destination.data, full);
            break;
        }
    }
}

} // namespace
