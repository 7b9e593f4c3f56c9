// libFuzzer target for the template filler (see report_input.h for what one input does).
#include "report_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        quorvane::xls::fuzz::reportInput(data, size);
    } catch (const quorvane::Error&) {
        // A template refused by the reader or the filler.
    }
    return 0;
}
