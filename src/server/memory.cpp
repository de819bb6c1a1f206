// SPDX-License-Identifier: MIT
#include "memory.h"

#include <malloc.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace erp::server::memory {

namespace {

std::mutex mutex;
std::condition_variable wake;
bool wanted = false;
bool running = false;

} // namespace

void tuneAllocator(int arenas)
{
    // Setting the threshold also stops glibc from moving it (and the trim
    // threshold) with the blocks it sees freed.
    mallopt(M_MMAP_THRESHOLD, int(kLargeAnswer));
    // Each call allocates and frees some hundred kilobytes: handing them back
    // at every free would cost a system call and fresh pages per call. The
    // trimming after large answers gives them back instead.
    mallopt(M_TRIM_THRESHOLD, 16 * 1024 * 1024);
    mallopt(M_ARENA_MAX, arenas);
}

void afterAnswer(std::size_t bytes)
{
    if (bytes < kLargeAnswer)
        return;
    {
        std::lock_guard lock(mutex);
        wanted = true;
    }
    wake.notify_one();
}

Trimmer::Trimmer()
{
    {
        std::lock_guard lock(mutex);
        running = true;
    }
    thread_ = std::thread([] {
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [] { return wanted || !running; });
            if (!running)
                return;
            wanted = false;
            lock.unlock();
            // Let the answer's own buffers go first (they are freed once sent).
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            malloc_trim(0);
            lock.lock();
        }
    });
}

Trimmer::~Trimmer()
{
    {
        std::lock_guard lock(mutex);
        running = false;
    }
    wake.notify_all();
    thread_.join();
}

} // namespace erp::server::memory
