// Watches a file's blocks for words that a script uses to give an element a white-space that keeps whitespace.
#pragma once

#include <engine/source_reader.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

class WordWatch final : public BlockWatcher
{
public:
    explicit WordWatch(std::vector<std::string_view> words)
        : m_words(std::move(words))
    {
        for (const std::string_view word : m_words)
            m_longest = std::max(m_longest, word.size());
    }

    void taken(const unsigned char* block, std::size_t n) override
    {
        if (m_found || n == 0)
            return;
        // A word may begin at the end of the block before.
        std::string seam = m_carry;
        seam.append(reinterpret_cast<const char*>(block), std::min(n, m_longest - 1));
        const std::string_view text(reinterpret_cast<const char*>(block), n);
        for (const std::string_view word : m_words)
            if (seam.find(word) != std::string::npos || text.find(word) != std::string_view::npos)
                m_found = true;
        // The last characters seen, over as many blocks as it takes (a block may be shorter than a word).
        m_carry.append(reinterpret_cast<const char*>(block) + (n - std::min(n, m_longest - 1)), std::min(n, m_longest - 1));
        if (m_carry.size() > m_longest - 1)
            m_carry.erase(0, m_carry.size() - (m_longest - 1));
    }

    bool found() const { return m_found; }

private:
    std::vector<std::string_view> m_words;
    std::size_t m_longest = 1;
    std::string m_carry;
    bool m_found = false;
};
