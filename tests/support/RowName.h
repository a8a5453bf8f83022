// Names each row of a parameterised table after its `name` member, so that a
// failing row reads as what it is: INSTANTIATE_TEST_SUITE_P(..., RowName<Row>).
#pragma once

#include <gtest/gtest.h>

#include <string>

template <typename Row> std::string RowName(const ::testing::TestParamInfo<Row> &info) {
    return info.param.name;
}
