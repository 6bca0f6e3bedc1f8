// Names table-driven test cases after their `name` member.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace velinor::test {

struct CaseName {
  template <typename Case>
  std::string operator()(const testing::TestParamInfo<Case>& row) const {
    return row.param.name;
  }
};

}  // namespace velinor::test
