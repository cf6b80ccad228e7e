#include "support/cab_writer.h"
#include "support/temp_dir.h"
#include <gtest/gtest.h>
TEST(X, Y) {}
