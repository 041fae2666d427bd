#pragma once

#include <algorithm>
#include <future>

// std::sort of a range, on two cores when it is long enough to pay for the second thread: the
// range is split at its middle element, and each half sorted on a core of its own. The
// comparison's sorts take seconds over millions of files while the other core would idle.
template <typename It, typename Less> void sortOnTwoCores(It begin, It end, Less less)
{
    if (end - begin < (1 << 16)) {
        std::sort(begin, end, less);
        return;
    }
    const It middle = begin + (end - begin) / 2;
    std::nth_element(begin, middle, end, less);
    std::future<void> lower = std::async(std::launch::async, [=] { std::sort(begin, middle, less); });
    std::sort(middle + 1, end, less);
    lower.get();
}
