#include "engine/block_factory.h"

#include <gtest/gtest.h>

// The block classes add themselves to the factory before main; only names of the project format's
// class list are taken, and lookups compare exactly.
TEST(BlockFactoryTest, BuildsRegisteredClassesByExactName) {
  ASSERT_NE(make_block_of_class("dummy"), nullptr);
  ASSERT_NE(make_block_of_class("shader"), nullptr);
  EXPECT_EQ(make_block_of_class("shader")->class_name, "shader");
  EXPECT_EQ(make_block_of_class("Shader"), nullptr);
  EXPECT_EQ(make_block_of_class("no-such-class"), nullptr);
  EXPECT_FALSE(register_block_class("no-such-class", make_dummy_block));
  EXPECT_EQ(make_block_of_class("no-such-class"), nullptr);
}
