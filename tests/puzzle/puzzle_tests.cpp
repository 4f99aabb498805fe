#include <gtest/gtest.h>
#include "puzzle.h"
#include "randomdraw.h"
TEST(Draw, largestDrawStaysBelowOne) { EXPECT_LT(glidor::unitDraw(0xFFFFFFFFu), 1.0f); EXPECT_EQ(glidor::squareFromDraw(glidor::unitDraw(0xFFFFFFFFu)), 16); }
