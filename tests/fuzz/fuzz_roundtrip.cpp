// libFuzzer target for the writer: read, write, read again (see roundtrip_input.h).
#include "roundtrip_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        quorvane::xls::fuzz::roundTripInput(data, size);
    } catch (const quorvane::Error&) {
        // Refused by the reader: nothing to write.
    }
    return 0;
}
