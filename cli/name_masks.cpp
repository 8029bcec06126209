// Wildcard masks for file names.
#include <cli/name_masks.h>

namespace {

unsigned char folded(unsigned char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

} // namespace

NameMasks::NameMasks(std::string_view list)
{
    for (std::size_t start = 0; start <= list.size();) {
        const std::size_t semicolon = std::min(list.find(';', start), list.size());
        std::string_view text = trimmed(list.substr(start, semicolon - start));
        start = semicolon + 1;
        if (text.empty())
            continue;
        Mask mask;
        if (text.size() >= 2 && text.substr(text.size() - 2) == ".*") {
            mask.anyExtension = true;
            text.remove_suffix(2);
        } else if (text.back() == '.') {
            mask.noExtension = true;
            text.remove_suffix(1);
        }
        mask.body = text;
        m_masks.push_back(std::move(mask));
    }
}

bool NameMasks::matches(std::string_view name) const
{
    for (const Mask& mask : m_masks) {
        if (mask.noExtension && name.find('.') != std::string_view::npos)
            continue;
        if (matchesBody(mask.body, name))
            return true;
        // "body.*": the body, then a dot and anything; tried at every dot, since "*" may take dots too.
        if (mask.anyExtension)
            for (std::size_t dot = name.find('.'); dot != std::string_view::npos; dot = name.find('.', dot + 1))
                if (matchesBody(mask.body, name.substr(0, dot)))
                    return true;
    }
    return false;
}

// The classic greedy match with one remembered star: linear in practice, never exponential.
bool NameMasks::matchesBody(std::string_view pattern, std::string_view name)
{
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t star = std::string_view::npos;
    std::size_t resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (p < pattern.size()
                   && (pattern[p] == '?'
                       || folded(static_cast<unsigned char>(pattern[p])) == folded(static_cast<unsigned char>(name[n])))) {
            ++p;
            ++n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}
