// Runs a fuzz target over files without the fuzzing engine: every file named, and every file of
// every folder named (in name order), is given once to LLVMFuzzerTestOneInput, as `-runs=0` does.
// This is the regression gate of the ordinary build (and, under the sanitizers, of theirs): the same
// inputs in the same order, so the same commit passes or fails the same way on every run.
//
// The engine's guards are kept in a simple form: an input whose run allocates more than
// kMaxAllocation in one piece, or after which the process's peak resident set exceeds
// kMaxResidentMb, fails the run and names the input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

constexpr size_t kMaxAllocation = size_t{512} << 20;
constexpr long kMaxResidentMb = 2048;

const char* current = "(none)";

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
[[noreturn]] void TooLarge(size_t size) {
  std::fprintf(stderr, "replay: input %s allocates %zu bytes at once (the limit is %zu)\n", current, size,
               kMaxAllocation);
  std::abort();
}
#endif

// The process's peak resident set in megabytes, from the kernel's accounting.
long PeakResidentMb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10) / 1024;
  }
  return 0;
}

bool RunFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
    return false;
  }
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const std::string name = path.string();
  current = name.c_str();
  // An empty input is passed as a pointer that may not be read, as the engine does.
  static const uint8_t none = 0;
  LLVMFuzzerTestOneInput(bytes.empty() ? &none : bytes.data(), bytes.size());
  const long peak = PeakResidentMb();
  current = "(none)";
  if (peak > kMaxResidentMb) {
    std::fprintf(stderr, "replay: after %s the peak resident set is %ld MB (the limit is %ld MB)\n", name.c_str(),
                 peak, kMaxResidentMb);
    return false;
  }
  return true;
}

}  // namespace

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// One allocation larger than the limit is the sign of a size taken from the input unchecked.
void* operator new(size_t size) {
  if (size > kMaxAllocation) TooLarge(size);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
#endif

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
  int files = 0, failed = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg = argv[i];
    std::vector<std::filesystem::path> inputs;
    std::error_code error;
    if (std::filesystem::is_directory(arg, error)) {
      for (const auto& entry : std::filesystem::directory_iterator(arg, error)) {
        if (entry.is_regular_file()) inputs.push_back(entry.path());
      }
      std::sort(inputs.begin(), inputs.end());
    } else {
      inputs.push_back(arg);
    }
    if (error) {
      std::fprintf(stderr, "replay: cannot list %s: %s\n", arg.c_str(), error.message().c_str());
      ++failed;
    }
    for (const auto& input : inputs) {
      ++files;
      if (!RunFile(input)) ++failed;
    }
  }
  std::printf("replay: %d inputs, %d failed\n", files, failed);
  return failed == 0 && files > 0 ? 0 : 1;
}
