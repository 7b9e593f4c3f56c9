// libFuzzer target for the workbook reader (see read_input.h for what one input does).
#include "read_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        quorvane::xls::fuzz::readInput(data, size);
    } catch (const quorvane::Error&) {
        // A refused file: the expected outcome for most inputs.
    }
    return 0;
}
