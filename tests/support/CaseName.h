// Names each case of a parameterised test after its `name` field, so that a failure says which
// case it was.
#pragma once

#include <string>

namespace tarvel::test {

struct CaseName {
    template <class Info>
    std::string operator()(const Info& testCase) const {
        return std::string(testCase.param.name);
    }
};

}  // namespace tarvel::test
