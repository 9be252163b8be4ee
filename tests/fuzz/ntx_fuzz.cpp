// libFuzzer target: any bytes as a NTX index file.
#include "fuzz/index_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zandor::fuzz::exerciseIndexBytes(data, size, zandor::IndexDriver::Ntx);
  return 0;
}
