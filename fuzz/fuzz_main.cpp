// One fuzzer executable per target; VELLUMET_FUZZ_TARGET names it.
#include "targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vellumet::fuzz::VELLUMET_FUZZ_TARGET(data, size);
    return 0;
}
