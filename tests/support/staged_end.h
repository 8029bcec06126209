// The ways a test ends a staged file, and the one function that ends it so.
#pragma once

#include <platform/temporary_files.h>

#include <gtest/gtest.h>

enum class StagedEnd
{
    Commit,  // closed and put in place; a refused commit is followed by a discard
    Discard, // discarded unclosed
    Destroy, // left to the destructor
};

inline void endStaged(StagedFile& staged, StagedEnd end, bool replace, int code)
{
    if (end == StagedEnd::Commit) {
        EXPECT_EQ(staged.close(), 0);
        EXPECT_EQ(staged.commit(replace), code);
        if (code != 0) {
            EXPECT_EQ(staged.discard(), 0);
        }
    } else if (end == StagedEnd::Discard) {
        EXPECT_EQ(staged.discard(), 0);
    }
}
