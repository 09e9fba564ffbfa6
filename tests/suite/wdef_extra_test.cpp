#include "suite/maths_routines.h"
#include "suite/wdef.h"

#include <gtest/gtest.h>

// Collocate and relationship grids show the scores in the order the
// statistics module computes them; a mismatch would label every column wrong.
TEST(ListTypeTable, ScoreHeadingsFollowTheAssociationTable)
{
    for (uint8_t listType : {uint8_t(5), uint8_t(28)}) {
        const QStringList h = cv::StandardGridHeaderArray(listType);
        const int first = listType == 5 ? 3 : 8;
        int i = 0;
        for (const auto& e : cv::AssociationTable())
            EXPECT_EQ(h.value(first + i++), QString::fromUtf8(e.caption.data(), qsizetype(e.caption.size())))
                << "list type " << int(listType);
    }
}
