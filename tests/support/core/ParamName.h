#ifndef TAVRIN_TESTS_CORE_PARAMNAME_H
#define TAVRIN_TESTS_CORE_PARAMNAME_H

#include <gtest/gtest.h>

#include <cctype>
#include <string>

// A table row's name as a GoogleTest name: its letters and digits, the rest as
// '_'. Rows are structs with a `name` member.
template <typename Case> std::string paramName(const testing::TestParamInfo<Case> &info)
{
    std::string name = info.param.name;
    for (char &ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    }
    return name;
}

#endif
