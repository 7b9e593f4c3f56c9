#include "work/work_arrays.h"

#include <memory>

namespace quorvane {

WorkArrays& workArrays()
{
    // About 1.9 MB: on the heap, once, for the whole run.
    static const std::unique_ptr<WorkArrays> area = std::make_unique<WorkArrays>();
    return *area;
}

} // namespace quorvane

#include "work/nspl.h"

namespace quorvane {

int& NSpl()
{
    static int value = DefaultNSpl;
    return value;
}

} // namespace quorvane
