// How a name is shown on one line, by the CLI's messages and the desktop's lists alike: characters that would end
// the line, act on a terminal or reorder what follows are written as escapes, so a name cannot move or hide what
// comes after it (a mark, the rest of a message).
#pragma once

#include <string>
#include <string_view>

namespace platform {

// C0 controls and DEL, the C1 controls, the line and paragraph separators, and the direction embeddings,
// overrides and isolates.
bool hidesSomething(char32_t c);
// Appends the escape of such a character: \n, \t, \r, \xNN below 0x80, \uXXXX above.
void appendEscaped(std::string& shown, char32_t c);

// UTF-8 text as one line: each character hidesSomething names escaped, and a byte that is not UTF-8 as \xNN. The
// backslash stays as it is: it separates the folders of a Windows path.
std::string shownText(std::string_view text);

} // namespace platform
