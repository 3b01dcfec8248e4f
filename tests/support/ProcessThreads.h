// The threads this process has now, for tests that check no thread outlives its owner.
#pragma once

#include <dirent.h>

#include <cstddef>

namespace tarvel::test {

inline std::size_t ThreadsOfThisProcess() {
    std::size_t n = 0;
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) {
        return 0;
    }
    while (const dirent* e = readdir(tasks)) {
        n += e->d_name[0] != '.' ? 1 : 0;
    }
    closedir(tasks);
    return n;
}

}  // namespace tarvel::test
