// What the soak tests watch of their own process: open descriptors and
// resident memory, read from /proc/self.
#pragma once

#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <thread>

#if __has_include(<valgrind/valgrind.h>)
#include <valgrind/valgrind.h>
#endif

namespace velinor::soak {

// Under valgrind or AddressSanitizer, freed memory is held back on purpose
// (a free list, a quarantine), so the resident size says nothing of leaks;
// those tools report leaks themselves.
inline bool ResidentSizeIsMeaningful() {
#if defined(__SANITIZE_ADDRESS__)
  return false;
#elif defined(RUNNING_ON_VALGRIND)
  return RUNNING_ON_VALGRIND == 0;
#else
  return true;
#endif
}

// Entries of /proc/self/fd, less the one the listing itself holds open.
inline std::size_t OpenDescriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count - 1;
}

inline std::size_t ResidentBytes() {
  std::size_t sizePages = 0;
  std::size_t residentPages = 0;
  std::ifstream("/proc/self/statm") >> sizePages >> residentPages;
  return residentPages * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

struct Usage {
  std::size_t descriptors = 0;
  std::size_t residentBytes = 0;
};

inline std::ostream& operator<<(std::ostream& out, const Usage& usage) {
  return out << usage.descriptors << " descriptors, " << usage.residentBytes / 1024
             << " KiB resident";
}

// A reading once the test server's threads have closed the connections the
// last calls left them, and with the allocator's free pages handed back, so
// that what remains is what the process holds.
inline Usage Settled() {
  std::size_t descriptors = OpenDescriptors();
  for (int i = 0; i < 100; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const std::size_t now = OpenDescriptors();
    if (now == descriptors) break;
    descriptors = now;
  }
  malloc_trim(0);
  return {descriptors, ResidentBytes()};
}

}  // namespace velinor::soak
