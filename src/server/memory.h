// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <thread>

// The server's memory after large answers. glibc keeps what a thread freed
// in that thread's arena, and raises its mmap threshold to the largest block
// freed so far, so without this the resident size follows the largest answer
// times the threads that ever built one.
namespace erp::server::memory {

// Answers from this size on are large.
inline constexpr std::size_t kLargeAnswer = 256 * 1024;

// Before any thread starts: blocks from the large-answer size up always come
// from mmap (and go back at once when freed), and at most `arenas` arenas.
void tuneAllocator(int arenas);

// After an answer of `bytes`: once it is large, free memory of every arena
// is given back to the system, off the calls' threads.
void afterAnswer(std::size_t bytes);

// Runs the trimming thread for as long as it lives.
class Trimmer {
public:
    Trimmer();
    ~Trimmer();
    Trimmer(const Trimmer&) = delete;
    Trimmer& operator=(const Trimmer&) = delete;

private:
    std::thread thread_;
};

} // namespace erp::server::memory
